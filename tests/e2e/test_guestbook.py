"""The example site's guest book: entries posted by clients land in an
xBase table in the data directory and are listed newest first, encoded."""
import os
import re
import unittest
import urllib.parse

from orin_e2e import EXAMPLE_SITE, ServerTest


class GuestBook(ServerTest):
    def setUp(self):
        super().setUp()
        if not os.path.exists(os.path.join(EXAMPLE_SITE, "guestbook.ztc")):
            self.fail(f"the example site is not built in {EXAMPLE_SITE}")
        self.server = self.serve(root=EXAMPLE_SITE)

    def post(self, **fields):
        body = urllib.parse.urlencode(fields).encode()
        return self.server.request("/guestbook.ztc", method="POST", body=body,
                                   headers=[("Content-Type",
                                             "application/x-www-form-urlencoded")])

    def entries(self, text):
        return re.findall(r"<li><b>(.*?)</b>: (.*?)</li>", text, re.S)

    def test_entries_persist_newest_first(self):
        first = self.server.get("/guestbook.ztc")
        self.assertEqual(first.status, 200)
        self.assertIn('<p id="count">0 entries</p>', first.text)
        self.assertEqual(self.site.data_files(), ["guestbook.dbf", "guestbook.dbt"])

        self.assertIn('id="thanks"', self.post(name="Ann", message="Hello there").text)
        long_message = "line one\nline two " + "x" * 700
        self.post(name="<Bob>", message=long_message)
        # A post without a name adds nothing.
        self.post(name="", message="anonymous")

        page = self.server.get("/guestbook.ztc").text
        self.assertIn('<p id="count">2 entries</p>', page)
        self.assertEqual(self.entries(page), [("&lt;Bob&gt;", long_message),
                                              ("Ann", "Hello there")])


if __name__ == "__main__":
    unittest.main()
