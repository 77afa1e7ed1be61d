#!/usr/bin/env python3
"""Memory of `orin serve` over many requests: its resident set after the
first 1,000 requests and after REQUESTS (100,000) of a mix that goes through
every part of the request path: the start page, form posts, file uploads,
JSON bodies, refused bodies and missing pages, static files, and now and
then a POST whose body never comes, stopped by the POST timer. A server that
keeps something per request grows; one that does not stays within a few
per cent once its caches are warm.

    BUILD=build REQUESTS=100000 CLIENTS=4 python3 bench/http/rss.py
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

BUILD = os.path.abspath(os.environ.get("BUILD", "build"))
REQUESTS = int(os.environ.get("REQUESTS", "100000"))
CLIENTS = int(os.environ.get("CLIENTS", "4"))
ORIN = os.path.join(BUILD, "apps", "orin", "orin")
SITE = os.path.join(BUILD, "examples", "site")
FIRST = 1000
BOUNDARY = "----orinbench"


def build(method, path, headers=(), body=b""):
    head = f"{method} {path} HTTP/1.0\r\nHost: 127.0.0.1\r\n"
    for name, value in headers:
        head += f"{name}: {value}\r\n"
    if body:
        head += f"Content-Length: {len(body)}\r\n"
    return head.encode() + b"\r\n" + body


def upload_body(i):
    data = bytes((i + k) % 251 for k in range(3000 + i % 5000))
    return (f"--{BOUNDARY}\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nfile {i}\r\n"
            f"--{BOUNDARY}\r\nContent-Disposition: form-data; name=\"file\"; filename=\"f{i}.bin\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n").encode() + data + \
        f"\r\n--{BOUNDARY}--\r\n".encode()


# One request of the mix for each request number; every kind recurs often.
def request_for(i):
    kind = i % 8
    if kind == 0:
        return build("GET", "/index.ztc")
    if kind == 1:
        return build("POST", "/form.ztc", [("Content-Type", "application/x-www-form-urlencoded")],
                     f"name=visitor+{i}&note=a%26b+{'x' * (i % 300)}&n={i}".encode())
    if kind == 2:
        return build("POST", "/upload.ztc",
                     [("Content-Type", f"multipart/form-data; boundary={BOUNDARY}")], upload_body(i))
    if kind == 3:
        return build("POST", "/json.ztc", [("Content-Type", "application/json")],
                     ('{"n": %d, "list": [1, 2, "three"], "text": "%s"}' % (i, "y" * (i % 200))).encode())
    if kind == 4:
        return build("POST", "/json.ztc", [("Content-Type", "application/json")], b"{not json")
    if kind == 5:
        return build("GET", f"/missing/{i}.ztc")
    if kind == 6:
        return build("GET", "/style.css")
    return build("GET", f"/text.ztc?text=word+{i}+caf%C3%A9")


def send(port, data):
    with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
        s.sendall(data)
        while s.recv(65536):
            pass


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def run(port, start, stop):
    """Requests start..stop-1 over CLIENTS connections at a time."""
    counter = iter(range(start, stop))
    lock = threading.Lock()
    errors = []

    def client():
        while True:
            with lock:
                i = next(counter, None)
            if i is None:
                return
            try:
                send(port, request_for(i))
            except OSError as e:
                errors.append(str(e))

    threads = [threading.Thread(target=client) for _ in range(CLIENTS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return errors


def timeouts(port, stop_event, count):
    """A POST whose body never comes, every so often: the timer ends it."""
    while not stop_event.wait(0.5):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
                s.sendall(build("POST", "/form.ztc",
                                [("Content-Type", "application/x-www-form-urlencoded"),
                                 ("Content-Length", "100")]))
                s.sendall(b"a=1")
                while s.recv(65536):
                    pass
            count[0] += 1
        except OSError:
            pass


def main():
    if not os.access(ORIN, os.X_OK) or not os.path.isdir(SITE):
        sys.exit("bench rss: build first (make)")
    tmp = tempfile.mkdtemp(prefix="orin-rss-")
    data = os.path.join(tmp, "data")
    os.makedirs(data)
    config = os.path.join(tmp, "vm.toml")
    open(config, "w").close()
    proc = subprocess.Popen([ORIN, "serve", "--port", "0", "--bind", "127.0.0.1", "--root", SITE,
                             "--data", data, "--config", config, "--set", "posttimeout=1"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = None
        for line in proc.stdout:
            if line.startswith("orin: listening on http://127.0.0.1:"):
                port = int(line.rsplit(":", 1)[1].strip().rstrip("/"))
                break
        if port is None:
            sys.exit("bench rss: orin serve did not start")
        threading.Thread(target=lambda: [None for _ in proc.stdout], daemon=True).start()
        stop = threading.Event()
        timed_out = [0]
        slow = threading.Thread(target=timeouts, args=(port, stop, timed_out))
        slow.start()
        started = time.monotonic()
        errors = run(port, 0, FIRST)
        first = rss_kib(proc.pid)
        errors += run(port, FIRST, REQUESTS)
        last = rss_kib(proc.pid)
        elapsed = time.monotonic() - started
        stop.set()
        slow.join()
        growth = (last - first) * 100.0 / first
        print(f"orin serve: {REQUESTS} requests ({CLIENTS} clients; start page, forms, uploads, "
              f"JSON, refused JSON, 404, static, text) and {timed_out[0]} POST time-outs "
              f"in {elapsed:.0f} s")
        print(f"resident set after {FIRST} requests: {first} KiB")
        print(f"resident set after {REQUESTS} requests: {last} KiB ({growth:+.1f} %)")
        print(f"client errors: {len(errors)}")
        print(f"upload files left in the data directory: {len(os.listdir(data))}")
        if abs(growth) > 10:
            print("bench rss: the resident set grew by more than 10 %")
            sys.exit(1)
    finally:
        proc.terminate()
        proc.wait(60)
        subprocess.run(["rm", "-rf", tmp])


if __name__ == "__main__":
    main()
