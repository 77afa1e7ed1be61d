"""The example site in a real browser: Debian's chromium, headless."""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

from orin_e2e import EXAMPLE_SITE, ServerTest

CHROMIUM = shutil.which("chromium")
# Without the networking switches chromium reaches for the internet, which
# this closed network refuses.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]
BROWSER_WAIT = 180
WIDTH, HEIGHT = 1024, 768


def png_summary(data):
    """(width, height, distinct byte values of the image data) of a PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError("not a PNG file")
    pos, width, height, idat = 8, None, None, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        if zlib.crc32(kind + body) != crc:
            raise AssertionError(f"bad CRC in the {kind!r} chunk")
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    return width, height, len(set(zlib.decompress(idat)))


@unittest.skipIf(CHROMIUM is None, "chromium is not installed (scripts/setup.sh installs it)")
class ExampleSiteInChromium(ServerTest):
    def setUp(self):
        super().setUp()
        if not os.path.exists(os.path.join(EXAMPLE_SITE, "index.ztc")):
            self.fail(f"the example site is not built in {EXAMPLE_SITE}")
        self.server = self.serve(root=EXAMPLE_SITE)
        self.base = f"http://127.0.0.1:{self.server.port}/"

    def chromium(self, *args):
        """Runs chromium once with a new empty profile; returns stdout."""
        profile = tempfile.mkdtemp(prefix="profile-", dir=self.site.dir)
        proc = subprocess.run([CHROMIUM, *FLAGS, f"--user-data-dir={profile}", *args],
                              capture_output=True, timeout=BROWSER_WAIT)
        self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace")[-3000:])
        return proc.stdout.decode("utf-8", "replace")

    def test_pages_as_the_browser_builds_them(self):
        dom = self.chromium("--dump-dom", self.base + "index.ztc")
        self.assertIn('<h1 id="title">Orin is running</h1>', dom)
        self.assertIn("for a client at 127.0.0.1.", dom)

        # The page's script posts JSON to json.ztc and shows the greeting;
        # the virtual time budget lets the fetch finish before the dump.
        dom = self.chromium("--virtual-time-budget=10000", "--dump-dom", self.base + "json.html")
        self.assertIn('<pre id="answer">Hello, browser</pre>', dom)

        dom = self.chromium("--dump-dom", self.base + "capture.ztc")
        self.assertIn('<b id="captured">this text was captured</b>', dom)
        self.assertIn('<b id="error">', dom)

    def test_screenshot_of_the_start_page(self):
        shot = os.path.join(self.site.dir, "start.png")
        self.chromium(f"--window-size={WIDTH},{HEIGHT}", f"--screenshot={shot}", self.base)
        with open(shot, "rb") as f:
            data = f.read()
        width, height, shades = png_summary(data)
        self.assertEqual((width, height), (WIDTH, HEIGHT))
        # A blank page compresses to almost nothing and has few byte values;
        # headings, text and links do not.
        self.assertGreater(len(data), 10000)
        self.assertGreater(shades, 50)


if __name__ == "__main__":
    unittest.main()
