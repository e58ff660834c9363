#!/usr/bin/env python3
"""Checks that each part of the plugin and of its tools includes only the parts its arrows name.

The arrows are the tables in docs/architecture.md ("May use"), so that the rules a reader sees
are the rules the tree is held to. A table names a part's files in its first column (`src/relay/`)
or, when it has a "Files (in `ROOT`)" column, by folders and file patterns below ROOT
(`console-server/rules/`, `console-server/console_server.*`). A part may always include itself,
and any part may include a file that lies directly in src/ (plugin_numbers.h), which belongs to
no folder. Tests (*_test.cpp) are no part: they may use what the part they test is checked
against.

An include is looked for as the compiler looks for it: beside the including file, then in its
tool's folder, then in src/.

Usage: check_arrows.py [SOURCE_ROOT]   (default: the checkout this script is in)
Exits 1, naming each include that no arrow allows and each source that no part holds.
"""
import fnmatch
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
QUOTED = re.compile(r"`([^`]+)`")
SOURCE_ENDINGS = (".h", ".cpp")
TEST_ENDING = "_test.cpp"


class Part:
    def __init__(self, name, paths, may_use):
        self.name = name
        self.paths = paths  # folders ending in "/", or file patterns, from the source root
        self.may_use = may_use

    def holds(self, path):
        for held in self.paths:
            if held.endswith("/"):
                if path.startswith(held):
                    return True
            elif os.path.dirname(path) == os.path.dirname(held) and fnmatch.fnmatchcase(
                    path, held):
                return True
        return False


def cells(line):
    return [cell.strip() for cell in line.strip().strip("|").split("|")]


def table_parts(lines):
    """The parts of one table: its header line, its rule line and its rows."""
    header = cells(lines[0])
    if "May use" not in header or len(lines) < 3:
        return []
    may_use_at = header.index("May use")
    files_at = next((i for i, cell in enumerate(header) if cell.startswith("Files")), None)
    files_root = QUOTED.findall(header[files_at])[0] if files_at is not None else ""
    parts = []
    for line in lines[2:]:
        row = cells(line)
        if len(row) != len(header):
            continue
        if files_at is None:
            # `src/relay/` names the part relay.
            paths = QUOTED.findall(row[0])
            name = paths[0].rstrip("/").split("/")[-1] if paths else row[0]
        else:
            name = row[0].strip("`")
            paths = [files_root + path for path in QUOTED.findall(row[files_at])]
        may_use = row[may_use_at]
        parts.append(Part(name, paths, set() if may_use == "nothing" else {
            used.strip().strip("`") for used in may_use.split(",")}))
    return parts


def read_parts(architecture_text):
    """{name: Part}, from every table of the text that has a "May use" column."""
    parts = {}
    table = []
    for line in architecture_text.splitlines() + [""]:
        if line.strip().startswith("|"):
            table.append(line)
            continue
        for part in table_parts(table) if table else []:
            parts[part.name] = part
        table = []
    return parts


def part_of(parts, path):
    """The name of the part that holds the file, or None."""
    for part in parts.values():
        if part.holds(path):
            return part.name
    return None


def unknown_arrows(parts):
    """(part, name) for each name in a "May use" column that no row has."""
    return [(part.name, used) for part in parts.values() for used in sorted(part.may_use)
            if used not in parts]


def allowed(parts, file, used):
    """Whether an arrow allows the include. file and used are from the source root; used is None
    when the included file was not found."""
    part = part_of(parts, file)
    if part is None or file.endswith(TEST_ENDING):
        return True
    if used is None:
        return False
    if used.startswith("src/") and "/" not in used[len("src/"):]:
        return True  # a file of no folder of src/
    return part_of(parts, used) in parts[part].may_use | {part}


def wrong_includes(parts, includes):
    """(file, included file) for each include that no arrow allows, of (file, included file)
    pairs."""
    return [(file, used) for file, used in includes if not allowed(parts, file, used)]


def sources(root, folder):
    """The sources below root/folder, from the source root, in a stable order."""
    found = []
    for dirpath, dirnames, names in os.walk(os.path.join(root, folder)):
        dirnames.sort()
        for name in sorted(names):
            if name.endswith(SOURCE_ENDINGS):
                found.append(os.path.relpath(os.path.join(dirpath, name), root).replace(
                    os.sep, "/"))
    return found


def resolved(root, file, include):
    """The file an include names, from the source root, as the compiler finds it; or None."""
    folders = [os.path.dirname(file)]
    if file.startswith("tools/"):
        folders.append("/".join(file.split("/")[:2]))
    folders.append("src")
    for folder in folders:
        path = os.path.normpath(os.path.join(folder, include)).replace(os.sep, "/")
        if os.path.isfile(os.path.join(root, path)):
            return path
    return None


def checked_folders(parts):
    """src/ and the folder of each tool that a table names."""
    folders = {"src"}
    for part in parts.values():
        for path in part.paths:
            if path.startswith("tools/"):
                folders.add("/".join(path.split("/")[:2]))
    return sorted(folders)


SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def check(root):
    """Prints what breaks an arrow, or one line that all hold; 1 when something breaks one."""
    with open(os.path.join(root, "docs", "architecture.md"), encoding="utf-8") as doc:
        parts = read_parts(doc.read())
    trouble = ["%s: may use %s, which no row names" % arrow for arrow in unknown_arrows(parts)]
    for folder in checked_folders(parts):
        for file in sources(root, folder):
            if part_of(parts, file) is None and not file.endswith(TEST_ENDING) and (
                    folder != "src" or "/" in file[len("src/"):]):
                trouble.append("%s: a source that no row of docs/architecture.md holds" % file)
            with open(os.path.join(root, file), encoding="utf-8") as source:
                includes = INCLUDE.findall(source.read())
            for include in includes:
                used = resolved(root, file, include)
                if allowed(parts, file, used):
                    continue
                if used is None:
                    trouble.append('%s: includes "%s", which is found nowhere' % (file, include))
                else:
                    trouble.append("%s: includes %s (%s), which no arrow of %s allows" % (
                        file, used, part_of(parts, used) or "no part", part_of(parts, file)))
    for line in trouble:
        print(line)
    if trouble:
        return 1
    print("Arrows: %d parts, every include allowed by docs/architecture.md" % len(parts))
    return 0


if __name__ == "__main__":
    sys.exit(check(sys.argv[1] if len(sys.argv) > 1 else SOURCE_ROOT))
