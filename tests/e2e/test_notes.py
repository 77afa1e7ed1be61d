"""The example site's notes page: notes posted by clients land in a SQLite
database in the data directory (read back here with Python's sqlite3),
are listed newest first and encoded, can be searched and deleted; text
that looks like SQL is stored as text."""
import os
import re
import sqlite3
import threading
import unittest
import urllib.parse

from orin_e2e import EXAMPLE_SITE, ServerTest


class Notes(ServerTest):
    def setUp(self):
        super().setUp()
        if not os.path.exists(os.path.join(EXAMPLE_SITE, "notes.ztc")):
            self.fail(f"the example site is not built in {EXAMPLE_SITE}")
        self.server = self.serve(root=EXAMPLE_SITE)

    def post(self, **fields):
        body = urllib.parse.urlencode(fields).encode()
        return self.server.request("/notes.ztc", method="POST", body=body,
                                   headers=[("Content-Type",
                                             "application/x-www-form-urlencoded")])

    def notes(self, text):
        return re.findall(r"<li>(.*?) <small>.*?value=\"(\d+)\">Delete", text, re.S)

    def test_notes_are_kept_searched_and_deleted(self):
        first = self.server.get("/notes.ztc")
        self.assertEqual(first.status, 200)
        self.assertIn('<p id="count">0 notes</p>', first.text)
        self.assertEqual(self.site.data_files(), ["notes.db"])

        self.assertIn('id="saved"', self.post(note="Buy <milk>").text)
        sneaky = "x'); DROP TABLE notes; --"
        self.post(note=sneaky)
        self.post(note="call Ann")

        page = self.server.get("/notes.ztc").text
        self.assertIn('<p id="count">3 notes</p>', page)
        self.assertEqual([n for n, _ in self.notes(page)],
                         ["call Ann", "x&#39;); DROP TABLE notes; --", "Buy &lt;milk&gt;"])
        with sqlite3.connect(os.path.join(self.site.data, "notes.db")) as db:
            self.assertEqual([r[0] for r in db.execute("SELECT body FROM notes ORDER BY rowid")],
                             ["Buy <milk>", sneaky, "call Ann"])

        found = self.server.get("/notes.ztc?q=" + urllib.parse.quote("DROP")).text
        self.assertEqual([n for n, _ in self.notes(found)], ["x&#39;); DROP TABLE notes; --"])

        ann = dict((n, i) for n, i in self.notes(page))["call Ann"]
        self.assertIn('<p id="deleted">Deleted 1.</p>', self.post(delete=ann).text)
        # A number with SQL after it deletes nothing else.
        self.assertIn('<p id="deleted">Deleted 0.</p>', self.post(delete="1 OR 1=1").text)
        page = self.server.get("/notes.ztc").text
        self.assertIn('<p id="count">2 notes</p>', page)

    def test_clients_posting_at_once_lose_nothing(self):
        self.server.get("/notes.ztc")  # makes the database
        failures = []

        def client(c):
            for i in range(50):
                response = self.post(note=f"c{c}-{i}")
                if 'id="saved"' not in response.text:
                    failures.append(response.text[-300:])

        threads = [threading.Thread(target=client, args=(c,)) for c in range(5)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(failures[:3], [])
        with sqlite3.connect(os.path.join(self.site.data, "notes.db")) as db:
            bodies = [r[0] for r in db.execute("SELECT body FROM notes")]
        self.assertEqual(sorted(bodies), sorted(f"c{c}-{i}" for c in range(5) for i in range(50)))


if __name__ == "__main__":
    unittest.main()
