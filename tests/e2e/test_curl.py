"""The example site's form and upload pages driven by curl."""
import os
import random
import re
import shutil
import subprocess
import unittest

from orin_e2e import EXAMPLE_SITE, ServerTest

CURL_WAIT = 120


class ExampleSiteWithCurl(ServerTest):
    def setUp(self):
        super().setUp()
        self.curl = shutil.which("curl")
        if self.curl is None:
            self.fail("curl is missing (scripts/setup.sh installs it)")
        if not os.path.exists(os.path.join(EXAMPLE_SITE, "upload.ztc")):
            self.fail(f"the example site is not built in {EXAMPLE_SITE}")
        self.server = self.serve(root=EXAMPLE_SITE)
        self.base = f"http://127.0.0.1:{self.server.port}/"

    def run_curl(self, *args):
        proc = subprocess.run([self.curl, "--silent", "--show-error", "--fail", *args],
                              capture_output=True, timeout=CURL_WAIT)
        self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
        return proc.stdout.decode("utf-8")

    def test_upload_of_a_large_file(self):
        path = os.path.join(self.site.dir, "holiday photos.bin")
        size = 5 * 1024 * 1024 + 321
        with open(path, "wb") as f:
            f.write(random.Random(7).randbytes(size))
        page = self.run_curl("-F", f"file=@{path};type=application/x-holiday",
                             self.base + "upload.ztc")
        self.assertIn('<b id="file">holiday photos.bin</b>', page)
        self.assertIn(f'<span id="size">{size}</span>', page)
        self.assertIn('<span id="type">application/x-holiday</span>', page)
        self.assertIn('<span id="status">COMPLETE</span>', page)
        self.assertEqual(self.site.data_files(), [], "the upload was kept")
        # Without a post the page only offers the form.
        page = self.run_curl(self.base + "upload.ztc")
        self.assertNotIn('id="status"', page)
        self.assertIn('enctype="multipart/form-data"', page)

    def test_form_echo_is_html_encoded(self):
        page = self.run_curl("-d", "name=%3Cb%3ETom+%26+%22Jerry%22%3C%2Fb%3E",
                             "--data-urlencode", "comment=it's 100% <fine>",
                             self.base + "form.ztc")
        self.assertIn('<b id="name">&lt;b&gt;Tom &amp; &quot;Jerry&quot;&lt;/b&gt;</b>', page)
        self.assertIn('<b id="comment">it&#39;s 100% &lt;fine&gt;</b>', page)
        self.assertNotIn("<b>Tom", page)
        page = self.run_curl(self.base + "form.ztc")
        self.assertIsNone(re.search(r'id="name"', page))
        self.assertIn('<form method="post" action="form.ztc">', page)

    def test_headers_as_curl_sees_them(self):
        head = self.run_curl("--include", "--output", "-", self.base)
        lines = head.split("\r\n\r\n", 1)[0].split("\r\n")
        self.assertEqual(lines[0], "HTTP/1.1 200 OK")
        self.assertIn("Content-Type: text/html", lines)
        self.assertIn("Connection: close", lines)
        length = [l for l in lines if l.startswith("Content-Length: ")]
        self.assertEqual(len(length), 1, lines)
        self.assertEqual(int(length[0].split(": ")[1]),
                         len(head.split("\r\n\r\n", 1)[1].encode()))
        css = self.run_curl("--write-out", "%{content_type} %{size_download}",
                            "--output", "/dev/null", self.base + "style.css")
        self.assertEqual(css, "text/css %d" % os.path.getsize(
            os.path.join(EXAMPLE_SITE, "style.css")))


if __name__ == "__main__":
    unittest.main()
