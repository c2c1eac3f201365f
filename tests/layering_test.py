#!/usr/bin/env python3
"""The house map, checked on the product's includes: a folder includes only
folders below it, and the plain folders include no Qt header. Run with the
source tree's root as its argument; prints each offending include."""
import re
import sys
from pathlib import Path

# floor of each folder; a folder may include its own and lower floors, but
# nothing on its own floor but itself (skin may use skin/file).
FLOORS = {"base": 0, "mail": 1, "skin/file": 1, "dialup": 1, "signin": 1, "skin": 2,
          "net": 2, "core": 3, "demo": 3, "msgwin": 4, "config": 4, "app": 5}
ALLOWED_SAME_FLOOR = {("skin", "skin/file")}
PLAIN = {"base", "mail", "skin/file", "dialup", "signin", "net", "core", "demo"}
INCLUDE = re.compile(r'\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(path):
    parts = path.split("/")
    if len(parts) > 2 and parts[0] == "skin" and parts[1] == "file":
        return "skin/file"
    return parts[0] if len(parts) > 1 else ""


def problems(root):
    found = []
    for file in sorted(root.rglob("*")):
        if file.suffix not in (".cpp", ".h") or not file.is_file():
            continue
        rel = file.relative_to(root).as_posix()
        here = folder_of(rel)
        if here not in FLOORS:
            continue
        for n, line in enumerate(file.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            kind, name = m.groups()
            if kind == "<":
                if here in PLAIN and re.match(r"Q[A-Za-z]", name):
                    found.append(f"{rel}:{n}: Qt header in the plain folder {here}/: {name}")
                continue
            there = folder_of(name)
            if there not in FLOORS or there == here:
                continue
            if FLOORS[there] < FLOORS[here] or (here, there) in ALLOWED_SAME_FLOOR:
                continue
            found.append(f"{rel}:{n}: {here}/ includes {there}/, which is not below it: {name}")
    return found


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = problems(root)
    for p in found:
        print(p)
    print(f"{0 if found else 1} passed, {1 if found else 0} failed")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
