"""The example site's visits page: a task appends each visit to a delimited
file and the page lists the file; notes with commas, quotes and line
breaks come back as they were sent."""
import os
import re
import unittest
import urllib.parse

from orin_e2e import EXAMPLE_SITE, ServerTest


class Visits(ServerTest):
    def test_notes_come_back_as_sent(self):
        if not os.path.exists(os.path.join(EXAMPLE_SITE, "visits.ztc")):
            self.fail(f"the example site is not built in {EXAMPLE_SITE}")
        server = self.serve(root=EXAMPLE_SITE)
        notes = ["plain", 'a, "quoted" note', "two\r\nlines \\ and a backslash"]
        for note in notes:
            page = server.get("/visits.ztc?" + urllib.parse.urlencode({"note": note}))
            self.assertEqual(page.status, 200)
        listed = re.findall(r"<li>127\.0\.0\.1 <q>(.*?)</q></li>", page.text, re.S)
        unescaped = [n.replace("&quot;", '"') for n in listed]
        self.assertEqual(unescaped, notes)
        self.assertIn('<p id="count">3 visits</p>', page.text)
        self.assertEqual(self.site.data_files(), ["visits.csv"])


if __name__ == "__main__":
    unittest.main()
