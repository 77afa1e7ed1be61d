"""The xBase benchmark as a site would run it: two compiled scripts run by
`orin run`, one appending N records of five fields through the field
variables, one scanning them back with go/skip. Prints the processor
seconds (user + system) of each run: "append <s> scan <s>".

Usage: script.py BUILD DIRECTORY N
"""
import os
import resource
import subprocess
import sys

APPEND = """
        pushc "b"
        pushc "bench.dbf"
        pushc ""
        pushc "id number(10), name char(20), price number(10.2), day date, ok bool"
        dbcreate
        storegi i, 0
again:  cmpgi i, %(n)d
        jmp_ge done
        pushg i
        popdc b, id
        pushc "name "
        pushg i
        cat
        popdc b, name
        pushg i
        pushi 10000
        mod
        pushc ".5"
        cat
        popdc b, price
        pushc "20260115"
        popdc b, day
        pushg i
        pushi 2
        mod
        popdc b, ok
        pushc "b"
        pushc ""
        dbadd
        incg i, 1
        jmp again
done:   pushdc b, totrec
        out
"""

SCAN = """
        pushc "b"
        pushc "bench.dbf"
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        dbopen
        storegi trues, 0
        storegi seen, 0
        pushc "b"
        pushc ""
        pushc "top"
        dbgo
again:  pushdc b, eof
        jmp_ne done
        pushdc b, ok
        pushg trues
        add
        popg trues
        pushdc b, name
        popg last
        incg seen, 1
        pushc "b"
        pushc ""
        pushi 1
        dbskip
        jmp again
done:   pushg seen
        out
        pushc " "
        out
        pushg trues
        out
"""


def run(build, directory, name, source, n):
    src = os.path.join(directory, name + ".zasm")
    program = os.path.join(directory, name + ".ztc")
    with open(src, "w") as f:
        f.write(source % {"n": n})
    subprocess.run([os.path.join(build, "tools", "ztasm"), "-o", program, src], check=True)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = subprocess.run([os.path.join(build, "apps", "orin", "orin"), "run", "--data", directory,
                          "--config", os.devnull, "--set", "globaltimeout=3600", program],
                         check=True, capture_output=True, text=True).stdout
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    seconds = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return seconds, out


def main():
    build, directory, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
    append, out = run(build, directory, "append", APPEND, n)
    if out.strip() != str(n):
        sys.exit(f"append wrote {out!r}, expected {n}")
    scan, out = run(build, directory, "scan", SCAN, n)
    if out.strip() != f"{n} {n // 2}":
        sys.exit(f"scan read {out!r}, expected '{n} {n // 2}'")
    print(f"append {append:.3f} scan {scan:.3f}")


if __name__ == "__main__":
    main()
