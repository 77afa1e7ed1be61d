"""Many writers append to one xBase table at once: four `orin run`
processes and five clients of one `orin serve`, 1,000 records each, while
readers scan it. Afterwards the file, read here byte by byte, holds exactly
every record once, whole, with its memo; no reader ever saw a torn record.
"""
import os
import struct
import subprocess
import threading
import unittest

from orin_e2e import IO_WAIT, ORIN, Response, ServerTest, read_all

RECORDS = 1000
RUN_WRITERS = ["run0", "run1", "run2", "run3"]
SERVE_WRITERS = ["srv0", "srv1", "srv2", "srv3", "srv4"]
# Makes every memo longer than one 512-byte block.
PAD = "." * 600

CREATE = """
        pushc "log"
        pushc "log.dbf"
        pushc ""
        pushc "writer char(10), seq number(6), check char(20), note memo"
        dbcreate
        pushg ZtCREATE_Error
        out
        pushc "created"
        out
"""

# Appends RECORDS records for the writer named by the query's w=...
WRITER = """
        pushc "log"
        pushc "log.dbf"
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        dbopen
        pushg ZtOPEN_Error
        out
        storegi i, 1
next:   pushnc "w"
        popdc log, writer
        pushg i
        popdc log, seq
        pushnc "w"
        pushc "-"
        cat
        pushg i
        cat
        popdc log, check
        pushc "memo:"
        pushdc log, check
        cat
        pushc "%(pad)s"
        cat
        popdc log, note
        pushc "log"
        pushc ""
        dbadd
        pushg ZtADD_Error
        out
        incg i, 1
        cmpgi i, %(records)d
        jmp_le next
        pushc "done"
        out
""" % {"pad": PAD, "records": RECORDS}

# Scans the whole table: "<records seen> <records not whole>".
READER = """
        pushc "r"
        pushc "log.dbf"
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        dbopen
        pushg ZtOPEN_Error
        out
        storegi seen, 0
        storegi bad, 0
        pushc "r"
        pushc ""
        pushc "top"
        dbgo
loop:   pushdc r, eof
        jmp_ne end
        incg seen, 1
        pushdc r, writer
        pushc "-"
        cat
        pushdc r, seq
        cat
        pushdc r, check
        eq
        jmp_ne same
        incg bad, 1
same:   pushc "memo:"
        pushdc r, check
        cat
        pushc "%(pad)s"
        cat
        pushdc r, note
        eq
        jmp_ne whole
        incg bad, 1
whole:  pushc "r"
        pushc ""
        pushi 1
        dbskip
        pushg ZtSKIP_Error
        out
        jmp loop
end:    pushg seen
        out
        pushc " "
        out
        pushg bad
        out
""" % {"pad": PAD}


def read_table(path):
    """Records of an xBase table as lists of field texts, with the memo
    texts read from its .dbt file, parsed from the bytes here."""
    with open(path, "rb") as f:
        data = f.read()
    count, header_length, record_length = struct.unpack_from("<IHH", data, 4)
    fields = []
    for offset in range(32, header_length - 1, 32):
        name = data[offset:offset + 11].split(b"\0")[0].decode()
        fields.append((name, chr(data[offset + 11]), data[offset + 16]))
    end = header_length + count * record_length
    with open(os.path.splitext(path)[0] + ".dbt", "rb") as f:
        memo = f.read()
    records = []
    for n in range(count):
        raw = data[header_length + n * record_length:header_length + (n + 1) * record_length]
        values, at = [], 1
        for name, kind, length in fields:
            text = raw[at:at + length].decode("latin-1")
            at += length
            if kind == "M":
                block = int(text.strip() or "0")
                start = block * 512
                stop = memo.find(b"\x1a\x1a", start)
                text = memo[start:stop].decode("latin-1") if block and stop >= 0 else None
            values.append(text.strip() if text is not None else None)
        records.append((raw[0:1], values))
    return count, len(data), end, records


class TableConcurrency(ServerTest):
    def run_script(self, path, query=""):
        args = [ORIN, "run", "--root", self.site.root, "--data", self.site.data,
                "--config", self.site.config, os.path.join(self.site.root, path)]
        if query:
            args.append(query)
        return subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def body(self, proc):
        out, err = proc.communicate(timeout=IO_WAIT * 2)
        self.assertEqual(proc.returncode, 0, err.decode("utf-8", "replace"))
        # `orin run` writes the response body only.
        return out.decode("utf-8", "replace")

    def test_writers_and_readers_share_one_table(self):
        for name, source in (("create.ztc", CREATE), ("writer.ztc", WRITER),
                             ("reader.ztc", READER)):
            self.site.script(name, source)
        self.assertEqual(self.body(self.run_script("create.ztc")), "created")
        server = self.serve()

        scans = []
        writing = threading.Event()
        writing.set()

        def keep_reading():
            while writing.is_set():
                scans.append(self.body(self.run_script("reader.ztc")))

        answers = {}

        def client(writer):
            sock = server.connect()
            sock.sendall(f"GET /writer.ztc?w={writer} HTTP/1.0\r\n\r\n".encode())
            with sock:
                answers[writer] = Response(read_all(sock)).text

        readers = [threading.Thread(target=keep_reading) for _ in range(2)]
        clients = [threading.Thread(target=client, args=(w,)) for w in SERVE_WRITERS]
        runs = [self.run_script("writer.ztc", "w=" + w) for w in RUN_WRITERS]
        for t in readers + clients:
            t.start()
        try:
            run_bodies = [self.body(p) for p in runs]
            for t in clients:
                t.join(IO_WAIT * 2)
        finally:
            writing.clear()
            for t in readers:
                t.join(IO_WAIT * 2)

        self.assertEqual(run_bodies, ["done"] * len(RUN_WRITERS))
        self.assertEqual(answers, {w: "done" for w in SERVE_WRITERS})

        # Every scan saw whole records only, and never fewer than before.
        self.assertTrue(scans)
        seen_counts = []
        for scan in scans:
            seen, bad = scan.split(" ")
            self.assertEqual(bad, "0", f"a reader saw torn records: {scan}")
            seen_counts.append(int(seen))

        total = RECORDS * (len(RUN_WRITERS) + len(SERVE_WRITERS))
        count, size, end, records = read_table(os.path.join(self.site.data, "log.dbf"))
        self.assertEqual(count, total)
        self.assertEqual(size, end + 1)  # the end-of-file byte after the last record
        keys = set()
        for flag, (writer, seq, check, note) in records:
            self.assertEqual(flag, b" ")
            self.assertEqual(check, f"{writer}-{seq}")
            self.assertEqual(note, f"memo:{check}{PAD}")
            keys.add((writer, int(seq)))
        expected = {(w, i) for w in RUN_WRITERS + SERVE_WRITERS for i in range(1, RECORDS + 1)}
        self.assertEqual(keys, expected)

        # The table reads back whole through orin as well.
        self.assertEqual(self.body(self.run_script("reader.ztc")), f"{total} 0")


if __name__ == "__main__":
    unittest.main()
