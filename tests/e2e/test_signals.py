"""SIGHUP reloads the settings; SIGTERM stops the server in order."""
import signal
import socket
import time
import unittest

from orin_e2e import (IO_WAIT, Response, ServerTest, build_request, read_all,
                       wait_all_accepted)


# The server's connection threads.
THREADS = 5


class Signals(ServerTest):
    def one_request_per_thread(self, server, path="/"):
        """The bodies of THREADS requests served by THREADS different threads:
        every connection is held by a thread (its head sent and accepted, the
        thread waiting for the body) before any of them may be answered."""
        request = build_request(path, "POST", {"Content-Type": "application/x-www-form-urlencoded"},
                                body="a")
        conns = [server.connect() for _ in range(THREADS)]
        try:
            for c in conns:
                c.sendall(request[:-1])
            wait_all_accepted(server.port)
            for c in conns:
                c.sendall(request[-1:])
            responses = [Response(read_all(c)) for c in conns]
        finally:
            for c in conns:
                c.close()
        for r in responses:
            self.assertEqual(r.status, 200, r.raw)
        return [r.body for r in responses]

    def test_sighup_makes_every_connection_thread_read_the_settings_again(self):
        self.site.script("/index.ztc", 'pushc "index"\nout\n')
        self.site.script("/other.ztc", 'pushc "other"\nout\n')
        server = self.serve()
        self.assertEqual(self.one_request_per_thread(server), [b"index"] * THREADS)

        self.site.settings('defaultfile = "other.ztc"\n')
        # The threads keep what they read until told.
        self.assertEqual(self.one_request_per_thread(server), [b"index"] * THREADS)

        mark = len(server.lines)
        server.signal(signal.SIGHUP)
        self.assertIsNotNone(server.wait_for_line(lambda l: "reloading" in l, IO_WAIT, mark),
                             server.output())
        # A thread takes the reload the next time it waits with no connection
        # pending, so one that finds a connection first still answers it with
        # the old settings. Meanwhile every request is answered, by the old
        # settings or the new.
        deadline = time.monotonic() + IO_WAIT
        while True:
            bodies = self.one_request_per_thread(server)
            for body in bodies:
                self.assertIn(body, (b"index", b"other"))
            if bodies == [b"other"] * THREADS:
                break
            self.assertLess(time.monotonic(), deadline, "the reload never reached every thread")
        # Every thread has the new settings now, and keeps them.
        for _ in range(3):
            self.assertEqual(self.one_request_per_thread(server), [b"other"] * THREADS)
        self.assertEqual(server.proc.poll(), None, "SIGHUP ended the server")

    def test_sigterm_lets_the_response_in_progress_finish(self):
        # 16 MiB: far more than the socket buffers hold, so the script is
        # still writing while the client does not read.
        self.site.script("/big.ztc", """
        storegi n, 0
again:  pushc "%s"
        out
        incg n, 1
        cmpgi n, 2048
        jmp_lt again
""" % ("z" * 8191 + "\\n"))
        server = self.serve()
        s = socket.socket()
        self.addCleanup(s.close)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 65536)
        s.settimeout(IO_WAIT)
        s.connect(("127.0.0.1", server.port))
        s.sendall(b"GET /big.ztc HTTP/1.0\r\n\r\n")
        first = s.recv(4096)
        self.assertTrue(first.startswith(b"HTTP/1.1 200 OK\r\n"), first)

        mark = len(server.lines)
        server.signal(signal.SIGTERM)
        self.assertIsNotNone(server.wait_for_line(lambda l: l == "orin: stopping", IO_WAIT, mark),
                             server.output())
        self.assertIsNone(server.proc.poll(), "the server ended before its response")
        response = Response(first + read_all(s))
        self.assertEqual(response.body, (b"z" * 8191 + b"\n") * 2048)
        self.assertEqual(server.proc.wait(IO_WAIT), 0, server.output())
        # Nobody listens any more.
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", server.port), timeout=IO_WAIT).close()

if __name__ == "__main__":
    unittest.main()
