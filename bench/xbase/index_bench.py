"""The index benchmark in Python's sqlite3: a table of N rows with an index
on a text column, 10,000 selects by key (fetching the row) and 10,000
inserts (in one transaction). Prints "build <s> find <s> insert <s>".

Usage: index_bench.py DIRECTORY [N]
"""
import os
import random
import sqlite3
import sys
import time


def key(i):
    return 'name %d' % ((i * 7919) % 1000003)


def main():
    directory = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    ops = 10000
    db = sqlite3.connect(os.path.join(directory, 'bench.sqlite'))
    db.execute('create table bench (id integer, name text)')
    db.execute('create index bench_name on bench (name)')
    start = time.perf_counter()
    with db:
        for i in range(n):
            db.execute('insert into bench values (?, ?)', (i, key(i)))
    build = time.perf_counter() - start
    rng = random.Random(1)
    start = time.perf_counter()
    found = 0
    for _ in range(ops):
        k = key(rng.randrange(n))
        row = db.execute('select id, name from bench where name = ?', (k,)).fetchone()
        found += row is not None and row[1] == k
    find = time.perf_counter() - start
    assert found == ops
    start = time.perf_counter()
    with db:
        for i in range(n, n + ops):
            db.execute('insert into bench values (?, ?)', (i, key(i)))
    insert = time.perf_counter() - start
    print('build %.3f find %.3f insert %.3f' % (build, find, insert))


main()
