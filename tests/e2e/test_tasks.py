"""Asynchronous tasks under a real server: many requests that start tasks
which outlive their responses, and a stop while tasks are still running."""
import os
import threading
import time
import unittest

from orin_e2e import IO_WAIT, ServerTest

REQUESTS = 100
CLIENTS = 5

# Each request starts two tasks and answers at once: an isolated one that
# works on copies of the variables, and one that shares them (the request
# touches no global after starting it). Both write a file named after the
# request after a short sleep, so they are still running when the response
# is complete.
START = """
.func orin_sleep(ms) external
.system query_string
        pushs query_string
        popg name
        pushc "global"
        asyncn isolated, 1
        pushi 20
        call orin_sleep
        pop
        pushg name
        pushc "-a.txt"
        cat
        pushc ","
        pushc "name"
        export
        retn
isolated:
        async shared
        pushi 20
        call orin_sleep
        pop
        pushg name
        pushc "-b.txt"
        cat
        pushc ","
        pushc "name"
        export
        retn
shared: pushc "started"
        out
"""

# A task that never ends by itself and one asleep for ten minutes.
FOREVER = """
.func orin_sleep(ms) external
        async spin
again:  jmp again
        retn
spin:   async sleep
        pushi 600000
        call orin_sleep
        pop
        pushc "woke.txt"
        pushc ","
        pushc "x"
        export
        retn
sleep:  pushc "answered"
        out
"""


def wait_for(predicate, timeout):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


class Tasks(ServerTest):
    def test_requests_that_start_tasks_all_get_their_work_done(self):
        self.site.script("/start.ztc", START)
        server = self.serve()
        answers = {}
        errors = []

        def client(first):
            try:
                for i in range(first, REQUESTS, CLIENTS):
                    answers[i] = server.get(f"/start.ztc?r{i}")
            except Exception as e:  # reported below, not lost in the thread
                errors.append(e)

        threads = [threading.Thread(target=client, args=(c,)) for c in range(CLIENTS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(IO_WAIT)
        self.assertEqual(errors, [])
        self.assertEqual(len(answers), REQUESTS)
        for i, r in answers.items():
            self.assertEqual((r.status, r.body), (200, b"started"), i)
        expected = {f"r{i}-{k}.txt" for i in range(REQUESTS) for k in "ab"}
        self.assertTrue(wait_for(lambda: expected <= set(self.site.data_files()), IO_WAIT),
                        sorted(expected - set(self.site.data_files()))[:5])
        for name in expected:
            with open(os.path.join(self.site.data, name), "rb") as f:
                self.assertEqual(f.read(), name.split("-")[0].encode() + b"\n", name)

    def test_stop_ends_running_tasks_in_order(self):
        self.site.script("/forever.ztc", FOREVER)
        server = self.serve()
        # The response comes while both tasks still run.
        self.assertEqual(server.get("/forever.ztc").body, b"answered")
        started = time.monotonic()
        server.stop()  # SIGTERM: must exit 0 by itself
        self.assertLess(time.monotonic() - started, 30)
        # The sleeping task was woken by the stop and ended without its work.
        self.assertNotIn("woke.txt", self.site.data_files())


if __name__ == "__main__":
    unittest.main()
