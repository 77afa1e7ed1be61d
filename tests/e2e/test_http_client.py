"""ZtCALL end to end: scripts run with `orin run` against nginx (HTTP and
HTTPS with a certificate of a throw-away CA) and against a raw peer of the
test's own that records the exact request bytes and misbehaves on demand.

nginx is started once for the module on free loopback ports and stopped by
its process id.
"""
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import unittest

from orin_e2e import EXAMPLE_SITE, ORIN, REPO, ZTASM, LoopbackPeer, ServerTest, free_port, wait_port

CERTS = os.path.join(REPO, "tests", "network", "make_certs.sh")
PAGE = b'<!DOCTYPE html>\n<html><body class="x"><p id=a>Hello</p><!-- note --></body></html>\n'

state = {}


def setUpModule():
    d = tempfile.mkdtemp(prefix="orin-http-client-")
    os.chmod(d, 0o755)
    state["dir"] = d
    subprocess.run(["sh", CERTS, d], check=True)
    www = os.path.join(d, "www")
    os.makedirs(www)
    os.chmod(www, 0o755)
    with open(os.path.join(www, "index.html"), "wb") as f:
        f.write(PAGE)
    for name in ("good.pem", "good.key"):
        os.chmod(os.path.join(d, name), 0o644)
    http, https = free_port(), free_port()
    conf = os.path.join(d, "nginx.conf")
    temp = "".join(f"{k}_temp_path {d}/{k};\n" for k in
                   ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
    with open(conf, "w") as f:
        f.write(f"""daemon off;
pid {d}/nginx.pid;
error_log {d}/error.log;
events {{ worker_connections 64; }}
http {{
  access_log off;
  {temp}
  server {{ listen 127.0.0.1:{http}; root {www}; }}
  server {{
    listen 127.0.0.1:{https} ssl;
    ssl_certificate {d}/good.pem;
    ssl_certificate_key {d}/good.key;
    root {www};
  }}
}}
""")
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    proc = subprocess.Popen([nginx, "-p", d, "-c", conf], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    state["nginx"] = proc
    if not (wait_port(http, proc) and wait_port(https, proc)):
        raise RuntimeError("nginx did not start: " + open(os.path.join(d, "error.log")).read())
    state["http"], state["https"] = http, https


def tearDownModule():
    proc = state.get("nginx")
    if proc:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=30)
    shutil.rmtree(state.get("dir", ""), ignore_errors=True)


class RawPeer(LoopbackPeer):
    """Accepts one connection, records the request (head and, by its
    Content-Length, the body) and answers with `reply` (bytes, or a function
    of the socket for misbehaviour)."""

    def __init__(self, reply, connections=1):
        self.requests = []
        self.reply = reply
        super().__init__(connections, timeout=10)

    def handle(self, conn):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(65536)
            if not chunk:
                break
            data += chunk
        m = re.search(rb"\r\nContent-Length: (\d+)\r\n", data)
        if m:
            want = data.index(b"\r\n\r\n") + 4 + int(m.group(1))
            while len(data) < want:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                data += chunk
        self.requests.append(data)
        if callable(self.reply):
            self.reply(conn)
        else:
            conn.sendall(self.reply)


def call_source(url, method="GET", fields="", files="", ctype="", extra=None, body=None):
    """A script that makes one call and prints each object as type:value|n."""
    push = [url, method, fields, files, ctype]
    lines = [f'        pushc "{p}"' for p in push]
    op = "        op_http end"
    if extra is not None:
        for i, value in enumerate(extra, start=6):
            lines.append(f"        pushi {value}" if i == 9 else f'        pushc "{value}"')
        op = f"        op_httpn end, {5 + len(extra)}"
    loop = body or """        pushg callobjecttype
        out
        pushc ":"
        out
        pushg callvalue
        out
        pushc "|"
        out
        pushg callobjectnumattributes
        out
        pushc "\\n"
        out
"""
    return "\n".join(lines) + "\n" + op + "\nbody:\n" + loop + """        op_http_loop body
end:    pushc "headers="
        out
        pushg callnumberofheaders
        out
"""


class HttpClientTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="orin-call-")
        self.html = os.path.join(self.dir, "html")
        self.data = os.path.join(self.dir, "data")
        os.makedirs(self.html)
        os.makedirs(self.data)
        self.config = os.path.join(self.dir, "vm.toml")
        open(self.config, "w").close()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_script(self, source, *settings, prelude=""):
        src = os.path.join(self.dir, "t.zasm")
        with open(src, "w") as f:
            f.write(prelude + source)
        out = os.path.join(self.html, "t.ztc")
        asm = subprocess.run([ZTASM, "-o", out, src], capture_output=True, text=True)
        self.assertEqual(asm.returncode, 0, asm.stderr + asm.stdout)
        cmd = [ORIN, "run", "--root", self.html, "--data", self.data, "--config", self.config]
        for s in ("calltimeout=10",) + settings:
            cmd += ["--set", s]
        proc = subprocess.run(cmd + [out], capture_output=True, cwd=self.data, timeout=120)
        # Under a sanitizer build a report fails the test, not only a crash.
        self.assertNotIn(b"Sanitizer", proc.stderr, proc.stderr.decode("latin-1"))
        return proc.stdout.decode("latin-1")

    # --- nginx ---

    def test_objects_of_a_page_from_nginx(self):
        out = self.run_script(call_source(f"http://localhost:{state['http']}/index.html"))
        self.assertEqual(out.split("headers=")[0],
                         "tag:<!DOCTYPE html>|0\ntext:\n|0\ntag:<html>|0\n"
                         'tag:<body class="x">|1\ntag:<p id=a>|1\ntext:Hello|0\ntag:</p>|0\n'
                         "tag:<!-- note -->|0\ntag:</body>|0\ntag:</html>|0\ntext:\n|0\n")
        self.assertGreater(int(out.split("headers=")[1]), 3)

    def test_https_from_nginx_verifies_against_the_test_ca(self):
        url = f"https://localhost:{state['https']}/index.html"
        source = call_source(url, extra=["", "", "", 0, "", "", "noparse"], body="""
        pushg callservercertificate
        out
        pushg callvalue
        out
""")
        ca = os.path.join(state["dir"], "ca.pem")
        out = self.run_script(source, f"cafile={ca}")
        self.assertTrue(out.startswith("-----BEGIN CERTIFICATE-----\n"), out)
        self.assertIn(PAGE.decode(), out)
        refused = self.run_script(source)
        self.assertIn(f"ZtCALL: Unable to open URL '{url}': Error establishing SSL connection: "
                      "certificate verify failed", refused)
        missing = self.run_script(source, f"cafile={ca}", "openssl=libnosuchssl.so.9")
        self.assertIn(f"Unable to open URL '{url}': Unable to load OpenSSL DLLs", missing)
        plain = self.run_script(call_source(f"http://localhost:{state['http']}/"),
                                "openssl=libnosuchssl.so.9")
        self.assertIn("text:Hello|0", plain)

    # --- exact request bytes ---

    def test_get_with_fields_appends_the_query(self):
        reply = b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"
        prelude = '        pushc "x y&z"\n        popg a\n        pushc "1"\n        popg b\n'
        for url in ("p", "p?"):
            peer = RawPeer(reply)
            out = self.run_script(call_source(f"http://127.0.0.1:{peer.port}/{url}", fields="a, b"),
                                  prelude=prelude)
            peer.close()
            self.assertEqual(peer.requests, [
                f"GET /p?a=x+y%26z&b=1 HTTP/1.1\r\nHost: 127.0.0.1:{peer.port}\r\n"
                "Connection: close\r\n\r\n".encode()])
            self.assertEqual(out, "text:ok|0\nheaders=1")

    def test_form_post_raw_bodies_and_extra_headers(self):
        reply = b"HTTP/1.1 204 No Content\r\n\r\n"
        prelude = '        pushc "1 2"\n        popg a\n        pushc "<x/>"\n        popg b\n'
        cases = [
            ("POST", "", "Content-Type: application/x-www-form-urlencoded\r\n"
             "Content-Length: 18\r\n", "a=1+2&b=%3Cx%2F%3E"),
            ("put", "", "Content-Type: text/plain\r\nContent-Length: 7\r\n", "1 2<x/>"),
            ("XML", "", "Content-Type: text/xml\r\nContent-Length: 7\r\n", "1 2<x/>"),
            ("RAW", "application/json", "Content-Type: application/json\r\nContent-Length: 7\r\n",
             "1 2<x/>"),
        ]
        for method, ctype, head, body in cases:
            peer = RawPeer(reply)
            sent_method = {"put": "PUT", "XML": "POST", "RAW": "POST"}.get(method, method)
            self.run_script(call_source(f"http://127.0.0.1:{peer.port}/f", method, "a,b", "", ctype,
                                        extra=["", "", "X-One: 1\\r\\nX-Two: 2\\r\\n"]),
                            prelude=prelude)
            peer.close()
            self.assertEqual(peer.requests[0].decode(),
                             f"{sent_method} /f HTTP/1.1\r\nHost: 127.0.0.1:{peer.port}\r\n" + head +
                             "X-One: 1\r\nX-Two: 2\r\nConnection: close\r\n\r\n" + body, method)

    def test_multipart_upload_of_a_data_file(self):
        with open(os.path.join(self.data, "up.txt"), "wb") as f:
            f.write(b"file\x00bytes\r\n")
        prelude = ('        pushc "up.txt"\n        popg doc\n'
                   '        pushc "v"\n        popg note\n')
        peer = RawPeer(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
        out = self.run_script(call_source(f"http://127.0.0.1:{peer.port}/u", "whatever", "note",
                                          " doc "), prelude=prelude)
        peer.close()
        req = peer.requests[0]
        m = re.match(rb"POST /u HTTP/1\.1\r\nHost: 127\.0\.0\.1:\d+\r\n"
                     rb"Content-Type: multipart/form-data; boundary=(-{20}\d+)\r\n"
                     rb"Content-Length: (\d+)\r\nConnection: close\r\n\r\n", req)
        self.assertIsNotNone(m, req)
        b = m.group(1)
        body = req[m.end():]
        self.assertEqual(int(m.group(2)), len(body))
        self.assertEqual(body,
                         b"--" + b + b'\r\nContent-Disposition: form-data; name="note"\r\n\r\nv\r\n'
                         b"--" + b + b'\r\nContent-Disposition: form-data; name="doc"; '
                         b'filename="up.txt"\r\nContent-Type: text/plain\r\n\r\n'
                         b"file\x00bytes\r\n\r\n--" + b + b"--\r\n")
        self.assertEqual(out, "headers=1")
        missing = self.run_script(call_source("http://127.0.0.1:9/u", "POST", "", "doc"),
                                  prelude='        pushc "nope.txt"\n        popg doc\n')
        self.assertIn("ZtCALL: Unable to open 'nope.txt': ", missing)

    def test_head_sends_no_body_and_reads_none(self):
        reply = b"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n"
        peer = RawPeer(reply)
        out = self.run_script(call_source(f"http://127.0.0.1:{peer.port}/h", "HEAD"))
        peer.close()
        self.assertEqual(peer.requests[0],
                         f"HEAD /h HTTP/1.1\r\nHost: 127.0.0.1:{peer.port}\r\n"
                         "Connection: close\r\n\r\n".encode())
        self.assertEqual(out, "headers=1")

    # --- responses ---

    def test_chunked_body_and_header_lines(self):
        reply = (b"HTTP/1.1 200 OK\r\nX-A:  spaced  \r\nTransfer-Encoding: chunked\r\n\r\n"
                 b"4\r\n<b>x\r\n3;ext=1\r\n</b\r\n1\r\n>\r\n0\r\n\r\n")
        peer = RawPeer(reply)
        out = self.run_script(call_source(f"http://127.0.0.1:{peer.port}/c", body="""
        pushg callvalue
        out
        pushc "|"
        out
""") + """        pushg callreturnheader
        pushi 1
        elemr
        out
""")
        peer.close()
        self.assertTrue(out.startswith("<b>|x|</b>|headers=2X-A:  spaced"), out)

    def test_misbehaving_servers(self):
        def never_answers(conn):
            conn.recv(1)  # the client times out first

        def half_answer(conn):
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<p>only")

        def head_then_close(conn):
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Le")

        cases = [
            (never_answers, ["calltimeout=1"], "ZtCALL: Read Timeout"),
            (half_answer, [], "ZtCALL: Read Error: Connection closed by remote host"),
            (head_then_close, [], "ZtCALL: Read Error: Connection closed by remote host"),
            (b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n<p>\n0\r\n\r\n", [],
             "ZtCALL: Invalid chunk terminator"),
            (b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-3\r\nabc\r\n", [],
             "ZtCALL: Invalid chunk size"),
            (b"HTTP/1.1 200 OK\r\n\r\n<p class='never closed", [], "ZtCALL: Unexpected EOF in tag"),
            (b"HTTP/1.1 200 OK\r\n\r\n<!-- open", [],
             "ZtCALL: Unexpected EOF in HTML comment or CDATA section"),
            (b"HTTP/1.1 200 OK\r\n\r\n<!DOCTYPE <x>", [],
             "ZtCALL: Unexpected EOF in DOCTYPE or other XML tag"),
        ]
        for reply, settings, message in cases:
            peer = RawPeer(reply)
            out = self.run_script(call_source(f"http://127.0.0.1:{peer.port}/m"), *settings)
            peer.close()
            self.assertIn(message, out)

    def test_stop_leaves_the_loop_and_the_rest_unread(self):
        peer = RawPeer(b"HTTP/1.1 200 OK\r\n\r\n<a><b><c>")
        out = self.run_script(call_source(f"http://127.0.0.1:{peer.port}/s", body="""
        pushg callvalue
        out
        op_http_stop end
"""))
        peer.close()
        self.assertEqual(out, "<a>headers=0")

    def test_variables_land_in_the_calling_functions_scope(self):
        peer = RawPeer(b"HTTP/1.1 200 OK\r\n\r\nx")
        source = f""".func fetch()
  .local callvalue
        pushc "http://127.0.0.1:{peer.port}/f"
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        op_http done
body:   pushl callvalue
        out
        op_http_loop body
done:   pushi 0
        ret
.end
        call fetch
        pop
        pushc "|"
        out
        pushg callvalue
        out
"""
        out = self.run_script(source)
        peer.close()
        self.assertEqual(out, "x|")

    def test_redirects_are_handed_to_the_script(self):
        # The client reports a redirect; it never follows one, so a server
        # that redirects to itself forever gets exactly one request.
        reply = (b"HTTP/1.1 302 Found\r\nLocation: /m\r\nContent-Length: 0\r\n\r\n")
        peer = RawPeer(reply, connections=2)
        out = self.run_script(call_source(f"http://127.0.0.1:{peer.port}/m", body="") + """
        pushg callreturnheader
        pushi 1
        elemr
        out
""")
        peer.close()
        self.assertEqual(len(peer.requests), 1)
        self.assertEqual(out, "headers=2Location: /m")

    def test_tag_inputs_that_fail(self):
        cases = [
            (call_source(""), "ZtCALL: Invalid URL"),
            (call_source("ftp://x/"), "ZtCALL: Unable to open URL 'ftp://x/': Unsupported protocol 'ftp'"),
            (call_source("no-scheme"), "ZtCALL: Unable to open URL 'no-scheme': Malformed URL"),
            (call_source("http://x/", extra=["", "", "", 0, "", "", " noparse, bogus "]),
             'ZtCALL: Unsupported flag &quot;bogus&quot;'),
            (call_source("http://x/", extra=["", "", "", 0, "", "", "FORCE_HTTPS"]),
             "ZtCALL: Unable to open URL 'http://x/': Request requires a secure connection"),
            (call_source("http://x/", extra=["", "", "", 0, "", "", "", ""]),
             "ZtCALL: Invalid number of parameters to HTTPN"),
        ]
        for source, message in cases:
            self.assertIn(message, self.run_script(source))


class ExampleCallPage(ServerTest):
    def test_the_server_calls_its_own_start_page(self):
        server = self.serve(root=EXAMPLE_SITE)
        page = server.get("/call.ztc")
        self.assertEqual(page.status, 200)
        links = re.search(r'<ul id="links">\n(.*?)</ul>', page.text, re.S).group(1)
        self.assertIn("<li>form.ztc</li>\n", links)
        self.assertIn("<li>call.ztc</li>\n", links)
        self.assertIn('<b id="tls">1</b>', page.text)


if __name__ == "__main__":
    unittest.main()
