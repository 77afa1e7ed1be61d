"""A throw-away PostgreSQL server for tests: a new cluster (initdb) in a
temporary directory, run as an unprivileged user on a free loopback port,
stopped by its process id.

PostgreSQL refuses to run as root; when the tests run as root the cluster
belongs to the user "nobody". A machine without Debian's postgresql package
gets an error, never a skip: the database tests must not pass unseen.
"""
import glob
import os
import pwd
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from orin_e2e import free_port


class PostgresNotInstalled(RuntimeError):
    pass


def _bin_dir():
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"),
                   key=lambda p: int(p.split("/")[4]) if p.split("/")[4].isdigit() else 0)
    if not found:
        raise PostgresNotInstalled(
            "PostgreSQL is not installed (Debian package 'postgresql'; scripts/setup.sh installs it)")
    return os.path.dirname(found[-1])


class PostgresServer:
    USER = "orin"

    def __init__(self):
        self.bin = _bin_dir()
        self.directory = tempfile.mkdtemp(prefix="orin-pg-")
        self.port = free_port()
        self.process = None
        self._prefix = []
        if os.geteuid() == 0:
            nobody = pwd.getpwnam("nobody")
            os.chown(self.directory, nobody.pw_uid, nobody.pw_gid)
            self._prefix = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}",
                            "--clear-groups", "--"]

    def _run(self, *command):
        subprocess.run(self._prefix + list(command), check=True, capture_output=True,
                       cwd=self.directory)

    def start(self):
        data = os.path.join(self.directory, "data")
        self._run(os.path.join(self.bin, "initdb"), "-D", data, "-A", "trust", "-U", self.USER,
                  "-E", "UTF8", "--locale=C", "--no-sync")
        log = open(os.path.join(self.directory, "server.log"), "wb")
        self.process = subprocess.Popen(
            self._prefix + [os.path.join(self.bin, "postgres"), "-D", data, "-p", str(self.port),
                            "-k", self.directory, "-c", "listen_addresses=127.0.0.1",
                            "-c", "fsync=off", "-c", "synchronous_commit=off",
                            "-c", "full_page_writes=off", "-c", "max_connections=60"],
            stdout=log, stderr=subprocess.STDOUT, cwd=self.directory)
        log.close()
        deadline = time.time() + 30
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("postgres stopped at start:\n" + self.log())
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    pass
                if self.psql("postgres", "SELECT 1").strip() == "1":
                    return self
            except (OSError, subprocess.CalledProcessError):
                pass
            time.sleep(0.1)
        raise RuntimeError("postgres did not start:\n" + self.log())

    def log(self):
        try:
            with open(os.path.join(self.directory, "server.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def psql(self, database, sql):
        """Runs `sql` through psql and returns its unaligned output."""
        proc = subprocess.run(
            [os.path.join(self.bin, "psql"), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
             "-h", "127.0.0.1", "-p", str(self.port), "-U", self.USER, "-d", database,
             "-c", sql], capture_output=True, text=True, check=True)
        return proc.stdout

    def create_database(self, name):
        self.psql("postgres", f'CREATE DATABASE "{name}"')
        return self.conninfo(name)

    def conninfo(self, database):
        return f"host=127.0.0.1 port={self.port} user={self.USER} dbname={database}"

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGINT)  # fast shut-down
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                os.kill(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.process = None
        shutil.rmtree(self.directory, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
