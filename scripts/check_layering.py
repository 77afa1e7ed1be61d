#!/usr/bin/python3
"""Checks that includes in src/ point one way and that system calls stay in src/platform/.

Prints one line per violation ("file:line: what") and exits 1 when there are any:
- a "folder/x.h" include from a lower folder of src/ into a higher one;
- a circle of includes between folders of the same level;
- a folder of src/ that has no place in the order below;
- an angle include outside src/platform/ that is neither the C++ standard library nor one
  of the third-party libraries below (in src/, apps/ and tools/);
- a call that only the platform may make, outside src/platform/ (the C++ headers reach
  some POSIX functions on Linux, so the include check alone does not catch them).
"""

import argparse
import os
import re
import sys

# Bottom to top; folders on one level may include each other but not in a circle.
LAYERS = [
    ["util"],
    ["platform"],
    ["image"],
    ["variables"],
    ["output"],
    ["files"],
    ["vm"],
    ["network", "database", "libraries"],
    ["server"],
    ["app"],
]

# The C++ standard library, less <csignal> and <csetjmp>: signals are the platform's.
CXX_HEADERS = set("""
algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv
chrono cinttypes climits clocale cmath compare complex concepts condition_variable coroutine
cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception
execution filesystem format forward_list fstream functional future initializer_list iomanip
ios iosfwd iostream istream iterator latch limits list locale map memory memory_resource mutex
new numbers numeric optional ostream queue random ranges ratio regex scoped_allocator semaphore
set shared_mutex source_location span sstream stack stdexcept stop_token streambuf string
string_view syncstream system_error thread tuple type_traits typeindex typeinfo unordered_map
unordered_set utility valarray variant vector version
""".split())

# Portable libraries the build links: decimal numbers and DES crypt (libxcrypt).
THIRD_PARTY_HEADERS = {"mpdecimal.h", "crypt.h"}

# Qt's headers (<QDialog>, <QtTest>), allowed only in the desktop program.
QT_HEADER = re.compile(r"^Q[A-Za-z]+$")
QT_FOLDER = os.path.join("apps", "orin-desktop") + os.sep

PLATFORM_CALLS = re.compile(
    r"\b(clock_gettime|gmtime_r|localtime_r|timegm|sigaction|sigprocmask|pthread_\w+|"
    r"getpid|gettid|getuid|sysconf|dlopen|dlsym|syslog)\s*\(|\bCLOCK_(REALTIME|MONOTONIC)\b")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_ENDINGS = (".h", ".cc", ".cpp", ".hpp")


def level_of():
    levels = {}
    for i, folders in enumerate(LAYERS):
        for folder in folders:
            levels[folder] = i
    return levels


def sources(top):
    for base, dirs, files in os.walk(top):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_ENDINGS):
                yield os.path.join(base, name)


def code_of(line):
    """The line without a trailing // comment (good enough for the calls we look for)."""
    at = line.find("//")
    return line if at < 0 else line[:at]


def check(root):
    problems = []
    levels = level_of()
    src = os.path.join(root, "src")
    edges = {}  # folder -> {included folder: first "file:line"}

    for folder in sorted(os.listdir(src)):
        if os.path.isdir(os.path.join(src, folder)) and folder not in levels:
            problems.append(f"src/{folder}: folder has no place in the layer order "
                            "(add it to LAYERS in scripts/check_layering.py and to the README)")

    for top in ("src", "apps", "tools"):
        for path in sources(os.path.join(root, top)):
            rel = os.path.relpath(path, root)
            parts = rel.split(os.sep)
            folder = parts[1] if top == "src" and len(parts) > 2 else None
            in_platform = folder == "platform"
            with open(path, encoding="utf-8", errors="replace") as f:
                lines = f.read().split("\n")
            in_block_comment = False
            for number, line in enumerate(lines, 1):
                where = f"{rel}:{number}"
                m = INCLUDE.match(line)
                if m:
                    kind, name = m.groups()
                    if kind == "<":
                        qt_ok = rel.startswith(QT_FOLDER) and QT_HEADER.match(name)
                        if not in_platform and name not in CXX_HEADERS \
                                and name not in THIRD_PARTY_HEADERS and not qt_ok:
                            problems.append(f"{where}: <{name}> is a system header; only "
                                            "src/platform/ may include it")
                    elif folder is not None and "/" in name:
                        target = name.split("/")[0]
                        if target in levels and target != folder and folder in levels:
                            if levels[target] > levels[folder]:
                                problems.append(f'{where}: "{name}" points upward ({folder} '
                                                f"is below {target})")
                            elif levels[target] == levels[folder]:
                                # Only these can close a circle the order does not forbid.
                                edges.setdefault(folder, {}).setdefault(target, where)
                    continue
                if in_platform:
                    continue
                text = line
                if in_block_comment:
                    end = text.find("*/")
                    if end < 0:
                        continue
                    text = text[end + 2:]
                    in_block_comment = False
                start = text.find("/*")
                if start >= 0 and text.find("*/", start) < 0:
                    in_block_comment = True
                    text = text[:start]
                call = PLATFORM_CALLS.search(code_of(text))
                if call:
                    problems.append(f"{where}: {call.group(0).rstrip('( ')} belongs behind "
                                    "src/platform/")

    problems.extend(cycles(edges))
    return problems


def cycles(edges):
    """Include cycles between folders, each named once with the include that closes it."""
    found = []
    state = {}  # folder -> "open" while on the current path, "done" after

    def visit(folder, path):
        state[folder] = "open"
        path.append(folder)
        for target in sorted(edges.get(folder, {})):
            if state.get(target) == "open":
                loop = path[path.index(target):] + [target]
                found.append(f"{edges[folder][target]}: include cycle between folders: "
                             + " -> ".join(loop))
            elif target not in state:
                visit(target, path)
        path.pop()
        state[folder] = "done"

    for folder in sorted(edges):
        if folder not in state:
            visit(folder, [])
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                        help="the repository (default: the one holding this script)")
    args = parser.parse_args()
    problems = check(args.root)
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} layering problem(s)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
