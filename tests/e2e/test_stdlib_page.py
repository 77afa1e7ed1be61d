"""The example site's text tools page, which calls the standard function
library: five clients at once, each with its own text, get every figure
computed for their text, and the three clocks name one instant."""
import base64
import datetime
import hashlib
import os
import re
import threading
import unittest
import urllib.parse
import zoneinfo

from orin_e2e import EXAMPLE_SITE, ServerTest


def cell(page, name):
    m = re.search(rf'id="{name}">(.*?)</', page, re.S)
    if m is None:
        raise AssertionError(f"no {name} in {page[:2000]}")
    return m.group(1)


class TextToolsPage(ServerTest):
    def setUp(self):
        super().setUp()
        if not os.path.exists(os.path.join(EXAMPLE_SITE, "text.ztc")):
            self.fail(f"the example site is not built in {EXAMPLE_SITE}")
        self.server = self.serve(root=EXAMPLE_SITE)

    def check(self, text, page):
        data = text.encode()
        self.assertEqual(cell(page, "bytes"), str(len(data)))
        self.assertEqual(cell(page, "chars"), str(len(text)))
        self.assertEqual(cell(page, "words"), str(len(text.split())))
        self.assertEqual(cell(page, "numbers"),
                         ", ".join(re.findall(r"-?\d+(?:\.\d+)?", text)))
        self.assertEqual(cell(page, "sha256"), hashlib.sha256(data).hexdigest())
        self.assertEqual(cell(page, "base64"), base64.b64encode(data).decode())
        self.assertEqual(cell(page, "url"), urllib.parse.quote(text, safe="-._~"))
        instants = set()
        for name, zone in (("berlin", "Europe/Berlin"), ("new-york", "America/New_York"),
                           ("tokyo", "Asia/Tokyo")):
            shown = cell(page, name)
            local = datetime.datetime.strptime(shown[:16], "%Y-%m-%d %H:%M")
            utc = local.replace(tzinfo=zoneinfo.ZoneInfo(zone)).astimezone(datetime.timezone.utc)
            instants.add(utc)
            self.assertEqual(shown[17:], local.replace(tzinfo=zoneinfo.ZoneInfo(zone)).tzname())
        self.assertEqual(len(instants), 1, page)

    def test_index_links_to_the_page(self):
        self.assertIn('href="text.ztc?', self.server.get("/index.ztc").text)

    def test_five_clients_at_once(self):
        texts = [f"client {i}: {i * 7} and -{i}.5 in Zürich, {'ü' * i}" for i in range(5)]
        pages = [None] * 5

        def fetch(i):
            query = urllib.parse.urlencode({"text": texts[i]})
            for _ in range(10):
                response = self.server.get(f"/text.ztc?{query}")
                if response.status != 200:
                    pages[i] = response
                    return
            pages[i] = response

        threads = [threading.Thread(target=fetch, args=(i,)) for i in range(5)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for text, response in zip(texts, pages):
            self.assertEqual(response.status, 200, response.raw[:500])
            self.check(text, response.text)

    def test_text_that_is_not_utf8(self):
        page = self.server.get("/text.ztc?text=%FFab%3C").text
        self.assertEqual(cell(page, "chars"), "not UTF-8")
        self.assertEqual(cell(page, "bytes"), "4")
        self.assertIn('value="\ufffdab&lt;"', page)


if __name__ == "__main__":
    unittest.main()
