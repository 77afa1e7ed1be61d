#!/usr/bin/python3
"""Mutation check: plants one known fault at a time, rebuilds, runs the unit
and script tests, and reports which tests noticed.

A mutant that no test fails on ("survived") marks a fault the suite cannot
see. Run it before and after changing the tests: whatever was killed before
must still be killed.

    tests/mutation/run.py [--build build] [--only NAME ...] [--out FILE] [--fast]

The source is restored after every mutant, also on Ctrl-C or a failed build;
a backup left by a killed run is put back on the next start.
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BACKUP = os.path.join(ROOT, ".mutation-backup.json")

# (name, file, original text, faulty text). The original must occur exactly
# once in the file, so that a drifted source is reported instead of mutated
# somewhere unintended.
MUTANTS = [
    ("add-overflow-edge", "src/variables/operators.cc",
     "if (r >= INT32_MIN && r <= INT32_MAX) {",
     "if (r > INT32_MIN && r < INT32_MAX) {"),
    ("le-as-lt", "src/variables/operators.cc",
     "return Compared(l, r, [](int32_t c) { return c <= 0; });",
     "return Compared(l, r, [](int32_t c) { return c < 0; });"),
    ("ein-off-by-one", "src/variables/operators.cc",
     "static_cast<int32_t>(at + needle)",
     "static_cast<int32_t>(at + needle - 1)"),
    ("fixed-places-no-point", "src/variables/decimal.cc",
     "if (formatted == 0) out[n++] = '.';",
     "if (formatted == 0) n += 0;"),
    ("decimal-compare-text", "src/variables/operand.cc",
     "return c == INT_MAX ? INT32_MAX : c;",
     "return c == INT_MAX ? INT32_MAX : -c;"),
    ("line-keeps-cr", "src/server/request_reader.cc",
     "(*line)[line->size() - 1] == '\\r'",
     "(*line)[line->size() - 1] == '\\n'"),
    ("line-budget-per-read", "src/server/request_reader.cc",
     "if (take > line_budget_ - line_bytes_) {",
     "if (take > line_budget_) {"),
    ("content-length-sign", "src/server/request_body.cc",
     "return negative ? 0 : static_cast<int32_t>(value);",
     "return static_cast<int32_t>(value);"),
    ("url-plus-kept", "src/server/url_encoded_parser.cc",
     "} else if (c == '+') {",
     "} else if (c == '\\x01') {"),
    ("containment-unchecked", "src/files/file_manager.cc",
     "if (!resolved->StartsWith(base)) {",
     "if (false && !resolved->StartsWith(base)) {"),
    ("json-surrogate-shift", "src/variables/json_decode.cc",
     "AppendCodePoint(0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00), true);",
     "AppendCodePoint(0x10000 + ((cp - 0xD800) << 9) + (low - 0xDC00), true);"),
    ("json-cr-as-lf", "src/variables/json_encode.cc",
     "case '\\r':\n        two = \"\\\\r\";",
     "case '\\r':\n        two = \"\\\\n\";"),
    ("fused-jle-as-jlt", "src/vm/vm_run.cc",
     "    case kJmpLe:\n      taken = n <= 0;",
     "    case kJmpLe:\n      taken = n < 0;"),
    ("jge-as-jgt", "src/vm/vm_run.cc",
     "VM_JUMP_IF(n >= 0);",
     "VM_JUMP_IF(n > 0);"),
    ("fast-ge-as-gt", "src/vm/vm_run.cc",
     "VM_COMPARE(OpGe, a >= b ? 1 : 0);",
     "VM_COMPARE(OpGe, a > b ? 1 : 0);"),
    ("fast-sub-wraps", "src/vm/vm_run.cc",
     "FastInteger(st->FromTop(0), &b) && !__builtin_sub_overflow(a, b, &r)) {",
     "FastInteger(st->FromTop(0), &b) && (__builtin_sub_overflow(a, b, &r) || true)) {"),
    ("bitsr-as-bitsl", "src/vm/vm_run.cc",
     "VM_BINARY(OpBitSr);",
     "VM_BINARY(OpBitSl);"),
    ("spop-underflow-ignored", "src/vm/vm_instructions.cc",
     "if (!program_.system->PopSaveLevel()) FatalError(\"System variable stack underflow\");",
     "program_.system->PopSaveLevel();"),
    ("flush-past-threshold", "src/output/http_output.cc",
     "if (since_flush_ >= flush_threshold_) Finish(false);",
     "if (since_flush_ > flush_threshold_) Finish(false);"),
    ("upload-limit-inclusive", "src/server/multipart_form_parser.cc",
     "if (upload_limit_ != 0 && upload_size_ > upload_limit_) {",
     "if (upload_limit_ != 0 && upload_size_ >= upload_limit_) {"),
    ("update-without-record-lock", "src/database/xbase_table.cc",
     "  if (!table_file_->LockRegion(offset, record_length_, true, true)) {\n"
     "    return Fail(\"Error locking '\" + file_name_ + \"' for write: \" + table_file_->ErrorText());\n"
     "  }\n  std::vector<uint8_t> record(record_length_);",
     "  std::vector<uint8_t> record(record_length_);"),
]


class Interrupted(Exception):
    pass


def on_signal(signum, frame):
    raise Interrupted(signum)


def restore_backup():
    """Puts back files a killed run left mutated."""
    if not os.path.exists(BACKUP):
        return
    with open(BACKUP) as f:
        saved = json.load(f)
    for path, text in saved.items():
        with open(os.path.join(ROOT, path), "w") as out:
            out.write(text)
        print(f"restored {path} from an interrupted run", file=sys.stderr)
    os.remove(BACKUP)


def test_targets(build):
    """The gtest programs and what the script tests run."""
    out = subprocess.run(["ninja", "-C", build, "-t", "targets", "all"], capture_output=True,
                         text=True, check=True).stdout
    names = set()
    for line in out.splitlines():
        target = line.split(":")[0]
        base = os.path.basename(target)
        if re.fullmatch(r"[a-z_]+_tests", base) and "/" in target and "CMakeFiles" not in target:
            names.add(base)
    return sorted(names) + ["orin", "ztasm"]


def failed_tests(output):
    failed = []
    in_list = False
    for line in output.splitlines():
        if line.startswith("The following tests FAILED"):
            in_list = True
            continue
        if in_list:
            m = re.match(r"\s*\d+ - (\S+)", line)
            if m:
                failed.append(m.group(1))
    if not failed:  # a run stopped at its first failure may print no summary
        failed = re.findall(r"Test +#\d+: (\S+) \.*\s*\*\*\*", output)
    return failed


def group_of(test):
    """Script tests by folder, gtests by suite."""
    if test.startswith("script/"):
        return "script/" + test.split("/")[1]
    return test.split(".")[0]


def run_mutant(args, targets, mutant):
    name, path, original, faulty = mutant
    full = os.path.join(ROOT, path)
    with open(full) as f:
        text = f.read()
    if text.count(original) != 1:
        return {"name": name, "file": path, "status": "stale", "killers": []}
    with open(BACKUP, "w") as f:
        json.dump({path: text}, f)
    try:
        with open(full, "w") as f:
            f.write(text.replace(original, faulty))
        build = subprocess.run(["cmake", "--build", args.build, "-j", str(args.jobs), "--target"] +
                               targets, capture_output=True, text=True)
        if build.returncode != 0:
            return {"name": name, "file": path, "status": "no-build", "killers": []}
        start = time.time()
        command = ["ctest", "-L", "unit|script", "-j", str(args.jobs), "--timeout", "60"]
        if args.fast:
            command.append("--stop-on-failure")
        test = subprocess.run(command, cwd=args.build, capture_output=True, text=True)
        killers = failed_tests(test.stdout)
        status = "killed" if killers else "survived"
        if test.returncode != 0 and not killers:
            status = "error"
        return {"name": name, "file": path, "status": status, "killers": killers,
                "seconds": round(time.time() - start, 1)}
    finally:
        with open(full, "w") as f:
            f.write(text)
        os.remove(BACKUP)


def summary(killers):
    groups = {}
    for k in killers:
        groups[group_of(k)] = groups.get(group_of(k), 0) + 1
    return ", ".join(f"{g} ({n})" if n > 1 else g for g, n in sorted(groups.items()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--only", nargs="*", help="mutant names to run")
    parser.add_argument("--out", help="also write the results as JSON here")
    parser.add_argument("--list", action="store_true", help="list the mutants and stop")
    parser.add_argument("--fast", action="store_true",
                        help="stop each test run at its first failure: killed or not, not by whom")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)

    if args.list:
        for name, path, _, _ in MUTANTS:
            print(f"{name:24} {path}")
        return 0
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    restore_backup()
    targets = test_targets(args.build)
    chosen = [m for m in MUTANTS if not args.only or m[0] in args.only]
    results = []
    try:
        for mutant in chosen:
            r = run_mutant(args, targets, mutant)
            results.append(r)
            print(f"{r['name']:24} {r['status']:8} {len(r['killers']):3}  {summary(r['killers'])}",
                  flush=True)
    except Interrupted:
        print("interrupted; source restored", file=sys.stderr)
    finally:
        # Leave the build matching the restored source.
        subprocess.run(["cmake", "--build", args.build, "-j", str(args.jobs), "--target"] + targets,
                       capture_output=True)
    if args.out:
        with open(args.out, "w") as f:
            json.dump(results, f, indent=1)
    killed = sum(r["status"] == "killed" for r in results)
    print(f"{killed} of {len(results)} mutants killed")
    return 0 if all(r["status"] in ("killed", "survived") for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
