#!/usr/bin/env python3
"""Writes a compiled script file (.ztc) without any of the server's code.

A second, independent producer of the file format: the loader and ztdis are
tested against what this script writes. Everything here follows the format
description (container, dictionary, segments, functions, variable hashes,
localized texts) and uses the Python standard library only.

usage: independent_writer.py OUTPUT
"""

import struct
import sys

END = 0xFFFFFFFF


def lookup2(data, initval=0):
    """Bob Jenkins' 1996 hash() over bytes."""
    def mix(a, b, c):
        a = (a - b - c) & 0xFFFFFFFF; a ^= c >> 13
        b = (b - c - a) & 0xFFFFFFFF; b ^= (a << 8) & 0xFFFFFFFF
        c = (c - a - b) & 0xFFFFFFFF; c ^= b >> 13
        a = (a - b - c) & 0xFFFFFFFF; a ^= c >> 12
        b = (b - c - a) & 0xFFFFFFFF; b ^= (a << 16) & 0xFFFFFFFF
        c = (c - a - b) & 0xFFFFFFFF; c ^= b >> 5
        a = (a - b - c) & 0xFFFFFFFF; a ^= c >> 3
        b = (b - c - a) & 0xFFFFFFFF; b ^= (a << 10) & 0xFFFFFFFF
        c = (c - a - b) & 0xFFFFFFFF; c ^= b >> 15
        return a, b, c

    a = b = 0x9E3779B9
    c = initval
    k = data
    while len(k) >= 12:
        a = (a + int.from_bytes(k[0:4], "little")) & 0xFFFFFFFF
        b = (b + int.from_bytes(k[4:8], "little")) & 0xFFFFFFFF
        c = (c + int.from_bytes(k[8:12], "little")) & 0xFFFFFFFF
        a, b, c = mix(a, b, c)
        k = k[12:]
    c = (c + len(data)) & 0xFFFFFFFF
    tail = k + bytes(12 - len(k))
    # The first byte of c's tail word is taken by the length.
    a = (a + int.from_bytes(tail[0:4], "little")) & 0xFFFFFFFF
    b = (b + int.from_bytes(tail[4:8], "little")) & 0xFFFFFFFF
    c = (c + (int.from_bytes(tail[8:11], "little") << 8)) & 0xFFFFFFFF
    a, b, c = mix(a, b, c)
    return c


def lower(name):
    return bytes(ch + 32 if 65 <= ch <= 90 else ch for ch in name)


def chain_key(name):
    """Chain order: length, then lower-cased bytes taken as signed."""
    return (len(name), [ch - 256 if ch >= 128 else ch for ch in lower(name)])


def hashed_table(names, bits):
    """Bucket heads and next links for entries named `names` (in order)."""
    heads = {}
    nexts = [END] * len(names)
    for entry, name in enumerate(names):
        bucket = lookup2(lower(name)) & ((1 << bits) - 1)
        prev, cur = None, heads.get(bucket, END)
        while cur != END and chain_key(names[cur]) <= chain_key(name):
            prev, cur = cur, nexts[cur]
        nexts[entry] = cur
        if prev is None:
            heads[bucket] = entry
        else:
            nexts[prev] = entry
    return heads, nexts


def hashed_header(heads, bits, count, reserved=None):
    out = struct.pack("<hBI", len(heads), bits, count)
    if reserved is not None:
        out += struct.pack("<I", reserved)
    for bucket in sorted(heads):
        out += struct.pack("<hI", bucket, heads[bucket])
    return out


class Program:
    def __init__(self):
        self.strings = []

    def s(self, text):
        data = text.encode() if isinstance(text, str) else text
        if data not in self.strings:
            self.strings.append(data)
        return self.strings.index(data)

    def dictionary(self, flags=0):
        # Strings stored in reverse order, so offsets differ from indices.
        data = b""
        offsets = {}
        for i in reversed(range(len(self.strings))):
            offsets[i] = len(data)
            data += self.strings[i]
        out = struct.pack("<III", len(self.strings), len(data), flags)
        for i, text in enumerate(self.strings):
            out += struct.pack("<iI", offsets[i], len(text))
        return out + data

    def variables(self, names, bits):
        ids = [self.s(n) for n in names]
        heads, nexts = hashed_table([self.strings[i] for i in ids], bits)
        out = hashed_header(heads, bits, len(ids))
        for i, nid in enumerate(ids):
            out += struct.pack("<II", nid, nexts[i])
        return out


def op(code, a=None, b=None):
    out = struct.pack("<H", code)
    for kind, value in ((code & 0xC000, a), ((code & 0x3000) << 2, b)):
        if kind == 0x4000:
            out += struct.pack("<i", value)
        elif kind == 0x8000:
            out += struct.pack("<d", value)
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    p = Program()
    # Strings first so that indices are known.
    hello = p.s("Hello from Python")
    world = p.s("World")

    syst = p.variables(["query_string", "server_name"], 2)
    glbl = p.variables(["counter", "message"], 3)

    # Segment 1 holds the function bodies; Greet at 0, Swap after it.
    greet_body = (op(0x4001, p.s("Hi, ")) + op(0x4006, 0) + op(0x0018) + op(0x4050, 1)
                  + op(0x0015) + op(0x003C))
    swap_body = op(0x4006, 0) + op(0x4006, 1) + op(0x005B) + op(0x003C)
    seg1 = greet_body + swap_body
    # Segment 0: the main program.
    loop = op(0x4005, 0) + op(0x4002, 5) + op(0x0037)
    seg0 = (op(0x4001, hello) + op(0x0015)
            + op(0x5305, 0, 0)            # storegi counter, 0
            + loop + op(0x4026, 16)       # jmp_eq past the increment and the jump back
            + op(0x5303, 0, 1)            # incg counter, 1
            + op(0x4025, -(len(loop) + 6 + 10 + 6))
            + op(0x4001, world) + op(0x403D, 0) + op(0x000B)
            + op(0x8003, 2.5) + op(0x0015)
            + op(0x404E, p.s("greeting")))
    segments = [seg0, seg1]
    segs = struct.pack("<Ii", len(segments), 0)
    offset = 0
    for code in segments:
        segs += struct.pack("<II", offset, len(code))
        offset += len(code)
    segs += b"".join(segments)

    # Functions: Greet(who) private, Swap(&a, &b), ext_len(s) external.
    functions = [
        ("Greet", [("who", 0)], ["who", "tmp"], 32 | 4, 1, 0),
        ("Swap", [("a", 1), ("b", 1)], ["a", "b"], 0, 1, len(greet_body)),
        ("ext_len", [("s", 0)], ["s"], 1, END, END),
    ]
    fbits = 2
    fheads, fnexts = hashed_table([p.strings[p.s(f[0])] for f in functions], fbits)
    func = hashed_header(fheads, fbits, len(functions))
    func += b"".join(struct.pack("<I", n) for n in fnexts)
    for name, params, local_names, flags, segment, off in functions:
        func += struct.pack("<IIIII", p.s(name), len(params), flags, segment, off)
        for pname, pflags in params:
            func += struct.pack("<III", p.s(pname), pflags, local_names.index(pname))
        func += p.variables(local_names, 2)

    # Localized texts: en and de; "greeting" with a parameter, "bye" only in en.
    pieces = []

    def token_text(parts):
        first = len(pieces)
        for i, (kind, text) in enumerate(parts):
            nxt = first + i + 1 if i + 1 < len(parts) else END
            pieces.append((kind, p.s(text), nxt))
        return first

    en_greeting = token_text([(1, "Hello "), (0, "who"), (1, "!")])
    de_greeting = token_text([(1, "Hallo "), (0, "who"), (1, "!")])
    en_bye = token_text([(1, "Goodbye")])
    languages = {"en": [("greeting", en_greeting), ("bye", en_bye)],
                 "de": [("greeting", de_greeting)]}
    lang_names = list(languages)
    lheads, lnexts = hashed_table([p.strings[p.s(n)] for n in lang_names], 1)
    locl = hashed_header(lheads, 1, len(lang_names))
    for i, name in enumerate(lang_names):
        locl += struct.pack("<II", p.s(name), lnexts[i])
    index_sections = []
    for number, name in enumerate(lang_names):
        tokens = languages[name]
        theads, tnexts = hashed_table([p.strings[p.s(t)] for t, _ in tokens], 3)
        body = hashed_header(theads, 3, len(tokens), reserved=0)
        for i, (tname, first) in enumerate(tokens):
            body += struct.pack("<III", p.s(tname), tnexts[i], first)
        index_sections.append((b"LX" + struct.pack("<H", number), body))
    locd = struct.pack("<i", len(pieces))
    for kind, text, nxt in pieces:
        locd += struct.pack("<III", kind, text, nxt)

    sections = [(b"segs", segs), (b"func", func), (b"glbl", glbl), (b"syst", syst),
                (b"locl", locl), (b"locd", locd)] + index_sections
    sections.append((b"dict", p.dictionary(flags=0)))  # written last: all strings known
    data = b""
    directory = b""
    for sid, body in sections:
        directory += sid + struct.pack("<II", 32 + len(data), len(body))
        data += body
    header = b"Zeto" + struct.pack("<IQQii", 0x1000A, 0xC0FFEE, 7, 32 + len(data), len(sections))
    with open(sys.argv[1], "wb") as f:
        f.write(header + data + directory)


if __name__ == "__main__":
    main()
