"""What a client sends becoming script variables: query strings, headers,
URL-encoded forms, multipart uploads streamed to disk, JSON bodies."""
import os
import random
import socket
import time
import unittest

from orin_e2e import IO_WAIT, Response, ServerTest, build_request, read_all

# Prints the query and form variables it knows, one per line.
ECHO = """
.func orin_json(&value) external
.system nargs arg2 arg3 http_X_Thing request_method
        pushs request_method
        out
        pushc "\\na="
        out
        pushg a
        call orin_json
        out
        pushc "\\nb="
        out
        pushg b
        call orin_json
        out
        pushc "\\na b="
        out
        pushnc "a b"
        out
        pushc "\\nbig="
        out
        pushg big
        out
        pushc "\\nnargs="
        out
        pushs nargs
        out
        pushc "\\narg2="
        out
        pushs arg2
        out
        pushc "\\narg3="
        out
        pushs arg3
        out
        pushc "\\nthing="
        out
        pushs http_X_Thing
        out
        pushc "\\n"
        out
"""

# The upload functions log what they were given; the validation answer is
# the query variable `limit` (query variables exist before the body is read).
UPLOAD = """
.func Zeto_ValidateFileUpload(field, filename, type)
        pushg log
        pushc "V:"
        cat
        pushl field
        cat
        pushc "|"
        cat
        pushl filename
        cat
        pushc "|"
        cat
        pushl type
        cat
        pushc "\\n"
        cat
        popg log
        pushg limit
        ret
.end
%s
.func Zeto_ProcessFileUpload(field, filename, status, path, type, size)
        pushg log
        pushc "P:"
        cat
        pushl field
        cat
        pushc "|"
        cat
        pushl filename
        cat
        pushc "|"
        cat
        pushl status
        cat
        pushc "|"
        cat
        pushl path
        cat
        pushc "|"
        cat
        pushl type
        cat
        pushc "|"
        cat
        pushl size
        cat
        pushc "\\n"
        cat
        popg log
        retn
.end
        pushg log
        out
        pushc "title="
        out
        pushg title
        out
"""

BOUNDARY = "----orinE2EBoundary7MA4YWxk"


def multipart_head(fields, file_name, content_type="application/octet-stream"):
    """Plain fields, then the head of one file part named "file"."""
    out = b""
    for name, value in fields:
        out += (f"--{BOUNDARY}\r\nContent-Disposition: form-data; name=\"{name}\"\r\n\r\n"
                f"{value}\r\n").encode()
    out += (f"--{BOUNDARY}\r\nContent-Disposition: form-data; name=\"file\"; "
            f"filename=\"{file_name}\"\r\nContent-Type: {content_type}\r\n\r\n").encode()
    return out


BLOCK = 8192
TAIL = f"\r\n--{BOUNDARY}--\r\n".encode()


def payload(size, seed):
    """Random bytes with near-boundaries sprinkled in. There is no CR at
    the ends of 1 KiB pieces, so no piece sent ends in what could be the
    start of a boundary the parser must hold back."""
    rnd = random.Random(seed)
    data = bytearray(rnd.randbytes(size))
    near = f"\r\n--{BOUNDARY}"[:-1].encode()
    for at in range(5000, size - len(near) - 1, 700001):
        data[at:at + len(near)] = near
    for at in range(0, size, 1024):
        for i in (at - 1, at):
            if 0 <= i < size and data[i] == 13:
                data[i] = ord("x")
    data[-1] = ord("x")
    return bytes(data)


class QueryAndForms(ServerTest):
    def test_query_string_arguments_and_joined_headers(self):
        self.site.script("/echo.ztc", ECHO)
        server = self.serve()
        raw = (b"GET /echo.ztc?a=1&a=2&b&a+b=c+d%26 HTTP/1.0\r\n"
               b"X-Thing: one\r\nthis line has no colon\r\nx-THING: two\r\n\r\n")
        response = Response(server.raw(raw))
        self.assertEqual(response.status, 200)
        self.assertEqual(response.text, "GET\na=[1,2]\nb=\"\"\na b=c d&\nbig=\nnargs=4\n"
                                        "arg2=a=1&a=2&b&a\narg3=b=c\nthing=one,two\n")

    def test_url_encoded_post_across_receive_blocks(self):
        self.site.script("/echo.ztc", ECHO)
        server = self.serve()
        # An escape split over the first 8192-byte block of the body.
        big = "x" * 8186 + "%41" + "y" * 20000
        body = f"big={big}&a=%C3%BC+1&b=&a=two"
        self.assertEqual(body.index("%41") + 2, 8192)
        response = server.request("/echo.ztc?a=q", "POST", body=body,
                                  headers=[("Content-Type", "application/x-www-form-urlencoded")])
        self.assertEqual(response.status, 200)
        self.assertEqual(response.text,
                         "POST\na=[\"q\",\"\\u00FC 1\",\"two\"]\nb=\"\"\na b=\nbig=" +
                         "x" * 8186 + "A" + "y" * 20000 +
                         "\nnargs=2\narg2=a=q\narg3=\nthing=\n")

    def test_post_variable_limit_stops_the_request_before_the_script(self):
        self.site.script("/echo.ztc", ECHO)
        server = self.serve("maxpostvars=2")
        form = [("Content-Type", "application/x-www-form-urlencoded; charset=utf-8")]
        refused = server.request("/echo.ztc", "POST", body="a=1&b=2&a=3", headers=form)
        self.assertEqual(refused.body, b"Maximum number of POST variables exceeded")
        self.assertEqual(refused.header("Content-Type"), "text/html")
        # The query string has no limit; two posted pairs are fine.
        ok = server.request("/echo.ztc?a=1&a=2&b=3", "POST", body="b=4&big=5", headers=form)
        self.assertIn("a=[1,2]\nb=[3,4]\na b=\nbig=5\n", ok.text)


class Uploads(ServerTest):
    def upload_site(self, validate=True):
        source = UPLOAD
        if not validate:
            start = source.index(".func Zeto_ValidateFileUpload")
            source = source[:start] + source[source.index(".end", start) + 4:]
        self.site.script("/up.ztc", source % "")
        return self.serve()

    def temp_files(self):
        return [n for n in self.site.data_files() if n.startswith("ZETO_FUP")]

    def wait_for_temp_file(self, size):
        """The name of the upload's temporary file once it holds `size`
        bytes or more (polled; bounded so a hung server fails the test)."""
        deadline = time.monotonic() + IO_WAIT
        while time.monotonic() < deadline:
            for name in self.temp_files():
                if os.path.getsize(os.path.join(self.site.data, name)) >= size:
                    return name
            time.sleep(0.02)
        self.fail(f"no temporary upload file reached {size} bytes: {self.site.data_files()}")

    def post_upload(self, server, path, body_parts, on_sent=None):
        """Sends the parts of a multipart body one after the other; calls
        `on_sent(i)` after part i; returns the response."""
        total = sum(len(p) for p in body_parts)
        head = build_request(path, "POST", headers=[
            ("Content-Type", f"multipart/form-data; boundary={BOUNDARY}"),
            ("Content-Length", str(total))])
        with server.connect() as s:
            s.sendall(head)
            for i, part in enumerate(body_parts):
                s.sendall(part)
                if on_sent:
                    on_sent(i)
            return Response(read_all(s))

    def test_large_file_is_streamed_to_disk_and_handed_to_the_script(self):
        server = self.upload_site()
        head = multipart_head([("title", "A <big> file")], "big.bin")
        data = payload(6 * 1024 * 1024 + 123, seed=1)
        # The body is read in whole 8192-byte blocks: stop the first send at
        # a block end so that everything sent so far can reach the disk.
        half = 384 * BLOCK - len(head)
        seen = {}

        def check_midway(i):
            if i == 0:
                # The body is not finished, yet the first half is on disk.
                name = self.wait_for_temp_file(half)
                with open(os.path.join(self.site.data, name), "rb") as f:
                    seen["name"], seen["content"] = name, f.read()

        response = self.post_upload(server, "/up.ztc?limit=0",
                                    [head + data[:half], data[half:] + TAIL], check_midway)
        self.assertEqual(seen["content"], data[:half])
        self.assertEqual(response.status, 200)
        self.assertEqual(response.text,
                         "V:file|big.bin|application/octet-stream\n"
                         f"P:file|big.bin|COMPLETE|{seen['name']}|application/octet-stream|"
                         f"{len(data)}\ntitle=A <big> file")
        self.assertEqual(self.temp_files(), [], "the temporary file outlived the request")

    def test_upload_limit_keeps_the_first_bytes_and_reports_partial(self):
        server = self.upload_site()
        data = payload(250000, seed=2)
        seen = {}

        def check_midway(i):
            if i == 0:
                name = self.wait_for_temp_file(100000)
                seen["size"] = os.path.getsize(os.path.join(self.site.data, name))
                with open(os.path.join(self.site.data, name), "rb") as f:
                    seen["content"] = f.read()

        response = self.post_upload(server, "/up.ztc?limit=100000",
                                    [multipart_head([], "part.dat", "image/x-test") + data, TAIL],
                                    check_midway)
        self.assertEqual(seen["size"], 100000)
        self.assertEqual(seen["content"], data[:100000])
        self.assertRegex(response.text, r"^V:file\|part.dat\|image/x-test\n"
                                        r"P:file\|part.dat\|PARTIAL\|ZETO_FUP[^|]*\|"
                                        r"image/x-test\|250000\ntitle=$")
        self.assertEqual(self.temp_files(), [])

    def test_skipped_uploads_write_nothing_and_plain_fields_still_arrive(self):
        data = payload(300000, seed=3)
        body = multipart_head([("title", "kept")], "skip.bin") + data + TAIL
        cases = (("refused by the validation function", True, "/up.ztc?limit=-1",
                  "V:file|skip.bin|application/octet-stream\ntitle=kept"),
                 ("no validation function", False, "/up.ztc", "title=kept"))
        for label, validate, path, expected in cases:
            with self.subTest(label):
                server = self.upload_site(validate)
                response = self.post_upload(server, path, [body])
                self.assertEqual(response.text, expected)
                self.assertEqual(self.site.data_files(), [])
                server.stop()

    def test_body_cut_short_in_a_file_part_leaves_no_file(self):
        server = self.upload_site()
        head = multipart_head([("title", "cut")], "cut.bin")
        data = payload(24 * BLOCK - len(head), seed=4)
        request = build_request("/up.ztc?limit=0", "POST", headers=[
            ("Content-Type", f"multipart/form-data; boundary={BOUNDARY}"),
            ("Content-Length", str(len(head) + len(data) * 2))])
        with server.connect() as s:
            s.sendall(request + head + data)
            self.wait_for_temp_file(len(data))
            s.shutdown(socket.SHUT_WR)  # the client sends no more
            response = Response(read_all(s))
        # The parts completed so far count; the open upload is dropped
        # without a processing call.
        self.assertEqual(response.text, "V:file|cut.bin|application/octet-stream\ntitle=cut")
        self.assertEqual(self.temp_files(), [])


class JsonBodies(ServerTest):
    SCRIPT = """
.func orin_json(&value) external
        pushnc "s.json_data:name"
        out
        pushc "\\n"
        out
        pushnc "s.json_data"
        call orin_json
        out
        pushc "\\n"
        out
        pushnc "s.content_data"
        out
"""

    def test_json_body_becomes_json_data_and_content_data(self):
        self.site.script("/j.ztc", self.SCRIPT)
        server = self.serve()
        numbers = ",".join(str(i) for i in range(3000))  # several receive blocks
        body = '{"name": "Zo\\u00eb <3>", "list": [%s], "nested": {"ok": true}}' % numbers
        response = server.request("/j.ztc", "POST", body=body,
                                  headers=[("Content-Type", "application/json; charset=utf-8")])
        name, encoded, raw = response.text.split("\n", 2)
        self.assertEqual(name, "Zoë <3>")
        self.assertEqual(raw, body)
        self.assertIn('"list":[0,1,2,', encoded)
        self.assertIn(",2999]", encoded)
        self.assertIn('"nested":{"ok":', encoded)

    def test_invalid_json_stops_before_the_script(self):
        self.site.script("/j.ztc", 'pushc "script ran"\nout\n')
        server = self.serve()
        response = server.request("/j.ztc", "POST", body='{"name": ',
                                  headers=[("Content-Type", "application/json")])
        self.assertEqual(response.status, 200)
        self.assertNotIn(b"script ran", response.body)
        self.assertTrue(response.body, "no message for the invalid body")
        # Any other type is kept raw in content_data.
        self.site.script("/raw.ztc", 'pushnc "s.content_data"\nout\n')
        raw = bytes(range(256)) * 40
        response = server.request("/raw.ztc", "PUT", body=raw,
                                  headers=[("Content-Type", "application/octet-stream")])
        self.assertEqual(response.body, raw)


if __name__ == "__main__":
    unittest.main()
