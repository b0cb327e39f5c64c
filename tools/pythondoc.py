#!/usr/bin/env python3
"""Writes docs/PYTHON.md, the reference of the tmx5 Python module, from the module's own docstrings.

    PYTHONPATH=build/python /usr/bin/python3 tools/pythondoc.py > docs/PYTHON.md

tests/python/test_docs.py checks that docs/PYTHON.md is what this writes.
"""

import inspect
import re
import textwrap

import tmx5
import tmx5.pytest_plugin


def doc(obj):
    text = textwrap.dedent(inspect.getdoc(obj) or "").strip()
    if not text:
        raise SystemExit("%r has no docstring" % (obj,))
    # Cross-references read as code in Markdown.
    return re.sub(r":(?:class|meth|func):`([^`]+)`", r"`\1`", text)


def signature(name, func):
    sig = inspect.signature(func)
    params = [p for p in sig.parameters.values() if p.name != "self"]
    return "%s(%s)" % (name, ", ".join(str(p) for p in params))


def main():
    out = ["# The tmx5 Python module", "",
           "<!-- Written by tools/pythondoc.py from the module's docstrings; do not edit by hand. -->", "",
           doc(tmx5), ""]
    out += ["## Constants", ""]
    for name in ("__version__", "FIRMWARE_VERSION", "WIDTH", "HEIGHT", "KEYS"):
        out.append("- `tmx5.%s` = `%r`" % (name, getattr(tmx5, name)))
    out += ["", "## Functions", ""]
    for name in ("names", "frame_text"):
        func = getattr(tmx5, name)
        out += ["### `tmx5.%s`" % signature(name, func), "", doc(func), ""]
    out += ["## `tmx5.UnknownName`", "", doc(tmx5.UnknownName), ""]
    cls = tmx5.Instrument
    out += ["## `tmx5.%s`" % signature("Instrument", cls.__init__), "", doc(cls), ""]
    members = [(n, m) for n, m in vars(cls).items() if not n.startswith("_") or n == "__getitem__"]
    methods = [(n, m) for n, m in members if inspect.isfunction(m)]
    properties = [(n, m) for n, m in members if isinstance(m, property)]
    out += ["### Methods", ""]
    for name, func in methods:
        shown = "inst[name]" if name == "__getitem__" else "inst." + signature(name, func)
        out += ["#### `%s`" % shown, "", doc(func), ""]
    out += ["### Properties (read-only)", ""]
    for name, prop in properties:
        out.append("- `inst.%s`: %s" % (name, doc(prop)))
    out += ["", "## The pytest plugin (`tmx5.pytest_plugin`)", "", doc(tmx5.pytest_plugin), ""]
    out += ["### Fixture `tmx5_instrument`", "", doc(tmx5.pytest_plugin.tmx5_instrument), ""]
    print("\n".join(out).rstrip("\n"))


if __name__ == "__main__":
    main()
