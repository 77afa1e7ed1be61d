"""The desktop program under a virtual X server (Xvfb), driven by xdotool as a
person would: a busy port at start is answered in the Port in Use dialog, the
port is changed in the main window, and curl finds the server on the new port.
Pictures of the windows go to <build>/desktop-screenshots/e2e_*.png.
"""
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

from orin_e2e import BUILD, Site, free_port

DESKTOP = os.path.join(BUILD, "apps", "orin-desktop", "orin-desktop")
SHOTS = os.path.join(BUILD, "desktop-screenshots")
HERE = os.path.dirname(os.path.abspath(__file__))
MISSING = [name for name in ("Xvfb", "xdotool", "curl") if shutil.which(name) is None]
if not os.path.exists(DESKTOP):
    MISSING.append("orin-desktop (Qt 6 not installed)")
try:
    from PIL import ImageGrab
except ImportError:
    MISSING.append("python3-pil")

WAIT = 30  # guards against a hung program only


@unittest.skipIf(MISSING, "desktop test needs: " + ", ".join(MISSING))
class DesktopProgramTest(unittest.TestCase):
    def setUp(self):
        self.site = Site()
        self.addCleanup(self.site.cleanup)
        self.site.file("hello.txt", "hello from orin-desktop\n")
        os.makedirs(SHOTS, exist_ok=True)
        self.runtime = tempfile.mkdtemp(prefix="orin-xdg-")
        self.addCleanup(shutil.rmtree, self.runtime, True)
        self.display = self.start_xvfb()

    def start_xvfb(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.addCleanup(self.stop, self.xvfb)
        number = b""
        with os.fdopen(read_fd, "rb") as f:
            while not number.endswith(b"\n"):
                chunk = f.read(1)
                if not chunk:
                    break
                number += chunk
        self.assertTrue(number.strip(), "Xvfb did not report its display")
        return ":" + number.decode().strip()

    def stop(self, proc):
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(timeout=WAIT)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def env(self):
        env = dict(os.environ)
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime, QT_QPA_PLATFORM="xcb")
        # Under the sanitizer build: leaks inside the desktop's D-Bus and font
        # libraries are theirs, not ours.
        suppressions = "suppressions=" + os.path.join(HERE, "desktop_lsan.supp")
        env["LSAN_OPTIONS"] = ":".join(filter(None, [env.get("LSAN_OPTIONS"), suppressions]))
        return env

    def xdotool(self, *args, timeout=WAIT):
        out = subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True,
                             timeout=timeout)
        return out.stdout.split()

    def window(self, title):
        """The id of the visible window with exactly this title, once it is there."""
        ids = self.xdotool("search", "--sync", "--onlyvisible", "--name", "^%s$" % title)
        self.assertTrue(ids, "no window " + title)
        return ids[0]

    def keys(self, window, *keys):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--delay", "30", *keys)

    def type(self, window, text):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("type", "--delay", "30", text)

    def screenshot(self, window, name):
        """Saves the window once it has been painted (more than one colour)."""
        geometry = dict(line.split("=") for line in
                        self.xdotool("getwindowgeometry", "--shell", window))
        x, y = int(geometry["X"]), int(geometry["Y"])
        box = (x, y, x + int(geometry["WIDTH"]), y + int(geometry["HEIGHT"]))
        deadline = time.monotonic() + WAIT
        while True:
            image = ImageGrab.grab(bbox=box, xdisplay=self.display)
            if image.getcolors(4) is None or len(image.getcolors(4)) > 1:
                break
            self.assertLess(time.monotonic(), deadline, name + " was never painted")
            time.sleep(0.05)
        image.save(os.path.join(SHOTS, "e2e_%s.png" % name))

    def gone(self, title):
        return not self.xdotool("search", "--onlyvisible", "--name", "^%s$" % title)

    def wait_until(self, condition, what):
        deadline = time.monotonic() + WAIT
        while not condition():
            self.assertLess(time.monotonic(), deadline, what)
            time.sleep(0.05)

    def configured_port(self):
        with open(self.site.config, encoding="utf-8") as f:
            for line in f:
                name, _, value = line.partition("=")
                if name.strip() == "port":
                    return int(value)
        return None

    def curl(self, port):
        out = subprocess.run(["curl", "-s", "-m", "10", "http://127.0.0.1:%d/hello.txt" % port],
                             capture_output=True, text=True, timeout=WAIT)
        return out.returncode, out.stdout

    def test_busy_port_then_a_port_change_in_the_main_window(self):
        busy = socket.socket()
        busy.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        busy.bind(("0.0.0.0", 0))
        busy.listen(1)
        self.addCleanup(busy.close)
        busy_port = busy.getsockname()[1]
        self.site.settings("port = %d\nzetoroot = '%s'\ndatadir = '%s'\nshowdialog = 1\n"
                           % (busy_port, self.site.root, self.site.data))

        app = subprocess.Popen([DESKTOP, "--config", self.site.config], env=self.env(),
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.addCleanup(self.stop, app)

        # The busy port is negotiated: accept the proposed one.
        dialog = self.window("Port in Use")
        self.screenshot(dialog, "port_in_use")
        self.keys(dialog, "Return")
        self.wait_until(lambda: self.configured_port() not in (busy_port, None),
                        "the chosen port was never saved")
        first_port = self.configured_port()
        self.assertTrue(8000 <= first_port <= 8100, first_port)
        self.assertEqual(self.curl(first_port), (0, "hello from orin-desktop\n"))

        # No notification area under a bare X server: the main window is shown.
        main = self.window("Zeto Orin - Status: Running")
        self.screenshot(main, "main_window")

        new_port = free_port()
        self.keys(main, "ctrl+a")
        self.type(main, str(new_port))
        self.keys(main, "alt+a")  # Apply
        warning = self.window("Warning")
        self.screenshot(warning, "port_change_warning")
        self.keys(warning, "Return")
        self.wait_until(lambda: self.curl(new_port)[0] == 0, "nothing answers on the new port")
        self.assertEqual(self.curl(new_port), (0, "hello from orin-desktop\n"))
        self.assertEqual(self.configured_port(), new_port)
        self.assertNotEqual(self.curl(first_port)[0], 0)

        # Every dialog the main window opens, pictured and closed again.
        for keys, title, name in [("alt+p", "Options", "options"),
                                  ("alt+t", "SSL Settings", "ssl_settings"),
                                  ("alt+b", "Debug Log", "debug_log"),
                                  ("alt+l", "Libraries", "libraries"),
                                  ("alt+e", "Error Settings", "error_settings"),
                                  ("alt+o", "About Zeto Vendra Orin", "about")]:
            self.keys(main, keys)
            window = self.window(title)
            self.screenshot(window, name)
            self.keys(window, "Escape")
            self.wait_until(lambda: self.gone(title), title + " did not close")

        # Shutdown ends the program and the listener with it.
        self.keys(main, "alt+h")
        output, _ = app.communicate(timeout=WAIT)
        self.assertEqual(app.returncode, 0, output)
        self.assertIn("no notification area", output)
        self.assertNotEqual(self.curl(new_port)[0], 0)

    def test_sigterm_stops_the_server_in_order(self):
        port = free_port()
        self.site.settings("port = %d\nzetoroot = '%s'\nshowdialog = 0\n" % (port, self.site.root))
        app = subprocess.Popen([DESKTOP, "--config", self.site.config], env=self.env(),
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.addCleanup(self.stop, app)
        # Without a notification area the window shows even with showdialog 0.
        self.window("Zeto Orin - Status: Running")
        self.assertEqual(self.curl(port), (0, "hello from orin-desktop\n"))
        app.terminate()
        output, _ = app.communicate(timeout=WAIT)
        self.assertEqual(app.returncode, 0, output)
        self.assertNotEqual(self.curl(port)[0], 0)


if __name__ == "__main__":
    unittest.main()
