"""Every function in the standard library's table is documented in
docs/stdlib.md with the parameters the table declares, and is called by a
case file both with good input and, when it takes any, with bad input."""
import glob
import os
import re
import sys

root = sys.argv[1]
table = open(os.path.join(root, "plugins/stdlib/table.cc"), encoding="utf-8").read()
docs = open(os.path.join(root, "docs/stdlib.md"), encoding="utf-8").read()
cases = ""
for path in glob.glob(os.path.join(root, "tests/scripts/stdlib/*.cases")):
    cases += open(path, encoding="utf-8").read()

functions = re.findall(r'\{"(\w+)", "([^"]*)", \w+\}', table)
problems = []
if len(functions) < 80:
    problems.append(f"only {len(functions)} functions read from table.cc")
for name, params in functions:
    signature = f"`{name}({params})`"
    if signature not in docs:
        problems.append(f"{name}: docs/stdlib.md has no {signature}")
    if not re.search(rf"^\.func {name}\({re.escape(params)}\) external$", cases, re.M):
        problems.append(f"{name}: no case file declares it as in the table")
    calls = [line for line in cases.splitlines()
             if not line.startswith(".func") and re.search(rf"\b{name}\(", line)]
    if not any(" -> " in c or c.endswith(" ->") for c in calls):
        problems.append(f"{name}: no case checks a value")
    if params and not any(" => " in c and c.split(" => ")[1].startswith(name + ":")
                          for c in calls):
        problems.append(f"{name}: no case gives it bad input")
for p in problems:
    print(p)
print(f"{len(functions) * 3 - len(problems)} passed, {len(problems)} failed")
sys.exit(1 if problems else 0)
