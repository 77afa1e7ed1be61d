"""Clients that send slowly, and programs and settings that change while the
server runs. One server serves every test of the file: a two-second limit
for request heads and a one-second POST timer."""
import os
import socket
import threading
import time
import unittest

from orin_e2e import IO_WAIT, Response, Server, Site, read_all, wait_readable

WHO = ".system query_string\npushs query_string\nout\n"
# Long enough to expose a server that waits for the slow clients, far below
# the time a thread would be held without the head limit (20 s per line).
ANSWER_BOUND = 8


def page(text):
    return 'pushc "%s"\nout\n' % text


class SlowClients(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = Site()
        cls.site.script("/who.ztc", WHO)
        cls.server = Server(cls.site, ["headertimeout=2", "posttimeout=1"]).start()

    @classmethod
    def tearDownClass(cls):
        try:
            cls.server.stop()
        finally:
            cls.server.close()
            cls.site.cleanup()

    def test_clients_that_trickle_their_heads_neither_block_others_nor_stay(self):
        stop = threading.Event()
        tricklers = []
        for i in range(5):
            s = self.server.connect()
            s.sendall(f"GET /who.ztc?slow{i} HTTP/1.0\r\n".encode())
            tricklers.append(s)

        def trickle():
            # One header line a second: each one arrives well within the
            # per-read wait, so only a limit on the whole head stops them.
            n = 0
            while not stop.wait(1.0):
                for s in tricklers:
                    try:
                        s.sendall(f"X-Slow-{n}: still coming\r\n".encode())
                    except OSError:
                        pass
                n += 1

        sender = threading.Thread(target=trickle, daemon=True)
        sender.start()
        try:
            time.sleep(0.3)  # the five are accepted and waiting
            started = time.monotonic()
            answer = self.server.get("/who.ztc?sixth")
            self.assertEqual(answer.body, b"sixth")
            self.assertLess(time.monotonic() - started, ANSWER_BOUND,
                            "a normal client waited for the slow ones")
            # The slow clients are disconnected without an answer once their
            # two seconds are up, although they keep sending.
            for s in tricklers:
                self.assertTrue(wait_readable(s, ANSWER_BOUND), "a slow client was never let go")
                try:
                    rest = read_all(s)
                except ConnectionResetError:
                    rest = b""
                self.assertEqual(rest, b"")
            self.assertLess(time.monotonic() - started, ANSWER_BOUND)
        finally:
            stop.set()
            sender.join(IO_WAIT)
            for s in tricklers:
                s.close()

    def test_a_head_split_over_several_packets_is_served(self):
        with self.server.connect() as s:
            for piece in (b"GET /who.ztc?pie", b"ces HTTP/1.0\r\nHost: a\r", b"\n\r\n"):
                s.sendall(piece)
                time.sleep(0.05)
            self.assertEqual(Response(read_all(s)).body, b"pieces")

    def test_a_trickled_body_is_stopped_by_the_post_timer(self):
        with self.server.connect() as s:
            s.sendall(b"POST /who.ztc HTTP/1.0\r\n"
                      b"Content-Type: application/x-www-form-urlencoded\r\n"
                      b"Content-Length: 1000\r\n\r\n")
            started = time.monotonic()
            answered = None
            # One byte every 0.2 s: a block of 8192 bytes would take half an hour.
            for _ in range(int(ANSWER_BOUND / 0.2)):
                if wait_readable(s, 0.2):
                    answered = time.monotonic() - started
                    break
                try:
                    s.sendall(b"a")
                except OSError:
                    break
            self.assertIsNotNone(answered, "the POST timer never stopped the body")
            s.settimeout(IO_WAIT)
            response = Response(read_all(s))
            self.assertIn("Timeout processing POST data", response.text)
            # The timer is one second; its expiry is noticed within the next.
            self.assertLess(answered, 3.0)

    def test_a_body_sent_in_time_is_read_whole(self):
        body = "a=" + "x" * 20000 + "&b=2"
        with self.server.connect() as s:
            s.sendall(b"POST /who.ztc?posted HTTP/1.0\r\n"
                      b"Content-Type: application/x-www-form-urlencoded\r\n"
                      + f"Content-Length: {len(body)}\r\n\r\n".encode())
            for i in range(0, len(body), 5000):
                s.sendall(body[i:i + 5000].encode())
                time.sleep(0.05)
            response = Response(read_all(s))
        self.assertEqual(response.status, 200)
        self.assertEqual(response.body, b"posted")


class ChangingFiles(unittest.TestCase):
    """The server keeps programs and settings by file identity; an edit is
    seen by the very next request, and a replacement never mixes versions."""

    @classmethod
    def setUpClass(cls):
        cls.site = Site()
        cls.server = Server(cls.site).start()

    @classmethod
    def tearDownClass(cls):
        try:
            cls.server.stop()
        finally:
            cls.server.close()
            cls.site.cleanup()

    def test_edits_are_used_on_the_next_request(self):
        site, server = self.site, self.server
        site.script("/edit.ztc", page("first version"))
        site.settings("usecookies = 1\n")
        self.assertEqual(server.get("/edit.ztc").body, b"first version")
        # Kept only once the files are older than the time stamps can tell
        # apart; then two requests are served from what was kept.
        time.sleep(2.2)
        for _ in range(2):
            r = server.get("/edit.ztc")
            self.assertEqual(r.body, b"first version")
            self.assertIsNotNone(r.header("Set-Cookie"))
        # In place, the same size, and the modification time put back as a
        # copying tool would: still a new version.
        path = os.path.join(site.root, "edit.ztc")
        stat = os.stat(path)
        site.script("/edit.ztc", page("other version"))
        os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns))
        self.assertEqual(os.path.getsize(path), stat.st_size)
        site.settings("usecookies = 0\n")
        r = server.get("/edit.ztc")
        self.assertEqual(r.body, b"other version")
        self.assertIsNone(r.header("Set-Cookie"))

    def test_a_program_replaced_while_requests_run_is_one_version_or_the_other(self):
        site, server = self.site, self.server
        versions = {b"version A " + b"a" * 40, b"version B " + b"b" * 4000}
        staged = []
        for i, text in enumerate(sorted(versions) * 10):
            staged.append(site.script(f"/staging/{i}.ztc", page(text.decode())))
        site.script("/swap.ztc", page(sorted(versions)[0].decode()))
        bad = []
        stop = threading.Event()

        def client():
            while not stop.is_set():
                r = server.get("/swap.ztc")
                if r.status != 200 or r.body not in versions:
                    bad.append(r.raw[:200])

        clients = [threading.Thread(target=client, daemon=True) for _ in range(4)]
        for c in clients:
            c.start()
        try:
            for path in staged:
                os.rename(path, os.path.join(site.root, "swap.ztc"))
                time.sleep(0.02)
        finally:
            stop.set()
            for c in clients:
                c.join(IO_WAIT)
        self.assertEqual(bad, [])


if __name__ == "__main__":
    unittest.main()
