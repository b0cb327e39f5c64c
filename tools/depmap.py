#!/usr/bin/python3
"""Checks that the sources include only what the architecture map lets them use.

    /usr/bin/python3 tools/depmap.py [TOP]

Reads the folder table of docs/ARCHITECTURE.md below TOP (default: the folder
above this script): each row names a folder in its first column and, in its
last, the folders it uses, by their last part (`frames, firmware`). A folder
may include its own headers and those of every folder it uses, and of what
those use in turn. Then it reads every C++ file under firmware/ and host/:
each `#include "..."` of a project header must be allowed by the map, and
every folder that holds C++ sources must have its row, so a new folder or a
new arrow shows on the map before it is built. The three firmware folders
are one library and count as one folder, `firmware`; of the files directly
in host/, the row `host/Pcmain` holds the form unit (Pcmain) and the window's
entry point (WindowMain), and `host/main.cpp` the program's main; any other
file there has no row.

Prints each include the map does not allow as FILE:LINE, and each folder
without a row, and exits 1 when there is any.
"""

import os
import re
import sys

ROW = re.compile(r"^\|\s*`([^`]+)`\s*\|.*\|\s*([^|]*?)\s*\|\s*$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
FIRMWARE = ("runtime", "lcd", "screens")
# The files directly in host/, by the row that holds them: the form unit and
# the window's entry point, and the program's main.
TOP_LEVEL = {"Pcmain": "host/Pcmain", "WindowMain": "host/Pcmain", "main": "host/main.cpp"}


def unit_of(folder):
    """The map's unit for a folder: `firmware` for the firmware's three."""
    if folder.startswith("firmware/") or folder == "firmware":
        return "firmware"
    return folder


def read_map(top):
    uses = {}
    path = os.path.join(top, "docs", "ARCHITECTURE.md")
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = ROW.match(line)
            if not m or not (m.group(1).startswith("host/") or m.group(1).startswith("firmware/")):
                continue
            names = [n.strip() for n in m.group(2).split(",") if n.strip() and n.strip() != "-"]
            unit = unit_of(m.group(1))
            uses.setdefault(unit, set())
            for n in names:
                uses[unit].add("firmware" if n in FIRMWARE or n == "firmware" else
                               n if n.startswith("host/") else "host/" + n)
    return uses


def allowed(uses, unit):
    seen, todo = {unit}, [unit]
    while todo:
        for u in uses.get(todo.pop(), ()):
            u = "host/main.cpp" if u == "host/main" else u
            if u not in seen:
                seen.add(u)
                todo.append(u)
    return seen


def unit_of_file(rel):
    parts = rel.split("/")
    if parts[0] == "firmware":
        return "firmware"
    if len(parts) == 2:  # directly in host/
        return TOP_LEVEL.get(os.path.splitext(parts[1])[0], rel)
    return "host/" + parts[1]


def unit_of_include(top, rel, name):
    here = os.path.dirname(os.path.join(top, rel))
    for base in (here, os.path.join(top, "host"), os.path.join(top, "firmware")):
        full = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(full):
            return unit_of_file(os.path.relpath(full, top))
    return None  # a generated or system header


def check(top):
    uses = read_map(top)
    problems, counted = [], 0
    for root in ("firmware", "host"):
        for folder, _, files in os.walk(os.path.join(top, root)):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                rel = os.path.relpath(os.path.join(folder, name), top)
                unit = unit_of_file(rel)
                if unit not in uses:
                    problems.append("%s: %s has no row in docs/ARCHITECTURE.md" % (rel, unit))
                    continue
                ok = allowed(uses, unit)
                with open(os.path.join(top, rel), encoding="utf-8") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = unit_of_include(top, rel, m.group(1))
                        if target is None:
                            continue
                        counted += 1
                        if target not in ok:
                            problems.append("%s:%d: %s includes %s (%s), which the map does not let it use"
                                            % (rel, number, unit, m.group(1), target))
    return problems, counted


def main():
    top = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    problems, counted = check(top)
    for p in sorted(set(problems)):
        print(p)
    if counted == 0:
        print("no includes found: is %s the top of the project?" % top)
        return 1
    print("%d includes checked against the map, %d not allowed" % (counted, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
