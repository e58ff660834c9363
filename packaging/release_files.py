#!/usr/bin/env python3
"""Writes the text files of the release package into OUT, as a user on Windows reads them.

  OUT/ConsoleHelp/*Help.json            the example help files
  OUT/ConsoleRelay/README.txt           what the package holds and how to install it
  OUT/ConsoleRelay/LICENSE.txt
  OUT/ConsoleRelay/docs/*.txt           the user docs, from the Markdown pages of the repository
  OUT/ConsoleRelay/examples/*           an example console program and console-server rules

Every file gets CRLF line ends. Links between the docs are rewritten to the packaged names; a
link to anything the package does not hold keeps only its text.

Usage: release_files.py SOURCE_DIR OUT VERSION
"""

import os
import re
import shutil
import sys

# Repository file -> where the package has it, below OUT/ConsoleRelay.
DOCS = {
    "docs/install.md": "docs/install.txt",
    "docs/console-programs.md": "docs/console-programs.txt",
    "docs/help-files.md": "docs/help-files.txt",
    "docs/log-lines.md": "docs/log-lines.txt",
    "tools/console-server/README.md": "docs/console-server.txt",
    "tools/console-help-check/README.md": "docs/console-help-check.txt",
}
EXAMPLES = {
    "examples/console_program.py": "examples/console_program.py",
    "tools/console-server/examples/demo.rules": "examples/demo.rules",
}
HELP_EXAMPLES = "examples/ConsoleHelp"

LINK = re.compile(r"\[([^\]]*)\]\(([^)\s]+)\)")


def write(path, text):
    """Writes text (bytes, or a string as UTF-8) with CRLF line ends."""
    if isinstance(text, str):
        text = text.encode("utf-8")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))


def packaged_links(text, source):
    """Points each link at the packaged file, or leaves only its text."""
    here = os.path.dirname(DOCS[source])
    shipped = dict(DOCS, **EXAMPLES)

    def replace(match):
        label, target = match.groups()
        if re.match(r"[a-z]+://", target):
            return match.group(0)
        path = target.split("#", 1)[0]
        if not path:
            return label  # an anchor within the page
        in_repo = os.path.normpath(os.path.join(os.path.dirname(source), path))
        if in_repo not in shipped:
            return label
        packaged = os.path.relpath(shipped[in_repo], here).replace(os.sep, "/")
        if label.endswith(".md") or "/" in label:
            return packaged  # the label was the repository's file name
        return "%s (%s)" % (label, packaged)

    return LINK.sub(replace, text)


def main(source_dir, out, version):
    shutil.rmtree(out, ignore_errors=True)
    folder = os.path.join(out, "ConsoleRelay")

    def read(name):
        with open(os.path.join(source_dir, name), "rb") as f:
            return f.read()

    write(os.path.join(folder, "README.txt"),
          read("packaging/README.txt").replace(b"@VERSION@", version.encode()))
    write(os.path.join(folder, "LICENSE.txt"), read("LICENSE"))
    for source, packaged in DOCS.items():
        write(os.path.join(folder, packaged), packaged_links(read(source).decode("utf-8"), source))
    for source, packaged in EXAMPLES.items():
        write(os.path.join(folder, packaged), read(source))
    for name in sorted(os.listdir(os.path.join(source_dir, HELP_EXAMPLES))):
        if name.endswith(".json"):
            write(os.path.join(out, "ConsoleHelp", name), read(HELP_EXAMPLES + "/" + name))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.rsplit("\n\n", 1)[1].strip())
    main(*sys.argv[1:])
