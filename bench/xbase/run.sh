#!/bin/sh
# Appends N records of five fields (default 100000) to a new table and scans
# them back, in orin's xBase tables and in Python's sqlite3 and dbf modules,
# each in a fresh directory on the same file system, and prints the
# processor seconds (user + system) of each phase and orin's time as a
# fraction of the others'.
#
# Each contender is one line in the list below: a name and a command that
# takes the directory and N and prints "append <s> scan <s>"; add a line to
# add one (a script run by `orin run`, for example).
#
# Usage: bench/xbase/run.sh [N]      Environment: BUILD (default build)
set -eu
cd "$(dirname "$0")/../.."
build=${BUILD:-build}
n=${1:-100000}
if [ ! -x "$build/bench/xbase_bench" ]; then
    echo "bench: $build/bench/xbase_bench is missing; build it first" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

contenders="orin-api|$build/bench/xbase_bench
python-sqlite3|/usr/bin/python3 bench/xbase/bench.py sqlite
python-dbf|/usr/bin/python3 bench/xbase/bench.py dbf"

printf '%-16s %10s %10s %10s\n' "N=$n" append scan total
results=""
IFS='
'
for line in $contenders; do
    name=${line%%|*}
    command=${line#*|}
    mkdir "$work/$name"
    # shellcheck disable=SC2086
    out=$(IFS=' '; $command "$work/$name" "$n") || out="append - scan -"
    append=$(echo "$out" | awk '{print $2}')
    scan=$(echo "$out" | awk '{print $4}')
    total=$(awk -v a="$append" -v s="$scan" 'BEGIN { if (a == "-") print "-"; else printf "%.3f", a + s }')
    printf '%-16s %10s %10s %10s\n' "$name" "$append" "$scan" "$total"
    results="$results$name $append $scan $total
"
done
# orin's times as a fraction of each other contender's (below 1: orin faster).
echo "$results" | awk 'NF == 4 {
    name[NR] = $1; a[NR] = $2; s[NR] = $3; t[NR] = $4 }
    END { for (i = 2; i <= NR; i++) if (name[i] != "" && a[i] > 0)
        printf "orin/%-11s append %.2f  scan %.2f  total %.2f\n", name[i], a[1] / a[i], s[1] / s[i], t[1] / t[i] }'
