"""The xBase benchmark in Python: append N records of five fields and scan
them back, with sqlite3 (a file database, one transaction) or python3-dbf
(a dBase III table). Prints the processor seconds of each phase:
"append <s> scan <s>".

Usage: bench.py sqlite|dbf DIRECTORY [N]
"""
import datetime
import os
import sys
import time


def rows(n):
    for i in range(n):
        yield (i, 'name %d' % i, float('%d.%02d' % (i % 10000, i % 100)),
               datetime.date(2026, 1 + i % 12, 1 + i % 28), bool(i % 2))


def with_sqlite(directory, n):
    import sqlite3
    db = sqlite3.connect(os.path.join(directory, 'bench.sqlite'))
    db.execute('create table bench (id integer, name text, price real, day date, ok integer)')
    start = time.process_time()
    with db:
        for row in rows(n):
            db.execute('insert into bench values (?, ?, ?, ?, ?)', row)
    append = time.process_time() - start
    start = time.process_time()
    trues = 0
    for row in db.execute('select id, name, price, day, ok from bench order by rowid'):
        trues += row[4]
    scan = time.process_time() - start
    assert trues == n // 2
    return append, scan


def with_dbf(directory, n):
    import dbf
    table = dbf.Table(os.path.join(directory, 'bench.dbf'),
                      'id N(8,0); name C(20); price N(10,2); day D; ok L', dbf_type='db3')
    table.open(dbf.READ_WRITE)
    start = time.process_time()
    for row in rows(n):
        table.append(row)
    append = time.process_time() - start
    start = time.process_time()
    trues = 0
    for record in table:
        values = [record[f] for f in ('id', 'name', 'price', 'day', 'ok')]
        trues += values[4] is True
    scan = time.process_time() - start
    table.close()
    assert trues == n // 2
    return append, scan


if __name__ == '__main__':
    kind, directory = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 100000
    append, scan = {'sqlite': with_sqlite, 'dbf': with_dbf}[kind](directory, count)
    print('append %.3f scan %.3f' % (append, scan))
