#!/bin/sh
# The standard library's calls as a script makes them: each .zasm here is
# assembled and run by `orin run` (plug-in loading included) and timed
# against the same loop in Python 3. Times are processor seconds (user +
# system) of the whole process, the best of REPEATS runs (default 3).
#
# Usage: bench/stdlib/run.sh (after the build). Environment: BUILD, REPEATS.
set -eu
cd "$(dirname "$0")/../.."
build=${BUILD:-build}
orin="$build/apps/orin/orin"
ztasm="$build/tools/ztasm"
[ -x "$orin" ] && [ -x "$ztasm" ] || { echo "bench: build first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpu_seconds() {
    python3 - "$@" <<'PY'
import os, resource, subprocess, sys
def used():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime
best = None
for _ in range(int(os.environ.get("REPEATS", "3"))):
    before = used()
    done = subprocess.run(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        sys.stderr.write(done.stderr.decode(errors="replace"))
        print("failed")
        sys.exit(0)
    spent = used() - before
    best = spent if best is None or spent < best else best
print("%.3f" % best)
PY
}

printf '%-12s %10s %10s %8s\n' loop orin python3 orin/py
for source in bench/stdlib/*.zasm; do
    name=$(basename "$source" .zasm)
    "$ztasm" -o "$work/$name.ztc" "$source"
    o=$(cpu_seconds "$orin" run --root "$work" "$work/$name.ztc")
    p=$(cpu_seconds python3 "bench/stdlib/$name.py")
    r=$(python3 -c "import sys; a, b = sys.argv[1:]; print('-' if 'failed' in (a, b) or float(b) == 0 else '%.2f' % (float(a) / float(b)))" "$o" "$p")
    printf '%-12s %10s %10s %8s\n' "$name" "$o" "$p" "$r"
done
