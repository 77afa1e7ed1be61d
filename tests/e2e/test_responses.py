"""Responses of scripts: default headers, lengths and flushing, status
lines, the caller-id cookie, time-outs."""
import calendar
import re
import time
import unittest

from orin_e2e import ServerTest

# Writes the query variable n as that many bytes: n//100 lines of 100.
WRITE_N = """
        storegi i, 0
again:  cmpgg i, n
        jmp_ge done
        pushc "%s"
        out
        incg i, 100
        jmp again
done:   pushc "Status"
        pushc "302 Found"
        call orin_header
        pop
""".replace("%s", "y" * 99 + "\\n")
WRITE_N = ".func orin_header(name, value) external\n" + WRITE_N


class DefaultHeaders(ServerTest):
    def test_small_response_is_sent_whole_with_its_length(self):
        self.site.script("/ten.ztc", 'pushc "0123456789"\nout\n')
        server = self.serve()
        self.assertEqual(server.raw(b"GET /ten.ztc HTTP/1.1\r\nHost: x\r\nConnection: keep-alive\r\n\r\n"),
                         b"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\n"
                         b"Content-Length: 10\r\n\r\n0123456789")

    def test_flush_threshold_decides_length_and_whether_status_still_counts(self):
        self.site.script("/n.ztc", WRITE_N)
        server = self.serve("bufsz_output_flush=1000")
        below = server.get("/n.ztc?n=900")
        self.assertEqual(below.status_line, "HTTP/1.1 302 Found")
        self.assertEqual(below.header("Content-Length"), "900")
        self.assertEqual(below.body, (b"y" * 99 + b"\n") * 9)
        # Reaching the threshold sends the headers at once: no length, and
        # a status set afterwards is too late.
        for n in (1000, 5000, 300000):
            with self.subTest(n=n):
                over = server.get(f"/n.ztc?n={n}")
                self.assertEqual(over.status_line, "HTTP/1.1 200 OK")
                self.assertIsNone(over.header("Content-Length"))
                self.assertEqual(over.header("Content-Type"), "text/html")
                self.assertEqual(over.header("Connection"), "close")
                self.assertEqual(over.body, (b"y" * 99 + b"\n") * (n // 100))

    def test_status_and_headers_set_by_the_script(self):
        self.site.script("/redirect.ztc", """
.func orin_header(name, value) external
        pushc "Status"
        pushc "301 Moved Permanently"
        call orin_header
        pop
        pushc "Location"
        pushc "/elsewhere.ztc"
        call orin_header
        pop
        pushc "CONNECTION"
        pushc "keep-alive"
        call orin_header
        pop
        pushc "Content-Type"
        pushc "text/plain; charset=utf-8"
        call orin_header
        pop
        pushc "moved"
        out
""")
        server = self.serve()
        self.assertEqual(server.raw(b"GET /redirect.ztc HTTP/1.0\r\n\r\n"),
                         b"HTTP/1.1 301 Moved Permanently\r\nConnection: close\r\n"
                         b"Location: /elsewhere.ztc\r\nContent-Type: text/plain; charset=utf-8\r\n"
                         b"Content-Length: 5\r\n\r\nmoved")

    def test_fatal_error_gives_status_500_and_keeps_earlier_output(self):
        self.site.script("/fatal.ztc", 'pushc "before "\nout\nret\npushc "after"\nout\n')
        server = self.serve()
        response = server.get("/fatal.ztc")
        self.assertEqual(response.status_line, "HTTP/1.1 500 Internal Server Error")
        self.assertEqual(response.header("Content-Type"), "text/html")
        self.assertRegex(response.text, r"^before Fatal error in /fatal\.ztc @ \[[0-9a-f]{8}:"
                                        r"[0-9a-f]{8}\]: .*Return outside of function")
        self.assertNotIn("after", response.text)
        # The thread is fine afterwards.
        self.site.script("/ok.ztc", 'pushc "ok"\nout\n')
        self.assertEqual(server.get("/ok.ztc").body, b"ok")


COOKIE = re.compile(r"^pgscallerid=([^;]*); expires=((Mon|Tue|Wed|Thu|Fri|Sat|Sun), "
                    r"\d\d-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\d{4} "
                    r"\d\d:\d\d:\d\d GMT); path=/$")


class CallerId(ServerTest):
    SCRIPT = '.system callerid\npushs callerid\nout\n'

    def cookie(self, response):
        value = response.header("Set-Cookie")
        self.assertIsNotNone(value, f"no Set-Cookie in {response.headers}")
        match = COOKIE.match(value)
        self.assertIsNotNone(match, value)
        # Printed by the script as it is in the cookie.
        self.assertEqual(response.text, match.group(1))
        return match.group(1), match.group(2)

    def test_new_id_unless_the_client_sends_one(self):
        self.site.script("/id.ztc", self.SCRIPT)
        server = self.serve("usecookies=1")
        asked = time.time()
        first, expires = self.cookie(server.get("/id.ztc"))
        self.assertRegex(first, r"^[0-9a-f]{32}$")
        # One year ahead (checked to the day, so a slow machine cannot matter).
        when = calendar.timegm(time.strptime(expires, "%a, %d-%b-%Y %H:%M:%S GMT"))
        self.assertLess(abs(when - (asked + 31536000)), 86400)

        second, _ = self.cookie(server.get("/id.ztc"))
        self.assertRegex(second, r"^[0-9a-f]{32}$")
        self.assertNotEqual(first, second)

        kept, _ = self.cookie(server.get("/id.ztc", [("Cookie", f"a=1; pgscallerid={first}; b=2")]))
        self.assertEqual(kept, first)
        kept, _ = self.cookie(server.get("/id.ztc", [("Cookie", "pgscallerid=not-hex-at-all")]))
        self.assertEqual(kept, "not-hex-at-all")
        for empty in ("pgscallerid=", "pgscallerid=; x=1", "other=1"):
            with self.subTest(cookie=empty):
                new, _ = self.cookie(server.get("/id.ztc", [("Cookie", empty)]))
                self.assertRegex(new, r"^[0-9a-f]{32}$")
                self.assertNotIn(new, (first, second))

    def test_no_cookie_without_the_setting(self):
        self.site.script("/id.ztc", self.SCRIPT)
        server = self.serve()
        response = server.get("/id.ztc", [("Cookie", "pgscallerid=abc")])
        self.assertIsNone(response.header("Set-Cookie"))
        self.assertEqual(response.body, b"")


class TimeLimit(ServerTest):
    def test_endless_script_is_stopped_and_the_thread_serves_again(self):
        self.site.script("/loop.ztc", 'pushc "before\\n"\nout\nagain: jmp again\n')
        self.site.script("/ok.ztc", 'pushc "ok"\nout\n')
        server = self.serve("globaltimeout=1")
        # The watchdog ticks every few seconds; the socket wait covers that.
        response = server.get("/loop.ztc")
        self.assertEqual(response.status, 200)
        self.assertRegex(response.text, r"^before\n.*Application timed out")
        # All five threads still answer.
        for _ in range(5):
            self.assertEqual(server.get("/ok.ztc").body, b"ok")


if __name__ == "__main__":
    unittest.main()
