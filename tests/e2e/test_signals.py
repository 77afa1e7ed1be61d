"""SIGHUP reloads the settings; SIGTERM stops the server in order."""
import signal
import socket
import time
import unittest

from orin_e2e import IO_WAIT, Response, ServerTest, read_all


class Signals(ServerTest):
    def test_sighup_makes_the_connection_threads_read_the_settings_again(self):
        self.site.script("/index.ztc", 'pushc "index"\nout\n')
        self.site.script("/other.ztc", 'pushc "other"\nout\n')
        server = self.serve()
        self.assertEqual(server.get("/").body, b"index")

        self.site.settings('defaultfile = "other.ztc"\n')
        # The threads keep what they read until told.
        for _ in range(5):
            self.assertEqual(server.get("/").body, b"index")

        mark = len(server.lines)
        server.signal(signal.SIGHUP)
        self.assertIsNotNone(server.wait_for_line(lambda l: "reloading" in l, IO_WAIT, mark),
                             server.output())
        # Each thread takes the reload when it next wakes; a request may
        # arrive first, so ask until the new file answers.
        deadline = time.monotonic() + IO_WAIT
        while server.get("/").body != b"other":
            self.assertLess(time.monotonic(), deadline, "the reload never took effect")
            time.sleep(0.05)
        # From then on every thread serves the new default file.
        for _ in range(10):
            self.assertEqual(server.get("/").body, b"other")
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
