#!/usr/bin/env python3
"""Runs one script test file: assemble, run with `orin run`, compare.

See README.md in this folder for the file format. Exit status 0 means the
test passed; on failure the differences are printed.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

SECTION = re.compile(r"^--- ([a-z-]+)(?: (.*))?$")
KNOWN = {"source", "path", "include", "query", "method", "header", "body", "set",
         "file", "expect", "expect-re", "expect-headers", "expect-headers-re",
         "expect-file", "exit"}


class TestFileError(Exception):
    pass


def parse(text):
    """Returns a list of (name, args, body) in file order."""
    sections = []
    current = None
    for line in text.splitlines(keepends=True):
        m = SECTION.match(line.rstrip("\r\n"))
        if m:
            name, args = m.group(1), (m.group(2) or "").split()
            if name not in KNOWN:
                raise TestFileError(f"unknown section '--- {name}'")
            current = [name, args, []]
            sections.append(current)
        elif current is not None:
            current[2].append(line)
    result = []
    for name, args, lines in sections:
        body = "".join(lines)
        if "-n" in args:
            args = [a for a in args if a != "-n"]
            if body.endswith("\n"):
                body = body[:-1]
        result.append((name, args, body))
    return result


def first_line(body):
    return body.split("\n", 1)[0]


def area_path(site, where):
    area, _, name = where.partition(":")
    if area not in ("data", "script") or not name:
        raise TestFileError(f"bad file name '{where}' (use data:NAME or script:NAME)")
    root = os.path.join(site, "data" if area == "data" else "html")
    path = os.path.normpath(os.path.join(root, name.lstrip("/")))
    if not path.startswith(root + os.sep):
        raise TestFileError(f"file '{where}' leaves its area")
    return path


def assemble(ztasm, source, out_path, label):
    os.makedirs(os.path.dirname(out_path), exist_ok=True)
    src = out_path + ".zasm"
    with open(src, "w", encoding="utf-8", newline="") as f:
        f.write(source)
    proc = subprocess.run([ztasm, "-o", out_path, src], capture_output=True, text=True)
    if proc.returncode != 0:
        raise TestFileError(f"{label} does not assemble:\n{proc.stderr}{proc.stdout}")
    os.unlink(src)


def show(data):
    return data.decode("utf-8", "backslashreplace")


def run(args):
    # Bytes as written: a CR in a file or expect section is data.
    with open(args.test, encoding="utf-8", newline="") as f:
        sections = parse(f.read())
    get = {}
    for name, sargs, body in sections:
        get.setdefault(name, []).append((sargs, body))
    if "source" not in get:
        raise TestFileError("no '--- source' section")

    site = tempfile.mkdtemp(prefix="zt-")
    try:
        html, data = os.path.join(site, "html"), os.path.join(site, "data")
        os.makedirs(html)
        os.makedirs(data)
        config = os.path.join(site, "vm.toml")
        open(config, "w").close()

        script = first_line(get["path"][0][1]) if "path" in get else "/test.ztc"
        assemble(args.ztasm, get["source"][0][1], os.path.join(html, script.lstrip("/")),
                 "the program")
        for sargs, body in get.get("include", []):
            if not sargs:
                raise TestFileError("'--- include' needs a path")
            assemble(args.ztasm, body, os.path.join(html, sargs[0].lstrip("/")),
                     f"include {sargs[0]}")
        for sargs, body in get.get("file", []):
            if not sargs:
                raise TestFileError("'--- file' needs AREA:NAME")
            path = area_path(site, sargs[0])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(body.encode("utf-8"))

        cmd = [args.orin, "run", "--root", html, "--data", data, "--config", config]
        for _, body in get.get("set", []):
            for line in body.splitlines():
                if line.strip():
                    cmd += ["--set", line.strip()]
        if "method" in get:
            cmd += ["--method", first_line(get["method"][0][1])]
        for _, body in get.get("header", []):
            for line in body.splitlines():
                if line.strip():
                    cmd += ["--header", line]
        if "body" in get:
            body_path = os.path.join(site, "body")
            with open(body_path, "wb") as f:
                f.write(get["body"][0][1].encode("utf-8"))
            cmd += ["--body", body_path]
        want_headers = "expect-headers" in get or "expect-headers-re" in get
        if want_headers:
            cmd.append("--headers")
        cmd.append(os.path.join(html, script.lstrip("/")))
        if "query" in get:
            cmd.append(first_line(get["query"][0][1]))

        env = dict(os.environ, HOME=site, XDG_CONFIG_HOME=os.path.join(site, "config"))
        env.pop("ZETO_ORIN_CONFIG", None)
        proc = subprocess.run(cmd, capture_output=True, cwd=data, env=env, timeout=args.timeout)
        out = proc.stdout
        failures = []

        want_exit = int(first_line(get["exit"][0][1])) if "exit" in get else 0
        if proc.returncode != want_exit:
            failures.append(f"exit status {proc.returncode}, expected {want_exit}")
        text = show(out)
        if want_headers:
            text = text.replace("\r\n", "\n")
        for _, body in get.get("expect", []) + get.get("expect-headers", []):
            if text != body:
                failures.append(f"output differs\n--- expected\n{body!r}\n--- got\n{text!r}")
        for _, body in get.get("expect-re", []) + get.get("expect-headers-re", []):
            pattern = body[:-1] if body.endswith("\n") else body
            if not re.fullmatch(pattern, text, re.DOTALL):
                failures.append(f"output does not match\n--- pattern\n{pattern}\n--- got\n{text!r}")
        for sargs, body in get.get("expect-file", []):
            absent = "-absent" in sargs
            names = [a for a in sargs if a != "-absent"]
            if not names:
                raise TestFileError("'--- expect-file' needs AREA:NAME")
            path = area_path(site, names[0])
            if absent:
                if os.path.exists(path):
                    failures.append(f"{names[0]} exists, expected it absent")
                continue
            if not os.path.exists(path):
                failures.append(f"{names[0]} does not exist")
                continue
            with open(path, "rb") as f:
                content = show(f.read())
            if content != body:
                failures.append(f"{names[0]} differs\n--- expected\n{body!r}\n--- got\n{content!r}")
        if failures:
            print(f"FAIL {args.test}")
            print("command: " + " ".join(cmd))
            for failure in failures:
                print(failure)
            if proc.stderr:
                print("--- stderr\n" + show(proc.stderr))
            return 1
        return 0
    finally:
        if args.keep:
            print(f"site kept in {site}")
        else:
            shutil.rmtree(site, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--ztasm", required=True)
    parser.add_argument("--orin", required=True)
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--keep", action="store_true", help="keep the temporary site")
    parser.add_argument("test")
    args = parser.parse_args()
    try:
        return run(args)
    except TestFileError as e:
        print(f"{args.test}: {e}")
        return 2


if __name__ == "__main__":
    sys.exit(main())
