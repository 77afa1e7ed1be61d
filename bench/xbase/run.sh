#!/bin/sh
# Appends N records of five fields (default 100000) to a new table and scans
# them back, in orin's xBase tables and in Python's sqlite3 and dbf modules,
# each in a fresh directory on the same file system, and prints the
# processor seconds (user + system) of each phase and orin's time as a
# fraction of the others'.
#
# Each contender is one line in the list below: a name and a command that
# takes the directory and N and prints "append <s> scan <s>"; add a line to
# add one. orin-script runs two compiled scripts with `orin run`, as a site would.
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
orin-script|/usr/bin/python3 bench/xbase/script.py $build
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
# Each orin contender's times as a fraction of each other contender's
# (below 1: orin faster).
echo "$results" | awk 'NF == 4 { name[++n] = $1; a[n] = $2; s[n] = $3; t[n] = $4 }
    END { for (i = 1; i <= n; i++) if (name[i] ~ /^orin/) for (j = 1; j <= n; j++)
        if (name[j] !~ /^orin/ && a[j] > 0 && s[j] > 0)
            printf "%s/%-15s append %.2f  scan %.2f  total %.2f\n", name[i], name[j],
                   a[i] / a[j], s[i] / s[j], t[i] / t[j] }'
