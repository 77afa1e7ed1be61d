#!/bin/sh
# The index benchmark: orin's xBase table and index against Python's sqlite3
# with an index on the same data, each in a fresh directory, same run.
# Prints the seconds of each phase and orin's time as a fraction of
# sqlite3's (below 1: orin faster).
#
# Usage: bench/xbase/index_run.sh [N]      Environment: BUILD (default build)
set -eu
cd "$(dirname "$0")/../.."
build=${BUILD:-build}
n=${1:-100000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/orin" "$work/sqlite"
orin=$("$build/bench/xbase_index_bench" "$work/orin" "$n")
sqlite=$(/usr/bin/python3 bench/xbase/index_bench.py "$work/sqlite" "$n")
printf '%-10s %s\n' "orin" "$orin" "sqlite3" "$sqlite"
echo "$orin $sqlite" | awk '{ printf "orin/sqlite3 build %.2f  find %.2f  insert %.2f\n", $2 / $8, $4 / $10, $6 / $12 }'
