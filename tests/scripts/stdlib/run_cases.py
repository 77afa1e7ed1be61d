"""Runs a standard-library case file: calls written as expressions, each
turned into an assembler program, assembled with ztasm and run by `orin
run` in a fresh site, as tests/scripts/run_script_test.py does for .zt files.

A .cases file holds, one per line:

    .func NAME(params) external     a declaration, put in every program
    NAME = EXPR                     a global assigned before the cases after it
    EXPR -> OUTPUT                  the call's value printed is OUTPUT
    EXPR => MESSAGE                 the run ends with the fatal error MESSAGE
    # comment

EXPR is a Python-style expression: calls of declared functions, texts
("..." as UTF-8, b"..." as raw bytes), integers, decimals, lists and dicts
(built through json_decode, so an array or a structure) and global names.
An OUTPUT that starts with [ or { compares the value's JSON (json_encode,
options 0) unless the expression is itself a json_encode call. All "->" cases of a file run in one program; each "=>" case runs
alone, since a fatal error ends its run. A MESSAGE must appear as the text
after the error position ("Fatal error in /test.ztc @ [...]: MESSAGE"), HTML-encoded
as error texts are shown.

    run_cases.py --ztasm ZTASM --orin ORIN FILE.cases [--print]
"""
import argparse
import ast
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

FUNC = re.compile(r"^\.func\s+(\w+)\s*\(([^)]*)\)")


class CaseError(Exception):
    pass


def error_text(message):
    """A message as the server writes it into an error text."""
    for plain, entity in (("&", "&amp;"), ("<", "&lt;"), (">", "&gt;"), ('"', "&quot;"),
                          ("(", "&#40;"), (")", "&#41;")):
        message = message.replace(plain, entity)
    return message


def quote(data):
    """Assembler string literal for bytes."""
    out = []
    for b in data:
        c = chr(b)
        if c == '"' or c == "\\":
            out.append("\\" + c)
        elif 32 <= b < 127:
            out.append(c)
        else:
            out.append(f"\\x{b:02x}")
    return '"' + "".join(out) + '"'


class Program:
    def __init__(self, declarations):
        self.params = {}
        for line in declarations:
            m = FUNC.match(line)
            names = [p.strip() for p in m.group(2).split(",") if p.strip()]
            self.params[m.group(1).lower()] = [p.startswith("&") for p in names]
        self.head = list(declarations)
        self.lines = []
        self.temp = 0

    def emit(self, text):
        self.lines.append("        " + text)

    def fresh(self):
        self.temp += 1
        return f"tmp_{self.temp}"

    def value(self, node):
        """Code that leaves the expression's value on the stack."""
        if isinstance(node, ast.Constant):
            v = node.value
            if isinstance(v, bool):
                self.emit(f"pushi {int(v)}")
            elif isinstance(v, int) and -2**31 <= v < 2**31:
                self.emit(f"pushi {v}")
            elif isinstance(v, (int, float)):
                self.emit(f"pushc {quote(repr(v).encode())}")
            elif isinstance(v, str):
                self.emit(f"pushc {quote(v.encode('utf-8'))}")
            elif isinstance(v, bytes):
                self.emit(f"pushc {quote(v)}")
            else:
                raise CaseError(f"unsupported constant {v!r}")
        elif isinstance(node, ast.UnaryOp) and isinstance(node.op, ast.USub):
            self.value(ast.Constant(-ast.literal_eval(node.operand)))
        elif isinstance(node, (ast.List, ast.Dict)):
            name = self.fresh()
            self.emit(f"pushc {quote(json.dumps(ast.literal_eval(node)).encode())}")
            self.emit("call json_decode")
            self.emit(f"popg {name}")
            self.emit(f"pushg {name}")
        elif isinstance(node, ast.Name):
            self.emit(f"pushg {node.id}")
        elif isinstance(node, ast.Call):
            self.call(node)
        else:
            raise CaseError(f"unsupported expression {ast.dump(node)}")

    def call(self, node):
        name = node.func.id
        byref = self.params.get(name.lower())
        if byref is None:
            raise CaseError(f"'{name}' is not declared")
        for arg, ref in zip(node.args, byref + [False] * len(node.args)):
            if ref and not isinstance(arg, ast.Name):
                # A by-reference argument must be a variable.
                tmp = self.fresh()
                self.value(arg)
                self.emit(f"popg {tmp}")
                self.emit(f"pushg {tmp}")
            else:
                self.value(arg)
        self.emit(f"call {name}")

    def expression(self, text):
        try:
            return ast.parse(text.strip(), mode="eval").body
        except SyntaxError as e:
            raise CaseError(f"cannot read '{text}': {e}")

    def assign(self, name, text):
        self.value(self.expression(text))
        self.emit(f"popg {name}")

    def show(self, text, as_json):
        node = self.expression(text)
        self.value(node)
        encoded = (isinstance(node, ast.Call) and isinstance(node.func, ast.Name) and
                   node.func.id.lower() == "json_encode")
        if as_json and not encoded:
            tmp = self.fresh()
            self.emit(f"popg {tmp}")
            self.emit(f"pushg {tmp}")
            self.emit("pushi 0")
            self.emit("call json_encode")
        self.emit("out")
        self.emit('pushc "\\n"')
        self.emit("out")

    def source(self):
        return "\n".join(self.head + self.lines) + "\n"


def parse(path):
    declarations, items = [], []
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if line.startswith(".func"):
                if not FUNC.match(line):
                    raise CaseError(f"{path}:{number}: bad declaration")
                declarations.append(line)
            elif " -> " in line or line.endswith(" ->"):
                expr, _, want = line.partition(" ->")
                items.append(("value", number, expr, want[1:] if want.startswith(" ") else want))
            elif " => " in line:
                expr, _, want = line.partition(" => ")
                items.append(("fatal", number, expr, want))
            elif re.match(r"^\w+\s*=[^=]", line):
                name, _, expr = line.partition("=")
                items.append(("assign", number, name.strip(), expr))
            else:
                raise CaseError(f"{path}:{number}: neither a case nor a declaration")
    if "json_decode" not in " ".join(declarations):
        declarations.append(".func json_decode(text) external")
    if "json_encode" not in " ".join(declarations):
        declarations.append(".func json_encode(&value, options) external")
    return declarations, items


class Runner:
    def __init__(self, args):
        self.args = args
        self.site = tempfile.mkdtemp(prefix="zt-std-")

    def close(self):
        shutil.rmtree(self.site, ignore_errors=True)

    def run(self, source):
        """(exit status, output) of one fresh run of `source`."""
        html, data = os.path.join(self.site, "html"), os.path.join(self.site, "data")
        for d in (html, data):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d)
        config = os.path.join(self.site, "vm.toml")
        open(config, "w").close()
        src, ztc = os.path.join(self.site, "test.zasm"), os.path.join(html, "test.ztc")
        with open(src, "w", encoding="utf-8") as f:
            f.write(source)
        proc = subprocess.run([self.args.ztasm, "-o", ztc, src], capture_output=True, text=True)
        if proc.returncode != 0:
            raise CaseError(f"program does not assemble:\n{proc.stderr}\n{source}")
        env = dict(os.environ, HOME=self.site, XDG_CONFIG_HOME=os.path.join(self.site, "cfg"))
        env.pop("ZETO_ORIN_CONFIG", None)
        proc = subprocess.run([self.args.orin, "run", "--root", html, "--data", data,
                               "--config", config, ztc],
                              capture_output=True, cwd=data, env=env, timeout=60)
        return proc.returncode, proc.stdout.decode("utf-8", "backslashreplace")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ztasm", required=True)
    parser.add_argument("--orin", required=True)
    parser.add_argument("--print", action="store_true", help="print the programs")
    parser.add_argument("cases")
    args = parser.parse_args()
    args.ztasm, args.orin = os.path.abspath(args.ztasm), os.path.abspath(args.orin)
    declarations, items = parse(args.cases)
    runner = Runner(args)
    failures, count = [], 0
    try:
        # The value cases, in one program.
        program = Program(declarations)
        expected = []
        for kind, number, a, b in items:
            if kind == "assign":
                program.assign(a, b)
            elif kind == "value":
                program.show(a, b.startswith("[") or b.startswith("{"))
                expected.append((number, a.strip(), b))
        if expected:
            if args.print:
                print(program.source())
            status, out = runner.run(program.source())
            got = out.split("\n")
            for i, (number, expr, want) in enumerate(expected):
                count += 1
                line = got[i] if i < len(got) else "<missing>"
                if line != want:
                    failures.append(f"line {number}: {expr}\n  expected {want!r}\n  got      {line!r}")
            if status != 0:
                failures.append(f"the value cases' run exited with {status}:\n{out}")
        # Each fatal case alone, after the assignments that precede it.
        for index, (kind, number, expr, want) in enumerate(items):
            if kind != "fatal":
                continue
            count += 1
            program = Program(declarations)
            for k, _, a, b in items[:index]:
                if k == "assign":
                    program.assign(a, b)
            program.emit('pushc "before\\n"')
            program.emit("out")
            program.show(expr, False)
            program.emit('pushc "not stopped\\n"')
            program.emit("out")
            if args.print:
                print(program.source())
            status, out = runner.run(program.source())
            pattern = (r"before\n.*Fatal error in /test\.ztc @ \[[0-9a-f]{8}:[0-9a-f]{8}\]: " +
                       re.escape(error_text(want)) + r"\n")
            if status != 1 or not re.fullmatch(pattern, out, re.S) or "not stopped" in out:
                failures.append(f"line {number}: {expr.strip()}\n  expected the fatal error "
                                f"{want!r}\n  got (exit {status}) {out!r}")
    except CaseError as e:
        print(f"{args.cases}: {e}")
        return 2
    finally:
        runner.close()
    for f in failures:
        print(f"{args.cases}: {f}")
    print(f"{args.cases}: {count - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
