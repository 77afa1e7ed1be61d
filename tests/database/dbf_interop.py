"""Writes and dumps xBase tables with python3-dbf, the reader other programs
use, so that the table tests can check files in both directions.

  dbf_interop.py write DIR   writes people.dbf (+ .dbt) and empty.dbf in DIR
  dbf_interop.py dump FILE   prints one JSON line per record:
                             [deleted, value, value, ...]
"""
import datetime
import json
import sys

import dbf


def write(directory):
    people = dbf.Table(directory + '/people.dbf',
                       'name C(12); price N(9,3); born D; ok L; note M; qty N(5,0)',
                       dbf_type='db3')
    people.open(dbf.READ_WRITE)
    people.append(('Ann', 12.5, datetime.date(2001, 2, 3), True, 'short memo', 7))
    people.append(('Bob', -3.25, None, False, '', -12))
    people.append(('Cy', 0, datetime.date(1999, 12, 31), None, 'line\r\n' * 150, 0))
    people.append(('Dee', 12345.678, datetime.date(2026, 1, 1), True, 'x' * 510, 99999))
    dbf.delete(people[1])
    dbf.delete(people[3])
    people.close()
    empty = dbf.Table(directory + '/empty.dbf', 'a C(5); b N(4,1)', dbf_type='db3')
    empty.open(dbf.READ_WRITE)
    empty.close()


def value(v):
    if isinstance(v, (datetime.date, dbf.Date)):
        return v.strftime('%Y%m%d') if v else None
    if isinstance(v, str):
        return v.rstrip(' ')
    if isinstance(v, float) and v == int(v):
        return int(v)
    return v


def dump(path):
    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    for record in table:
        row = [dbf.is_deleted(record)] + [value(record[f]) for f in table.field_names]
        print(json.dumps(row))
    table.close()


if __name__ == '__main__':
    {'write': write, 'dump': dump}[sys.argv[1]](sys.argv[2])
