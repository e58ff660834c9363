#!/usr/bin/env python3
"""Writes the text files of the release package into OUT, as a user on Windows reads them.

  OUT/ConsoleRelay/README.txt               what the package holds and how to install it
  OUT/ConsoleRelay/LICENSE.txt
  OUT/ConsoleRelay/docs/*.txt               the player's and server owner's guide (packaging/docs)
  OUT/ConsoleRelay/examples/                a console program, console-server rules, and the
                                            example help files in ConsoleHelp/

The example help files go below ConsoleRelay, not into the game's ConsoleHelp folder: that
folder is the user's, and unpacking a new version must not overwrite it. Every file gets CRLF
line ends.

Usage: release_files.py SOURCE_DIR OUT VERSION
"""

import os
import shutil
import sys

GUIDE = "packaging/docs"
# Repository file -> where the package has it, below OUT/ConsoleRelay.
EXAMPLES = {
    "examples/console_program.py": "examples/console_program.py",
    "tools/console-server/examples/demo.rules": "examples/demo.rules",
    "tools/console-server/examples/programs-windows.rules": "examples/programs.rules",
    "tools/console-server/examples/roll.py": "examples/roll.py",
}
HELP_EXAMPLES = "examples/ConsoleHelp"


def write(path, text):
    """Writes text (bytes) with CRLF line ends."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))


def main(source_dir, out, version):
    shutil.rmtree(out, ignore_errors=True)
    folder = os.path.join(out, "ConsoleRelay")

    def read(name):
        with open(os.path.join(source_dir, name), "rb") as f:
            return f.read()

    write(os.path.join(folder, "README.txt"),
          read("packaging/README.txt").replace(b"@VERSION@", version.encode()))
    write(os.path.join(folder, "LICENSE.txt"), read("LICENSE"))
    for name in sorted(os.listdir(os.path.join(source_dir, GUIDE))):
        write(os.path.join(folder, "docs", name), read(GUIDE + "/" + name))
    for source, packaged in EXAMPLES.items():
        write(os.path.join(folder, packaged), read(source))
    for name in sorted(os.listdir(os.path.join(source_dir, HELP_EXAMPLES))):
        if name.endswith(".json"):
            write(os.path.join(folder, "examples", "ConsoleHelp", name),
                  read(HELP_EXAMPLES + "/" + name))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.rsplit("\n\n", 1)[1].strip())
    main(*sys.argv[1:])
