#!/usr/bin/env python3
"""Checks script-number arithmetic against Python's decimal module.

Generates a few thousand cases with a fixed seed (add, sub, mul, div, pow,
ROUNDF, ROUNDS, parsing with exponents and overflow, formatting, comparison,
conversion to integer), runs the C++ driver given as the first argument on
them and compares every answer digit for digit with the same computation in
Python's decimal64 context.
"""
import random
import re
import subprocess
import sys
from decimal import (Context, Decimal, InvalidOperation, ROUND_HALF_EVEN, MAX_EMAX,
                     MIN_EMIN, MAX_PREC)

CTX = Context(prec=16, Emax=384, Emin=-383, clamp=1, rounding=ROUND_HALF_EVEN, traps=[])
# Rescaling is not limited to the context's precision.
WIDE = Context(prec=MAX_PREC, Emax=MAX_EMAX, Emin=MIN_EMIN, rounding=ROUND_HALF_EVEN, traps=[])
MAX_PLACES = 65535
HEX = re.compile(r'^0[xX][0-9a-fA-F]+$')
STRICT = Context(traps=[InvalidOperation])


def parse(s):
    """The decimal text parser: (value, error)."""
    if s.startswith('i:'):
        return Decimal(int(s[2:])), False
    if s == '':
        return Decimal(0), False
    ok = s == s.strip() and '_' not in s
    if ok:
        try:
            STRICT.create_decimal(s)
        except InvalidOperation:
            ok = False
    if ok:
        return CTX.create_decimal(s), False
    if HEX.match(s):
        return CTX.create_decimal(min(int(s, 16), 2**63 - 1)), False
    return Decimal(0), True


def text(d):
    if d.is_nan():
        return 'NaN'
    if d.is_infinite():
        return '-Infinity' if d.is_signed() else 'Infinity'
    return format(CTX.normalize(d), 'f')


def places(s):
    n = int(s[2:]) if s.startswith('i:') else 0
    return max(n, 0)


def expected(op, a, b):
    x, err = parse(a)
    y, _ = parse(b)
    if op == 'text':
        return text(x) + (' error' if err else '')
    if op == 'int':
        if x.is_nan():
            return '0'
        if x.is_infinite():
            return '-2147483647' if x.is_signed() else '2147483647'
        t = int(x)
        return str(t if -2**31 <= t < 2**31 else 2**31 - 1)
    if op == 'cmp':
        if x.is_nan() or y.is_nan():
            return 'NaN'
        return str(int(CTX.compare(x, y)))
    if op == 'add':
        return text(CTX.add(x, y))
    if op == 'sub':
        return text(CTX.subtract(x, y))
    if op == 'mul':
        return text(CTX.multiply(x, y))
    if op == 'div':
        return '0' if x.is_zero() else text(CTX.divide(x, y))
    if op == 'pow':
        return text(CTX.power(x, y))
    if op == 'roundf':
        n = places(b)
        if x.is_nan() or x.is_infinite() or -n <= x.as_tuple().exponent:
            return text(x)
        return text(x.quantize(Decimal((0, (1,), -n)), context=WIDE))
    if op == 'rounds':
        n = min(places(b), MAX_PLACES)
        if x.is_nan() or x.is_infinite():
            return text(x)
        return format(x, '.%df' % n)
    raise ValueError(op)


def random_digits(rng, n):
    return ''.join(rng.choice('0123456789') for _ in range(n)).lstrip('0') or '0'


def random_number(rng):
    r = rng.random()
    if r < 0.04:
        return rng.choice(['NaN', 'Infinity', '-Infinity', 'inf', '-0', '0', '0.000', 'sNaN'])
    if r < 0.25:
        return 'i:%d' % rng.choice([0, 1, -1, 2, 7, 10, 2**31 - 1, -2**31, 2**31 - 2,
                                    rng.randint(-2**31, 2**31 - 1), rng.randint(-1000, 1000)])
    sign = rng.choice(['', '', '-', '+'])
    digits = random_digits(rng, rng.randint(1, 20))
    if rng.random() < 0.5:
        point = rng.randint(0, len(digits))
        body = digits[:point] + '.' + digits[point:] if point < len(digits) else digits
    else:
        body = digits
    if rng.random() < 0.4:
        exponent = rng.randint(-30, 30) if rng.random() < 0.8 else rng.randint(-420, 420)
        body += rng.choice(['e', 'E']) + ('+' if exponent >= 0 and rng.random() < 0.5 else '') \
            + str(exponent)
    return sign + body


def small_places(rng):
    return 'i:%d' % rng.choice([-1, 0, 1, 2, 3, 5, 10, 16, 20, rng.randint(0, 40), 400])


def cases(rng):
    out = []
    for op in ['add', 'sub', 'mul', 'div', 'cmp']:
        for _ in range(700):
            out.append((op, random_number(rng), random_number(rng)))
    for _ in range(500):
        base = random_number(rng)
        exponent = rng.choice(['i:%d' % rng.randint(-12, 40), random_number(rng),
                               '0.5', '-0.5', '1.5', 'i:0'])
        out.append(('pow', base, exponent))
    for op in ['roundf', 'rounds']:
        for _ in range(600):
            out.append((op, random_number(rng), small_places(rng)))
    for _ in range(700):
        a = random_number(rng)
        if a.startswith('i:'):
            a = a[2:]
        if rng.random() < 0.1:
            a = rng.choice(['0x1F', '0X7FFFFFFFFFFFFFFF', '0xFFFFFFFFFFFFFFFFFFFF', '0x', '0xg',
                            ' 1', '1 ', '1e', 'e5', '--1', '1.2.3', 'abc', '', '1e999999',
                            '-1e-999999'])
        out.append(('text', a, ''))
        out.append(('int', a, ''))
    return out


def main():
    driver = sys.argv[1]
    rng = random.Random(20240611)
    all_cases = cases(rng)
    feed = ''.join('%s\t%s\t%s\n' % c for c in all_cases)
    result = subprocess.run([driver], input=feed, capture_output=True, text=True, check=True)
    got = result.stdout.split('\n')
    failures = 0
    for i, (op, a, b) in enumerate(all_cases):
        want = expected(op, a, b)
        if got[i] != want:
            failures += 1
            if failures <= 25:
                print('MISMATCH %s %r %r: got %r, want %r' % (op, a, b, got[i], want))
    print('%d cases, %d mismatches' % (len(all_cases), failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
