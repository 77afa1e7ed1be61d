#!/bin/sh
# ztasm and ztdis as users run them: help, messages and exit codes, round
# trips of the sample sources, and a file from the independent writer.
# usage: cli_test.sh ZTASM ZTDIS TESTS_TOOLS_DIR PYTHON
set -u
ztasm=$1 ztdis=$2 here=$3 python=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$ztasm" --help | grep -q '^usage: ztasm' || fail "ztasm --help"
"$ztdis" --help | grep -q '^usage: ztdis' || fail "ztdis --help"
"$ztasm" 2>/dev/null; [ $? -eq 2 ] || fail "ztasm without a source exits 2"

printf 'pushi 1\npushx 3\n' >"$tmp/bad.zasm"
"$ztasm" "$tmp/bad.zasm" 2>"$tmp/err"
[ $? -eq 1 ] || fail "ztasm on a bad source exits 1"
grep -qx "$tmp/bad.zasm:2: unknown mnemonic 'pushx'" "$tmp/err" || fail "message: $(cat "$tmp/err")"
[ ! -e "$tmp/bad.ztc" ] || fail "no output after an error"

"$ztdis" "$tmp/missing.ztc" 2>"$tmp/err"
[ $? -eq 1 ] || fail "ztdis on a missing file exits 1"
grep -q "No such file or directory" "$tmp/err" || fail "ztdis message: $(cat "$tmp/err")"

for src in "$here"/sources/*.zasm; do
    name=$(basename "$src" .zasm)
    "$ztasm" -o "$tmp/$name.ztc" "$src" || { fail "assemble $name"; continue; }
    "$ztdis" "$tmp/$name.ztc" >"$tmp/$name.dis" || fail "disassemble $name"
    "$ztasm" -o "$tmp/$name.2.ztc" "$tmp/$name.dis" || { fail "reassemble $name"; continue; }
    cmp -s "$tmp/$name.ztc" "$tmp/$name.2.ztc" || fail "$name does not round-trip"
done

# Default output name and standard input/output.
cp "$here/sources/hello.zasm" "$tmp/h.zasm"
"$ztasm" "$tmp/h.zasm" && [ -s "$tmp/h.ztc" ] || fail "default output name"
"$ztdis" <"$tmp/h.ztc" | grep -q 'pushc "Hello\\n"' || fail "ztdis from standard input"

"$python" "$here/independent_writer.py" "$tmp/py.ztc" || fail "independent writer"
"$ztdis" "$tmp/py.ztc" >"$tmp/py.dis" || fail "ztdis of the independent file"
for line in '.func Greet(who) private showerrors bits=2  ; function 0' \
            '        call Greet' '.token en bye "Goodbye"'; do
    grep -qxF "$line" "$tmp/py.dis" || fail "independent file: missing '$line'"
done

[ $failures -eq 0 ] && echo "all CLI checks passed"
exit $failures
