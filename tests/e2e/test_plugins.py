"""Plug-in libraries under `orin serve`: the example site's plug-in page,
five clients calling the library at once, and a broken library entry that
start-up reports instead of ignoring."""
import os
import threading
import unittest

from orin_e2e import BUILD, EXAMPLE_SITE, ServerTest

SAMPLE = os.path.join(BUILD, "examples", "plugins", "libsample.so")


class Plugins(ServerTest):
    def setUp(self):
        super().setUp()
        if not os.path.exists(SAMPLE):
            self.fail(f"the sample plug-in is not built: {SAMPLE}")

    def test_example_page_calls_the_sample_library(self):
        self.site.settings(f'libraries = ["b,n/a,{SAMPLE}"]\n')
        server = self.serve(root=EXAMPLE_SITE)
        page = server.get("/plugin.ztc?text=stressed")
        self.assertEqual(page.status, 200)
        self.assertIn('<span id="reversed">desserts</span>', page.text)
        self.assertIn('<span id="visits">1</span>', page.text)
        self.assertIn('href="plugin.ztc?text=stressed"', server.get("/index.ztc").text)

    def test_five_clients_at_once(self):
        self.site.settings(f'libraries = ["b,n/a,{SAMPLE}"]\n')
        server = self.serve(root=EXAMPLE_SITE)
        results = [[] for _ in range(5)]

        def client(n):
            for i in range(10):
                text = f"c{n}r{i}"
                page = server.get(f"/plugin.ztc?text={text}")
                results[n].append(f'<span id="reversed">{text[::-1]}</span>' in page.text)

        threads = [threading.Thread(target=client, args=(n,)) for n in range(5)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(results, [[True] * 10] * 5)
        # Every visit was counted once, whichever thread served it.
        self.assertIn('<span id="visits">51</span>', server.get("/plugin.ztc?text=x").text)

    def test_broken_entry_is_reported_at_start(self):
        self.site.settings('libraries = ["b,n/a,/nonexistent/libgone.so"]\n')
        server = self.serve()
        server.stop()
        self.assertIn("orin serve: library /nonexistent/libgone.so: /nonexistent/libgone.so: "
                      "cannot open shared object file: No such file or directory",
                      server.output())


if __name__ == "__main__":
    unittest.main()
