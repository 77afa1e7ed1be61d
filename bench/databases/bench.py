#!/usr/bin/env python3
"""SQLite from a script: N inserts in one transaction, then N finds by key,
through orin's "sqlite" database library (two compiled scripts run with
`orin run`, as a site would run them), PHP's PDO SQLite and Python's sqlite3,
each on a new database file in the same directory, one after the other.

Prints the wall-clock seconds of each phase, the best of REPEAT rounds (the
machine may be busy with other work). Orin's figures include starting the
program (shown on the line "orin-start": an empty script), PHP's and
Python's their interpreters' start too.

Usage: bench/databases/bench.py [BUILD] [N] [REPEAT]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
N = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
REPEAT = int(sys.argv[3]) if len(sys.argv) > 3 else 5
ORIN = os.path.join(BUILD, "apps", "orin", "orin")
ZTASM = os.path.join(BUILD, "tools", "ztasm")

INSERT = f"""
        pushc "t"
        pushc "bench.db"
        pushc "sqlite"
        pushc "v char(20)"
        dbcreate
        pushg ZtCREATE_Error
        out
        pushc "t"
        dbtransact
        storegi i, 1
next:   pushc "value "
        pushg i
        cat
        popg value
        pushc "t"
        pushc "INSERT INTO t (v) VALUES (:value)"
        pushc ""
        dbcommand
        incg i, 1
        cmpgi i, {N}
        jmp_le next
        pushc "t"
        dbcommit
        pushg ZtCOMMIT_Error
        out
"""

FIND = f"""
        pushc "t"
        pushc "bench.db"
        pushc ""
        pushc "sqlite"
        pushc ""
        pushc ""
        dbopen
        pushg ZtOPEN_Error
        out
        storegi i, 1
next:   pushc "t"
        pushc ""
        pushg i
        pushi 1
        dbfind
        pushdc t, v
        pop
        incg i, 1
        cmpgi i, {N}
        jmp_le next
        pushdc t, v
        out
"""

PHP = r"""<?php
[$dir, $n, $phase] = [$argv[1], (int)$argv[2], $argv[3]];
$db = new PDO("sqlite:$dir/bench.db");
$db->setAttribute(PDO::ATTR_ERRMODE, PDO::ERRMODE_EXCEPTION);
if ($phase == "insert") {
    $db->exec("CREATE TABLE t (k INTEGER PRIMARY KEY, v VARCHAR(20))");
    $db->beginTransaction();
    $s = $db->prepare("INSERT INTO t (v) VALUES (?)");
    for ($i = 1; $i <= $n; $i++) $s->execute(["value $i"]);
    $db->commit();
} else {
    $s = $db->prepare("SELECT k, v FROM t WHERE k = ?");
    for ($i = 1; $i <= $n; $i++) { $s->execute([$i]); $row = $s->fetch(); $s->closeCursor(); }
    echo $row[1];
}
"""

PYTHON = r"""
import sqlite3, sys
directory, n, phase = sys.argv[1], int(sys.argv[2]), sys.argv[3]
db = sqlite3.connect(directory + "/bench.db", isolation_level=None)
if phase == "insert":
    db.execute("CREATE TABLE t (k INTEGER PRIMARY KEY, v VARCHAR(20))")
    db.execute("BEGIN")
    for i in range(1, n + 1):
        db.execute("INSERT INTO t (v) VALUES (?)", ("value %d" % i,))
    db.execute("COMMIT")
else:
    for i in range(1, n + 1):
        row = db.execute("SELECT k, v FROM t WHERE k = ?", (i,)).fetchone()
    print(row[1], end="")
"""


def timed(command, cwd):
    started = time.perf_counter()
    proc = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    elapsed = time.perf_counter() - started
    if proc.returncode != 0:
        raise SystemExit(f"{command[0]} failed: {proc.stdout}{proc.stderr}")
    return elapsed, proc.stdout


def assemble(work, name, source):
    src = os.path.join(work, name + ".zasm")
    with open(src, "w") as f:
        f.write(source)
    out = os.path.join(work, "html", name + ".ztc")
    subprocess.run([ZTASM, "-o", out, src], check=True)
    return out


def main():
    if shutil.which("php") is None:
        raise SystemExit("php is missing (scripts/setup.sh installs php-cli and php-sqlite3)")
    best = {}
    for _ in range(REPEAT):
        for name, times in one_round().items():
            old = best.get(name, times)
            best[name] = (min(old[0], times[0]), min(old[1], times[1]))
    print(f"{'N=' + str(N):<16} {'insert s':>10} {'find s':>10}   (best of {REPEAT})")
    for name, (insert, find) in best.items():
        print(f"{name:<16} {insert:>10.3f} {find:>10.3f}")
    o = best["orin-sqlite"]
    for other in ("php-pdo-sqlite", "python-sqlite3"):
        p = best[other]
        print(f"orin/{other:<15} insert {o[0] / p[0]:.2f}  find {o[1] / p[1]:.2f}")


def one_round():
    """Each contender once, on new database files."""
    work = tempfile.mkdtemp(prefix="orin-dbbench-")
    try:
        os.makedirs(os.path.join(work, "html"))
        config = os.path.join(work, "vm.toml")
        open(config, "w").close()
        results = {}
        # orin
        data = os.path.join(work, "orin")
        os.makedirs(data)
        scripts = {name: assemble(work, name, src)
                   for name, src in (("insert", INSERT), ("find", FIND), ("empty", "noop\n"))}
        base = [ORIN, "run", "--root", os.path.join(work, "html"), "--data", data, "--config",
                config]
        results["orin-start"] = (timed(base + [scripts["empty"]], data)[0], 0.0)
        insert, out = timed(base + [scripts["insert"]], data)
        if out:
            raise SystemExit("orin insert: " + out)
        find, out = timed(base + [scripts["find"]], data)
        if out != f"value {N}":
            raise SystemExit("orin find: " + out)
        results["orin-sqlite"] = (insert, find)
        # PHP
        data = os.path.join(work, "php")
        os.makedirs(data)
        php = os.path.join(work, "bench.php")
        with open(php, "w") as f:
            f.write(PHP)
        insert, _ = timed(["php", php, data, str(N), "insert"], data)
        find, out = timed(["php", php, data, str(N), "find"], data)
        if out != f"value {N}":
            raise SystemExit("php find: " + out)
        results["php-pdo-sqlite"] = (insert, find)
        # Python
        data = os.path.join(work, "python")
        os.makedirs(data)
        py = os.path.join(work, "bench_sqlite.py")
        with open(py, "w") as f:
            f.write(PYTHON)
        insert, _ = timed(["/usr/bin/python3", py, data, str(N), "insert"], data)
        find, out = timed(["/usr/bin/python3", py, data, str(N), "find"], data)
        if out != f"value {N}":
            raise SystemExit("python find: " + out)
        results["python-sqlite3"] = (insert, find)
        return results
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
