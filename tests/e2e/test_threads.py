"""Five connection threads: what a sixth client sees, and clients that leave
early."""
import socket
import struct
import unittest

from orin_e2e import (IO_WAIT, Response, ServerTest, accept_queue_length, read_all,
                       wait_all_accepted, wait_readable)

# Long enough for the server to have answered an unblocked request many
# times over; only the absence of an answer is checked in this window.
QUIET_WINDOW = 0.5


class FiveThreads(ServerTest):
    def test_sixth_client_is_answered_only_when_a_thread_is_free(self):
        self.site.script("/who.ztc", '.system query_string\npushs query_string\nout\n')
        server = self.serve()
        busy = []
        try:
            # Five requests whose bodies have not come keep all five threads
            # busy reading them. (Clients that have not even sent their head
            # hold no thread: see test_slow_clients.)
            for i in range(5):
                s = server.connect()
                s.sendall(f"POST /who.ztc?busy{i} HTTP/1.0\r\n"
                          "Content-Type: application/x-www-form-urlencoded\r\n"
                          "Content-Length: 3\r\n\r\n".encode())
                busy.append(s)
            wait_all_accepted(server.port)
            sixth = server.connect()
            sixth.sendall(b"GET /who.ztc?sixth HTTP/1.0\r\n\r\n")
            self.assertFalse(wait_readable(sixth, QUIET_WINDOW),
                             "the sixth client was answered while five threads were busy")
            self.assertEqual(accept_queue_length(server.port), 1)  # still waiting
            # A busy thread is not stuck: it serves its own request.
            busy[0].sendall(b"a=1")
            first = Response(read_all(busy[0]))
            sixth.settimeout(IO_WAIT)
            answer = Response(read_all(sixth))
            self.assertEqual(first.body, b"busy0")
            self.assertEqual(answer.body, b"sixth")
            sixth.close()
        finally:
            for s in busy:
                s.close()
        # The four closed connections end their bodies early; all five
        # threads serve again.
        clients = [server.connect() for _ in range(5)]
        for i, c in enumerate(clients):
            c.sendall(f"GET /who.ztc?again{i} HTTP/1.0\r\n\r\n".encode())
        for i, c in enumerate(clients):
            with c:
                self.assertEqual(Response(read_all(c)).body, f"again{i}".encode())

    def test_client_gone_in_the_middle_of_a_large_response(self):
        # About 4 MiB, flushed in 1 MiB pieces while the script runs.
        self.site.script("/big.ztc", """
        storegi n, 0
again:  pushc "%s"
        out
        incg n, 1
        cmpgi n, 512
        jmp_lt again
""" % ("x" * 8191 + "\\n"))
        self.site.script("/small.ztc", 'pushc "still here"\nout\n')
        server = self.serve()
        for _ in range(3):
            s = server.connect()
            s.sendall(b"GET /big.ztc HTTP/1.0\r\n\r\n")
            self.assertTrue(s.recv(1000).startswith(b"HTTP/1.1 200 OK\r\n"))
            # Unread bytes make the close a reset, as when a browser tab closes.
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            s.close()
        for _ in range(6):
            self.assertEqual(server.get("/small.ztc").body, b"still here")
        whole = server.get("/big.ztc")
        self.assertEqual(whole.status, 200)
        self.assertIsNone(whole.header("Content-Length"))
        self.assertEqual(whole.body, (b"x" * 8191 + b"\n") * 512)


if __name__ == "__main__":
    unittest.main()
