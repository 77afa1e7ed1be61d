"""Shared pieces of the end-to-end tests: a temporary site, a real
`orin serve` on a free loopback port, and raw HTTP over sockets.

The build directory comes from ORIN_BUILD (CTest sets it); by default the
`build` folder of the repository.
"""
import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
BUILD = os.path.abspath(os.environ.get("ORIN_BUILD") or os.path.join(REPO, "build"))
ORIN = os.path.join(BUILD, "apps", "orin", "orin")
ZTASM = os.path.join(BUILD, "tools", "ztasm")
EXAMPLE_SITE = os.path.join(BUILD, "examples", "site")

# Bounds for waits that only guard against a hung server; no test asserts
# on how long anything took.
START_WAIT = 30
STOP_WAIT = 60
IO_WAIT = 60

SERVER_SOFTWARE = "Zeto Orin/Zeto Virtual Machine"


class Site:
    """A script root, a data directory and an empty settings file in a fresh
    temporary folder, removed by cleanup()."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="orin-e2e-")
        self.root = os.path.join(self.dir, "html")
        self.data = os.path.join(self.dir, "data")
        self.config = os.path.join(self.dir, "vm.toml")
        os.makedirs(self.root)
        os.makedirs(self.data)
        open(self.config, "w").close()

    def script(self, path, source):
        """Assembles `source` into `path` (relative to the script root)."""
        out = self._place(path)
        src = out + ".zasm"
        with open(src, "w", encoding="utf-8", newline="") as f:
            f.write(source)
        proc = subprocess.run([ZTASM, "-o", out, src], capture_output=True, text=True)
        os.unlink(src)
        if proc.returncode != 0:
            raise AssertionError(f"{path} does not assemble:\n{proc.stderr}{proc.stdout}")
        return out

    def file(self, path, data):
        out = self._place(path)
        with open(out, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return out

    def settings(self, text):
        with open(self.config, "w", encoding="utf-8") as f:
            f.write(text)

    def data_files(self):
        return sorted(os.listdir(self.data))

    def cleanup(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def _place(self, path):
        out = os.path.join(self.root, path.lstrip("/"))
        os.makedirs(os.path.dirname(out), exist_ok=True)
        return out


class Server:
    """`orin serve` on 127.0.0.1 with a port the system picks."""

    def __init__(self, site, settings=(), root=None):
        self.site = site
        args = [ORIN, "serve", "--port", "0", "--bind", "127.0.0.1",
                "--root", root or site.root, "--data", site.data, "--config", site.config]
        for s in settings:
            args += ["--set", s]
        self.args = args
        self.proc = None
        self.port = None
        self.lines = []
        self._stopped = False
        self._lines_changed = threading.Condition()
        self._stderr = tempfile.TemporaryFile()

    def start(self):
        self.proc = subprocess.Popen(self.args, stdout=subprocess.PIPE, stderr=self._stderr,
                                     stdin=subprocess.DEVNULL)
        self._reader = threading.Thread(target=self._read_stdout, daemon=True)
        self._reader.start()
        prefix = "orin: listening on http://127.0.0.1:"
        line = self.wait_for_line(lambda l: l.startswith(prefix), START_WAIT)
        if line is None:
            self.kill()
            raise AssertionError("orin serve did not start:\n" + self.output())
        self.port = int(line[len(prefix):].rstrip("/"))
        return self

    def _read_stdout(self):
        for raw in self.proc.stdout:
            with self._lines_changed:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self._lines_changed.notify_all()
        with self._lines_changed:
            self._lines_changed.notify_all()

    def wait_for_line(self, predicate, timeout, start=0):
        """The first line of standard output from index `start` on that
        satisfies `predicate`, or None when none came in time."""
        deadline = time.monotonic() + timeout
        with self._lines_changed:
            while True:
                for line in self.lines[start:]:
                    if predicate(line):
                        return line
                left = deadline - time.monotonic()
                if left <= 0 or not self._reader.is_alive():
                    return None  # out of time, or the output ended
                self._lines_changed.wait(min(left, 0.2))

    def output(self):
        self._stderr.seek(0)
        err = self._stderr.read().decode("utf-8", "replace")
        return "stdout:\n" + "\n".join(self.lines) + "\nstderr:\n" + err

    def stop(self):
        """SIGTERM; the server must end by itself with status 0."""
        if self.proc is None or self._stopped:
            return
        self._stopped = True
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(STOP_WAIT)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("orin serve did not stop on SIGTERM:\n" + self.output())
        self._reader.join(STOP_WAIT)
        self.proc.stdout.close()
        if code != 0:
            raise AssertionError(f"orin serve exited with {code}:\n" + self.output())

    def close(self):
        self.kill()
        if self.proc is not None and not self.proc.stdout.closed:
            self._reader.join(STOP_WAIT)
            self.proc.stdout.close()
        self._stderr.close()

    def kill(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def signal(self, sig):
        self.proc.send_signal(sig)

    # --- talking to it ---------------------------------------------------

    def connect(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=IO_WAIT)
        return s

    def raw(self, data):
        """Sends `data` and returns every byte until the server closes."""
        with self.connect() as s:
            s.sendall(data)
            return read_all(s)

    def request(self, path, method="GET", headers=(), body=None, protocol="HTTP/1.0"):
        return Response(self.raw(build_request(path, method, headers, body, protocol)))

    def get(self, path, headers=()):
        return self.request(path, headers=headers)


def free_port():
    """A loopback port nobody listens on at the moment."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, proc, timeout=20):
    """Waits until `port` accepts; False when `proc` ended or time ran out."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.02)
    return False


class LoopbackPeer:
    """A peer of the test's own on a free loopback port: a thread accepts
    `connections` clients one after the other and hands each to
    `handle(conn)` with `timeout` seconds per socket operation."""

    def __init__(self, connections=1, timeout=10):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.timeout = timeout
        self.thread = threading.Thread(target=self._serve, args=(connections,), daemon=True)
        self.thread.start()

    def handle(self, conn):
        raise NotImplementedError

    def _serve(self, connections):
        for _ in range(connections):
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with conn:
                conn.settimeout(self.timeout)
                self.handle(conn)

    def close(self):
        # shutdown wakes a thread still waiting in accept; close alone does not.
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self.thread.join(timeout=30)


def build_request(path, method="GET", headers=(), body=None, protocol="HTTP/1.0"):
    head = f"{method} {path} {protocol}\r\nHost: 127.0.0.1\r\n"
    if isinstance(headers, dict):
        headers = list(headers.items())
    names = {n.lower() for n, _ in headers}
    for name, value in headers:
        head += f"{name}: {value}\r\n"
    if body is not None:
        if isinstance(body, str):
            body = body.encode()
        if "content-length" not in names:
            head += f"Content-Length: {len(body)}\r\n"
    return head.encode() + b"\r\n" + (body or b"")


def read_all(sock):
    chunks = []
    while True:
        data = sock.recv(65536)
        if not data:
            return b"".join(chunks)
        chunks.append(data)


class Response:
    """A response as raw bytes, split into status line, headers and body."""

    def __init__(self, raw):
        self.raw = raw
        head, sep, self.body = raw.partition(b"\r\n\r\n")
        if not sep:
            raise AssertionError(f"no end of headers in {raw[:300]!r}")
        lines = head.decode("latin-1").split("\r\n")
        self.status_line = lines[0]
        parts = self.status_line.split(" ", 2)
        self.status = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else None
        self.headers = []
        for line in lines[1:]:
            name, _, value = line.partition(": ")
            self.headers.append((name, value))

    def header(self, name):
        """The value of the only header `name` (None when absent)."""
        values = self.all(name)
        if len(values) > 1:
            raise AssertionError(f"header {name} sent {len(values)} times: {self.headers}")
        return values[0] if values else None

    def all(self, name):
        return [v for n, v in self.headers if n.lower() == name.lower()]

    @property
    def text(self):
        return self.body.decode("utf-8", "replace")


class ServerTest(unittest.TestCase):
    """Each test gets a fresh site; `serve()` starts a server that is
    stopped (and checked to exit 0) when the test ends, whatever happened."""

    def setUp(self):
        for path in (ORIN, ZTASM):
            if not os.access(path, os.X_OK):
                self.fail(f"{path} is missing: build first (ORIN_BUILD={BUILD})")
        self.site = Site()
        self.addCleanup(self.site.cleanup)

    def serve(self, *settings, root=None):
        server = Server(self.site, settings, root=root)
        self.addCleanup(server.close)
        self.addCleanup(server.stop)
        return server.start()


def accept_queue_length(port):
    """Connections waiting in the accept queue of the listening socket on
    `port`, from the kernel's socket table (for a listening socket the
    receive-queue column counts them)."""
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                rows = f.read().splitlines()[1:]
        except OSError:
            continue
        for row in rows:
            fields = row.split()
            local, state, queues = fields[1], fields[3], fields[4]
            if state == "0A" and int(local.rsplit(":", 1)[1], 16) == port:
                return int(queues.split(":")[1], 16)
    raise AssertionError(f"no listening socket on port {port}")


def wait_all_accepted(port, timeout=IO_WAIT):
    """Waits until no connection is left waiting for a thread to accept it."""
    deadline = time.monotonic() + timeout
    while accept_queue_length(port) > 0:
        if time.monotonic() > deadline:
            raise AssertionError("connections were never accepted")
        time.sleep(0.005)


def wait_readable(sock, timeout):
    """True when `sock` has bytes (or end of stream) within `timeout`."""
    r, _, _ = select.select([sock], [], [], timeout)
    return bool(r)
