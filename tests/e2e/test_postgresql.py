"""Two `orin serve` instances write to one PostgreSQL database at once
(the "postgresql" database library against a server started here), and
transactions a script rolls back, or that its time-out interrupts, leave
nothing behind.

Each server has five clients making ORIN_PG_REQUESTS requests each
(default 2,000): 20,000 writes in all. The sanitizer build runs 500 per
client (tests/e2e/CMakeLists.txt).
"""
import os
import threading
import time
import unittest

from orin_e2e import Server, Site, ORIN, ZTASM
import postgres_server

REQUESTS = int(os.environ.get("ORIN_PG_REQUESTS", "2000"))
CLIENTS = 5

OPEN = """
        pushc "db"
        pushc ""
        pushc ""
        pushc "postgresql"
        pushc ""
        pushc ""
        dbopen
"""

# One write per request, in a transaction of its own.
WRITE = OPEN + """
        pushc "db"
        dbtransact
        pushc "db"
        pushc "INSERT INTO writes (id, server) VALUES (:id, :server)"
        pushc ""
        dbcommand
        pushc "db"
        dbcommit
        pushc "ok"
        out
"""

# Writes, then changes its mind.
ROLLBACK = OPEN + """
        pushc "db"
        dbtransact
        pushc "db"
        pushc "INSERT INTO writes (id, server) VALUES (:id, 'rollback')"
        pushc ""
        dbcommand
        pushc "db"
        dbrollback
        pushc "rolled back"
        out
"""

# Writes, then runs until the server's time-out stops it.
STUCK = OPEN + """
        pushc "db"
        dbtransact
        pushc "db"
        pushc "INSERT INTO writes (id, server) VALUES (:id, 'stuck')"
        pushc ""
        dbcommand
        pushc "written"
        out
spin:   jmp spin
"""


class PostgresTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for path in (ORIN, ZTASM):
            if not os.access(path, os.X_OK):
                raise AssertionError(f"{path} is missing: build first")
        cls.pg = postgres_server.PostgresServer().start()
        try:
            cls.pg.create_database("site")
            cls.pg.psql("site", "CREATE TABLE writes (recno bigserial PRIMARY KEY, id text, "
                                "server text)")
            cls.saved_env = {k: os.environ.get(k) for k in ("PGHOST", "PGPORT", "PGUSER",
                                                             "PGDATABASE")}
            # The scripts open the database with an empty connection string:
            # the servers' environment names it.
            os.environ.update(PGHOST="127.0.0.1", PGPORT=str(cls.pg.port),
                              PGUSER=cls.pg.USER, PGDATABASE="site")
            cls.site = Site()
            cls.site.script("write.ztc", WRITE)
            cls.site.script("rollback.ztc", ROLLBACK)
            cls.site.script("stuck.ztc", STUCK)
            cls.servers = [Server(cls.site, ["globaltimeout=2"]).start() for _ in range(2)]
        except BaseException:
            cls.pg.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            for server in getattr(cls, "servers", []):
                server.stop()
                server.close()
        finally:
            for k, v in cls.saved_env.items():
                if v is None:
                    os.environ.pop(k, None)
                else:
                    os.environ[k] = v
            cls.site.cleanup()
            cls.pg.stop()

    def count(self, where):
        return int(self.pg.psql("site", f"SELECT count(*) FROM writes WHERE {where}").strip())

    def test_two_servers_write_every_row_once(self):
        failures = []

        def client(server, name):
            for i in range(REQUESTS):
                response = server.get(f"/write.ztc?id={name}-{i}&server={server.port}")
                if response.status != 200 or response.text != "ok":
                    failures.append(f"{name}-{i}: {response.status} {response.text[:200]}")

        threads = [threading.Thread(target=client, args=(server, f"s{s}c{c}"))
                   for s, server in enumerate(self.servers) for c in range(CLIENTS)]
        started = time.monotonic()
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        elapsed = time.monotonic() - started
        self.assertEqual(failures[:5], [])
        per_client = REQUESTS
        expected = {f"s{s}c{c}-{i}" for s in range(2) for c in range(CLIENTS)
                    for i in range(per_client)}
        ports = ", ".join(f"'{server.port}'" for server in self.servers)
        rows = self.pg.psql("site", f"SELECT id FROM writes WHERE server IN ({ports})").split()
        self.assertEqual(len(rows), len(expected))  # no write twice
        self.assertEqual(set(rows), expected)       # every write there
        for server in self.servers:
            self.assertEqual(self.count(f"server = '{server.port}'"), REQUESTS * CLIENTS)
        # Each request thread keeps its connection between runs: far fewer
        # connections than requests.
        connections = int(self.pg.psql("postgres", "SELECT count(*) FROM pg_stat_activity "
                                                   "WHERE datname = 'site'").strip())
        self.assertLessEqual(connections, 2 * 8)
        print(f"\n{2 * CLIENTS * REQUESTS} writes by {2 * CLIENTS} clients of two servers in "
              f"{elapsed:.1f} s ({2 * CLIENTS * REQUESTS / elapsed:.0f}/s); {connections} connections")

    def test_rolled_back_transaction_leaves_nothing(self):
        server = self.servers[0]
        for i in range(10):
            response = server.get(f"/rollback.ztc?id=rb-{i}")
            self.assertEqual(response.text, "rolled back")
        self.assertEqual(self.count("id LIKE 'rb-%'"), 0)

    def test_timed_out_transaction_leaves_nothing(self):
        server = self.servers[1]
        response = server.get("/stuck.ztc?id=stuck-1")
        self.assertIn("written", response.text)
        self.assertIn("Application timed out", response.text)
        self.assertEqual(self.count("id LIKE 'stuck-%'"), 0)
        # The thread's connection went back clean: no session is left
        # inside a transaction, and the next runs write as usual.
        idle = self.pg.psql("postgres", "SELECT count(*) FROM pg_stat_activity WHERE "
                                        "state LIKE 'idle in transaction%'").strip()
        self.assertEqual(idle, "0")
        for i in range(10):
            self.assertEqual(server.get(f"/write.ztc?id=after-{i}&server=after").text, "ok")
        self.assertEqual(self.count("server = 'after'"), 10)


if __name__ == "__main__":
    unittest.main()
