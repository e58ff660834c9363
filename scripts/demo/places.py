"""Where the demo's files are, and how it finds things in the folders a user gives it, as Windows
and console-help-check find them."""

import os
import re
import sys

SCRIPTS_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOT = os.path.dirname(SCRIPTS_DIR)
# Where the person who started the demo stands: scripts/demo.sh runs the demo from ROOT.
CALLER_DIR = os.environ.get("CONSOLE_RELAY_DEMO_CALLER_DIR") or os.getcwd()
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, SCRIPTS_DIR)
import harness  # noqa: E402,F401 (found through the path above; the demo's modules take it here)
import dll_exports  # noqa: E402,F401 (scripts/, beside the package)

BIN_DIR = os.environ.get("CONSOLE_RELAY_BIN") or os.path.join(ROOT, "build", "windows", "bin")
NATIVE_DIR = os.path.join(ROOT, "build", "native")
CONSOLE_SERVER = os.path.join(NATIVE_DIR, "tools", "console-server", "console-server")
HELP_CHECK = os.path.join(NATIVE_DIR, "tools", "console-help-check", "console-help-check")
GAME = os.path.join(BIN_DIR, "Zandrel.exe")
LOADER = os.path.join(BIN_DIR, "loader.dll")
RULES = os.path.join(ROOT, "tools", "console-server", "examples", "demo.rules")
EXAMPLES_DIR = os.path.join(ROOT, "examples", "ConsoleHelp")
GAME_HELP_DIR = "nativePC/plugins/ConsoleHelp"
PLUGIN_NAME = "ConsoleRelay.dll"
BUILT_PLUGIN = os.path.join(BIN_DIR, PLUGIN_NAME)
# Where console-help-check looks for the help folder inside a folder it is given, outside in.
HELP_FOLDER_WAYS = (("nativePC", "plugins", "ConsoleHelp"), ("plugins", "ConsoleHelp"),
                    ("ConsoleHelp",))


def shown_path(path):
    """path as the person at the keyboard can use it: relative to where they stand, unless that
    leads up out of it."""
    relative = os.path.relpath(path, CALLER_DIR)
    return path if relative.startswith("..") else relative


def given_path(path):
    """A path given on the command line, taken from where the person stands."""
    return os.path.abspath(os.path.join(CALLER_DIR, path))


def same_name_in(folder, name, wanted=os.path.exists):
    """The entry of folder named name, or one whose name differs in case only (Windows finds its
    files so), that is wanted; None when there is none."""
    try:
        names = os.listdir(folder)
    except OSError:
        return None
    matches = [entry for entry in sorted(names)
               if entry.lower() == name.lower() and wanted(os.path.join(folder, entry))]
    if not matches:
        return None
    return os.path.join(folder, name if name in matches else matches[0])


def folder_down(folder, way):
    """The folder reached from folder through the folder names of way, in any case as Windows
    finds them; None when one is missing."""
    for name in way:
        folder = same_name_in(folder, name, os.path.isdir)
        if folder is None:
            return None
    return folder


def find_help_folder(folder):
    """The help folder that console-help-check finds in folder: its nativePC/plugins/ConsoleHelp,
    plugins/ConsoleHelp or ConsoleHelp, else folder itself."""
    for way in HELP_FOLDER_WAYS:
        found = folder_down(folder, way)
        if found is not None:
            return found
    return folder


def help_commands(folder):
    """The commands that have a help file in folder, as the player types them."""
    commands = []
    for base, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            if name.lower().endswith("help.json"):
                path = os.path.relpath(os.path.join(base, name), folder)
                commands.append(path[:-len("help.json")].replace(os.sep, "/"))
    return commands


def rule_commands(path):
    """The commands of the rules in the file at path, as console-server reads them now: the
    first word of each COMMAND -> REPLY or COMMAND => PROGRAM line but the * rule."""
    try:
        with open(path, encoding="utf-8-sig", errors="replace") as f:
            lines = f.read().splitlines()
    except OSError:
        return []
    commands = []
    for line in lines:
        found = re.match(r"\s*([^#\s]\S*)\s*[-=]>", line)
        if found and found.group(1) != "*" and found.group(1) not in commands:
            commands.append(found.group(1))
    return commands
