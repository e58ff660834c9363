#!/usr/bin/env python3
"""Checks that each part of src/ includes only the parts its arrows name.

The arrows are the table in docs/architecture.md ("May use"), so that the rules a reader sees
are the rules the tree is held to. A part may always include itself, and any part may include
src/plugin_numbers.h, which belongs to no folder.

Usage: check_arrows.py [SOURCE_ROOT]   (default: the checkout this script is in)
Exits 1, naming each include that no arrow allows.
"""
import os
import re
import sys

TABLE_ROW = re.compile(r"^\| `src/(\w+)/` \|[^|]*\|[^|]*\| ([^|]*) \|$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"(\w+)/[^"]*"', re.MULTILINE)


def read_arrows(architecture_text):
    """{part: set of parts it may use}, from the table's rows."""
    arrows = {}
    for line in architecture_text.splitlines():
        row = TABLE_ROW.match(line.strip())
        if row:
            part, may_use = row.groups()
            arrows[part] = set() if may_use.strip() == "nothing" else {
                name.strip() for name in may_use.split(",")}
    return arrows


def wrong_includes(arrows, includes_of):
    """(file, included part) for each include that no arrow allows. includes_of(part) yields
    (file, included part) pairs."""
    wrong = []
    for part in sorted(arrows):
        allowed = arrows[part] | {part}
        wrong += [(file, used) for file, used in includes_of(part) if used not in allowed]
    return wrong


def tree_includes(root):
    def includes_of(part):
        folder = os.path.join(root, "src", part)
        for dirpath, _, names in os.walk(folder):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8") as source:
                    for used in INCLUDE.findall(source.read()):
                        yield os.path.relpath(path, root), used
    return includes_of


SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def check(root):
    """Prints what breaks an arrow, or one line that all hold; 1 when something breaks one."""
    with open(os.path.join(root, "docs", "architecture.md"), encoding="utf-8") as doc:
        arrows = read_arrows(doc.read())
    parts = {name for name in os.listdir(os.path.join(root, "src"))
             if os.path.isdir(os.path.join(root, "src", name))}
    unlisted = sorted(parts - set(arrows))
    for part in unlisted:
        print("src/%s/: a part with no row in docs/architecture.md" % part)
    wrong = wrong_includes(arrows, tree_includes(root))
    for file, used in wrong:
        print("%s: includes %s/, which no arrow of its part allows" % (file, used))
    if unlisted or wrong:
        return 1
    print("Arrows: %d parts, every include allowed by docs/architecture.md" % len(arrows))
    return 0


if __name__ == "__main__":
    sys.exit(check(sys.argv[1] if len(sys.argv) > 1 else SOURCE_ROOT))
