#!/usr/bin/python3
"""Checks the links and pictures of the project's Markdown pages.

    /usr/bin/python3 tools/doclinks.py [TOP]

Reads README.md and docs/*.md below TOP (default: the folder above this
script). Every relative link and picture, in Markdown (`[text](path)`,
`![alt](path)`) or HTML (`<img src="path">`, `<a href="path">`), must name
a file or folder that exists, and a `#fragment` must name a heading of the
page it points to (as GitHub makes an anchor from a heading: lower case,
punctuation dropped, blanks turned into hyphens). Links to web addresses
are left alone. Prints each broken link as FILE:LINE: what is wrong, and
exits 1 when there is any.
"""

import os
import re
import sys

LINK = re.compile(r"!?\[(?:[^\]\[]|\[[^\]]*\])*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
HTML = re.compile(r"<(?:img|a)\b[^>]*?\b(?:src|href)=\"([^\"]+)\"", re.IGNORECASE)
FENCE = re.compile(r"^\s*(```|~~~)")


def page_lines(path):
    """The page's lines outside fenced code blocks, numbered from 1."""
    inside = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if FENCE.match(line):
                inside = not inside
                continue
            if not inside:
                yield number, line


def anchor(heading):
    text = re.sub(r"[`*_]|<[^>]+>", "", heading.strip()).lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    seen, found = {}, set()
    for _, line in page_lines(path):
        m = re.match(r"#{1,6}\s+(.*)", line)
        if not m:
            continue
        base = anchor(m.group(1))
        n = seen.get(base, 0)
        seen[base] = n + 1
        found.add(base if n == 0 else "%s-%d" % (base, n))
    return found


def targets(line):
    code_free = re.sub(r"`[^`]*`", "", line)
    return LINK.findall(code_free) + HTML.findall(code_free)


def check(top):
    pages = [os.path.join(top, "README.md")]
    docs = os.path.join(top, "docs")
    pages += sorted(os.path.join(docs, n) for n in os.listdir(docs) if n.endswith(".md"))
    problems, checked = [], 0
    for page in pages:
        here = os.path.dirname(page)
        for number, line in page_lines(page):
            for target in targets(line):
                if re.match(r"[a-z][a-z0-9+.-]*:", target):
                    continue  # a web address or mail link
                checked += 1
                path, _, fragment = target.partition("#")
                full = os.path.normpath(os.path.join(here, path)) if path else page
                where = "%s:%d" % (os.path.relpath(page, top), number)
                if not os.path.exists(full):
                    problems.append("%s: %s does not exist" % (where, target))
                elif fragment and full.endswith(".md") and fragment not in anchors(full):
                    problems.append("%s: %s has no heading #%s" % (where, os.path.relpath(full, top), fragment))
    return problems, checked


def main():
    top = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    problems, checked = check(top)
    for p in problems:
        print(p)
    if checked == 0:
        print("no links found: is %s the top of the project?" % top)
        return 1
    print("%d links and pictures checked, %d broken" % (checked, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
