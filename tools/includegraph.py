#!/usr/bin/env python3
"""The include graph between the program's folders.

Prints which folder includes which (with how many includes), then the folders in an order in
which each comes after everything it uses, or the cycle that prevents one. With --check it
instead holds every include to the table of allowed directions below and exits 1 at the
first file that breaks it: the shared include root would let a back-include compile.
"""

import argparse
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# What each folder may include besides itself: framework <- res <- comm <- {terminal,
# settings, transfer} <- session <- mainframe <- app. The serial control includes nothing of the program;
# only its door, CCommCtrl, uses the framework.
ALLOWED = {
    "framework": set(),
    "res": {"framework"},
    "comm": set(),
    "terminal": {"framework", "res", "comm"},
    "settings": {"framework", "res", "comm"},
    "transfer": {"framework", "res", "comm"},
    "session": {"framework", "res", "comm", "terminal", "transfer"},
    "mainframe": {"framework", "res", "comm", "terminal", "settings", "transfer", "session"},
    "app": {"framework", "res", "comm", "terminal", "settings", "transfer", "session", "mainframe"},
    "tools": {"comm"},
}
# Files that may go further than their folder.
ALLOWED_FILES = {
    "comm/ccommctrl": {"framework", "res"},
}
PROGRAM = list(ALLOWED)

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def sources(root):
    for folder in PROGRAM:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in (".h", ".cpp") and path.is_file():
                yield folder, path


def includes(path):
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if match and "/" in match.group(1):
            yield number, match.group(1).split("/", 1)[0]


def allowed_for(root, folder, path):
    stem = path.relative_to(root).with_suffix("").as_posix()
    return ALLOWED[folder] | ALLOWED_FILES.get(stem, set()) | {folder}


def check(root):
    faults = []
    for folder, path in sources(root):
        permitted = allowed_for(root, folder, path)
        for number, target in includes(path):
            if target in ALLOWED and target not in permitted:
                faults.append(f"{path.relative_to(root)}:{number}: {folder}/ may not include "
                              f"{target}/ (it may use: {', '.join(sorted(permitted - {folder})) or 'nothing'})")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def graph(root):
    edges = {}
    for folder, path in sources(root):
        for _, target in includes(path):
            if target != folder and target in ALLOWED:
                edges.setdefault(folder, {}).setdefault(target, 0)
                edges[folder][target] += 1
    for folder in PROGRAM:
        uses = edges.get(folder, {})
        listed = ", ".join(f"{t} ({n})" for t, n in sorted(uses.items())) or "-"
        print(f"{folder:10} -> {listed}")
    order, state = [], {}

    def visit(node, trail):
        if state.get(node) == "done":
            return None
        if state.get(node) == "open":
            return trail[trail.index(node):] + [node]
        state[node] = "open"
        for target in sorted(edges.get(node, {})):
            cycle = visit(target, trail + [node])
            if cycle:
                return cycle
        state[node] = "done"
        order.append(node)
        return None

    for folder in PROGRAM:
        cycle = visit(folder, [])
        if cycle:
            print("cycle: " + " -> ".join(cycle))
            return 1
    print("acyclic; each folder uses only folders before it: " + ", ".join(order))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="hold every include to the allowed directions; exit 1 on a fault")
    parser.add_argument("--root", type=pathlib.Path, default=ROOT,
                        help="the source tree (default: this script's)")
    args = parser.parse_args()
    return check(args.root) if args.check else graph(args.root)


if __name__ == "__main__":
    sys.exit(main())
