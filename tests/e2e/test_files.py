"""Paths, canned responses and static files as a client on the wire sees them."""
import os
import random
import struct
import unittest
import zlib

from orin_e2e import SERVER_SOFTWARE, ServerTest

PAGE_START = ('<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML 2.0//EN">\r\n<HTML>\r\n'
              "<HEAD><TITLE>")


def canned(status, heading, text):
    return ((f"HTTP/1.1 {status}\r\nServer: {SERVER_SOFTWARE}\r\nConnection: close\r\n\r\n"
             f"{PAGE_START}{status}</TITLE></HEAD>\r\n<BODY>\r\n<H1>{heading}</H1>\r\n"
             f"{text}\r\n</BODY>\r\n</HTML>").encode())


def not_found(path):
    return canned("404 Not Found", "Not Found", f"The file '{path}' was not found on this server")


BAD_REQUEST = canned("400 Bad Request", "Bad Request",
                     "Your browser sent an invalid HTTP request: Requested URI too long or invalid")


def static_head(content_type, length):
    return (f"HTTP/1.1 200 OK\r\nContent-Type: {content_type}\r\nContent-Length: {length}\r\n"
            "Connection: close\r\n\r\n").encode()


def mime_type(extension):
    """The type /etc/mime.types gives an extension."""
    with open("/etc/mime.types", encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.split("#", 1)[0].split()
            if len(fields) > 1 and extension in fields[1:]:
                return fields[0]
    return None


def png(width, height):
    """A valid grey PNG image of noise (so it does not compress)."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))
    noise = random.Random(width * height)
    rows = b"".join(b"\x00" + noise.randbytes(width) for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class PathLimits(ServerTest):
    def test_path_of_258_bytes_is_served_and_259_is_refused(self):
        directory = "/" + "d" * 128 + "/"
        ok = directory + "b" * 124 + ".txt"
        too_long = directory + "b" * 125 + ".txt"
        self.assertEqual((len(ok), len(too_long)), (258, 259))
        self.site.file(ok, b"accepted")
        self.site.file(too_long, b"never sent")
        server = self.serve()

        self.assertEqual(server.raw(f"GET {ok} HTTP/1.0\r\n\r\n".encode()),
                         static_head("text/plain", 8) + b"accepted")
        # The file exists: only the length decides.
        self.assertEqual(server.raw(f"GET {too_long} HTTP/1.0\r\n\r\n".encode()), BAD_REQUEST)
        # The query string does not count towards the limit.
        self.assertEqual(server.raw(f"GET {ok}?{'q' * 500} HTTP/1.0\r\n\r\n".encode()),
                         static_head("text/plain", 8) + b"accepted")

    def test_missing_files_and_directories_get_the_404_page_naming_the_path(self):
        self.site.file("/empty/readme.txt", b"no index here")
        server = self.serve()
        self.assertEqual(server.raw(b"GET /missing.ztc HTTP/1.0\r\n\r\n"),
                         not_found("/missing.ztc"))
        # A directory without the default file names the path as requested,
        # and the query string is not part of it.
        self.assertEqual(server.raw(b"GET /empty/?x=1 HTTP/1.0\r\n\r\n"), not_found("/empty/"))
        self.assertEqual(server.raw(b"GET /empty HTTP/1.0\r\n\r\n"), not_found("/empty"))
        # Paths are not decoded and may not leave the script root.
        self.assertEqual(server.raw(b"GET /%65mpty/readme.txt HTTP/1.0\r\n\r\n"),
                         not_found("/%65mpty/readme.txt"))
        self.assertEqual(server.raw(b"GET /../data HTTP/1.0\r\n\r\n")[:24],
                         b"HTTP/1.1 404 Not Found\r\n")

    def test_connection_closed_before_a_request_line_gets_no_answer(self):
        server = self.serve()
        with server.connect() as s:
            s.shutdown(1)  # end of stream without a byte
            self.assertEqual(s.recv(100), b"")
        # The thread that took it serves the next one.
        self.assertEqual(server.raw(b"GET /x HTTP/1.0\r\n\r\n"), not_found("/x"))


class StaticFiles(ServerTest):
    def test_types_and_exact_lengths(self):
        css = b"body { color: #123456; }\n"
        blob = png(300, 200)  # several blocks
        self.assertGreater(len(blob), 3 * 8192)
        plain = b"no extension\x00here\n"
        self.site.file("/style.css", css)
        self.site.file("/img/picture.png", blob)
        self.site.file("/LICENSE", plain)
        self.site.file("/notes.", b"trailing dot")
        server = self.serve()

        self.assertEqual(mime_type("png"), "image/png")
        self.assertEqual(server.raw(b"GET /style.css HTTP/1.1\r\nHost: x\r\n\r\n"),
                         static_head(mime_type("css"), len(css)) + css)
        self.assertEqual(server.raw(b"GET /img/picture.png HTTP/1.0\r\n\r\n"),
                         static_head("image/png", len(blob)) + blob)
        self.assertEqual(server.raw(b"GET /LICENSE HTTP/1.0\r\n\r\n"),
                         static_head("text/plain", len(plain)) + plain)
        self.assertEqual(server.raw(b"GET /notes. HTTP/1.0\r\n\r\n"),
                         static_head("text/plain", 12) + b"trailing dot")

    def test_request_line_without_protocol_and_directory_default_file(self):
        self.site.script("/a/index.ztc", 'pushc "index of a"\nout\n')
        server = self.serve()
        for raw in (b"GET /a/\r\n\r\n", b"GET /a HTTP/1.0\r\n\r\n", b"GET /a/?x HTTP/1.0\r\n\r\n"):
            with self.subTest(raw=raw):
                response = server.raw(raw)
                self.assertTrue(response.startswith(b"HTTP/1.1 200 OK\r\n"), response)
                self.assertTrue(response.endswith(b"\r\n\r\nindex of a"), response)

    def test_script_types_compare_without_letter_case(self):
        source = 'pushc "ran"\nout\n'
        self.site.script("/upper.ZTC", source)
        server = self.serve()
        response = server.get("/upper.ZTC")
        self.assertEqual((response.status, response.body), (200, b"ran"))
        self.assertEqual(response.header("Content-Type"), "text/html")


class ProgramFiles(ServerTest):
    def test_programs_small_and_large_run(self):
        # Small programs are read into memory whole, large ones in place.
        self.site.script("/small.ztc", 'pushc "small"\nout\n')
        big = "0123456789abcdef" * (5 * 1024 * 1024 // 16)
        path = self.site.script("/big.ztc", f'pushc "{big}"\nout\n')
        self.assertGreater(os.path.getsize(path), 4 * 1024 * 1024)
        server = self.serve()
        self.assertEqual(server.get("/small.ztc").body, b"small")
        self.assertEqual(server.get("/big.ztc").body, big.encode())

    def test_damaged_programs_are_refused_with_the_reader_message(self):
        with open(self.site.script("/whole.ztc", 'pushc "whole"\nout\n'), "rb") as f:
            whole = f.read()
        self.site.file("/cut.ztc", whole[:40])
        self.site.file("/text.ztc", b"not a program")
        server = self.serve()
        self.assertEqual(server.get("/whole.ztc").body, b"whole")
        self.assertEqual(server.get("/cut.ztc").text,
                         "Unable to execute '/cut.ztc': "
                         "Unexpected end of file while reading directory")
        self.assertEqual(server.get("/text.ztc").text,
                         "Unable to execute '/text.ztc': "
                         "File is either corrupt or not a valid compiled Zeto Script file")


if __name__ == "__main__":
    unittest.main()
