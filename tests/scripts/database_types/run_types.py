#!/usr/bin/env python3
"""Runs the script tests of this folder (*.zts) against one database type.

Each .zts file is a script test (tests/scripts/README.md) whose program
opens its database with the type and database named by the query variables
dbtype and dbfile; every type must give the expected output. A file may
name the types it is for in a line "--- types a b" (default: all).

  run_types.py --ztasm Z --orin O --type xbase3|sqlite|postgresql [FILE...]

For postgresql a server is started for the run (tests/e2e/postgres_server.py)
and every file gets a new database.
"""
import argparse
import glob
import os
import subprocess
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "e2e"))


def types_of(text):
    for line in text.splitlines():
        if line.startswith("--- types "):
            return line.split()[2:]
    return ["xbase3", "sqlite", "postgresql"]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--ztasm", required=True)
    parser.add_argument("--orin", required=True)
    parser.add_argument("--type", required=True)
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    files = args.files or sorted(glob.glob(os.path.join(HERE, "*.zts")))
    server = None
    if args.type == "postgresql":
        import postgres_server
        server = postgres_server.PostgresServer().start()
    failed = 0
    try:
        for n, path in enumerate(files):
            with open(path, encoding="utf-8", newline="") as f:
                text = f.read()
            if args.type not in types_of(text):
                continue
            if args.type == "postgresql":
                target = server.create_database(f"t{n}")
            elif args.type == "sqlite":
                target = "t.db"
            else:
                target = "t.dbf"
            query = urllib.parse.urlencode({"dbtype": args.type, "dbfile": target})
            body = "".join(l for l in text.splitlines(keepends=True) if not l.startswith("--- types "))
            with tempfile.NamedTemporaryFile("w", suffix=".zt", delete=False, encoding="utf-8",
                                             newline="") as t:
                t.write(body.replace("--- source\n", f"--- query\n{query}\n--- source\n", 1))
            try:
                proc = subprocess.run([sys.executable, os.path.join(HERE, "..", "run_script_test.py"),
                                       "--ztasm", args.ztasm, "--orin", args.orin, t.name],
                                      capture_output=True, text=True)
            finally:
                os.unlink(t.name)
            name = os.path.basename(path)
            if proc.returncode != 0:
                failed += 1
                print(f"FAIL {name} ({args.type})\n{proc.stdout}{proc.stderr}")
            else:
                print(f"ok   {name} ({args.type})")
    finally:
        if server is not None:
            server.stop()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
