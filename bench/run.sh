#!/bin/sh
# Times the machine's benchmark loops (bench/loops/*.zasm) against the same
# loops in Lua 5.4, PHP and Python 3 where those are installed, and prints
# each time and the machine's time as a ratio of each. Times are processor
# seconds (user + system) of the whole process, the best of REPEATS runs
# (default 3), so that a busy machine distorts them less.
#
# Usage: bench/run.sh            (after the build; `make bench` does both)
# Environment: BUILD (default build), REPEATS.
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
repeats=${REPEATS:-3}
vm_bench="$build/bench/vm_bench"
if [ ! -x "$vm_bench" ]; then
    echo "bench: $vm_bench is missing; build first (make bench)" >&2
    exit 1
fi

# Processor seconds of one command (the best of REPEATS runs).
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
    used_now = used() - before
    best = used_now if best is None or used_now < best else best
print("%.3f" % best)
PY
}

ratio() {
    python3 -c "import sys; a, b = sys.argv[1], sys.argv[2]; print('-' if 'failed' in (a, b) or float(b) == 0 else '%.2f' % (float(a) / float(b)))" "$1" "$2"
}

lua=$(command -v lua5.4 || command -v lua || true)
php=$(command -v php || true)
python=$(command -v python3 || true)

export REPEATS="$repeats"
printf '%-14s %10s %10s %10s %10s   %s\n' loop orin lua5.4 php python3 "orin/lua orin/php orin/python"
for loop in count concat calls array fib; do
    orin=$(cpu_seconds "$vm_bench" "bench/loops/$loop.zasm")
    l=-; p=-; y=-
    [ -n "$lua" ] && l=$(cpu_seconds "$lua" "bench/loops/$loop.lua")
    [ -n "$php" ] && p=$(cpu_seconds "$php" "bench/loops/$loop.php")
    [ -n "$python" ] && y=$(cpu_seconds "$python" "bench/loops/$loop.py")
    rl=-; rp=-; ry=-
    [ "$l" != - ] && rl=$(ratio "$orin" "$l")
    [ "$p" != - ] && rp=$(ratio "$orin" "$p")
    [ "$y" != - ] && ry=$(ratio "$orin" "$y")
    printf '%-14s %10s %10s %10s %10s   %s %s %s\n' "$loop" "$orin" "$l" "$p" "$y" "$rl" "$rp" "$ry"
done
# The counted loop again with general stack instructions only.
printf '%-14s %10s\n' count_stack "$(cpu_seconds "$vm_bench" bench/loops/count_stack.zasm)"
