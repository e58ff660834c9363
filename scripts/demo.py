#!/usr/bin/env python3
"""The demo's driver: the real plugin in the simulated game under Wine, with a console program.

scripts/demo.sh builds everything and then runs this. It starts console-server (or leaves the
console port to yours), starts the game in a folder of its own whose help folder is a link to
the chosen one (so that an edit shows on the next request, as in the game), waits out the
plugin's set-up, plays a short scripted session and then hands the chat to the person at the
keyboard. Whatever it starts, it stops. The game is driven through the end-to-end tests' harness
(tests/e2e/harness.py), so that tests and demo read the game in one way.
"""

import argparse
import json
import os
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Where the person who started the demo stands: scripts/demo.sh runs this from ROOT.
CALLER_DIR = os.environ.get("CONSOLE_RELAY_DEMO_CALLER_DIR") or os.getcwd()
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402 (found through the path above)
import dll_exports  # noqa: E402 (beside this file)

BIN_DIR = os.environ.get("CONSOLE_RELAY_BIN") or os.path.join(ROOT, "build", "windows", "bin")
NATIVE_DIR = os.path.join(ROOT, "build", "native")
CONSOLE_SERVER = os.path.join(NATIVE_DIR, "tools", "console-server", "console-server")
HELP_CHECK = os.path.join(NATIVE_DIR, "tools", "console-help-check", "console-help-check")
RULES = os.path.join(ROOT, "tools", "console-server", "examples", "demo.rules")
EXAMPLES_DIR = os.path.join(ROOT, "examples", "ConsoleHelp")
GAME_HELP_DIR = "nativePC/plugins/ConsoleHelp"
# How a help folder gets its files from a rule file: the line of console-server's quick start
# (tools/console-server/README.md) that the demo gives for an empty help folder.
HELP_FROM_RULES = ("console-server --script RULES --help-dir DIR writes a DIR/<command>Help.json "
                   "per described rule.")
# Where console-help-check looks for the help folder inside a folder it is given, outside in.
HELP_FOLDER_WAYS = (("nativePC", "plugins", "ConsoleHelp"), ("plugins", "ConsoleHelp"),
                    ("ConsoleHelp",))
READY_LINE = harness.plugin_text("relay/relay_worker.cpp", "kReady")
# The plugin's first line, written as soon as the game has loaded it.
LOADING_LINE = harness.plugin_text("entry/load.cpp", "kLoading")
# How long the game may run without that line before the demo takes the DLL for another one.
LOADING_WAIT = 10
PLUGIN_NAME = "ConsoleRelay.dll"
# The export that the game's loader calls: bool Load(), as Microsoft's compiler names it.
LOAD_EXPORT = "?Load@@YA_NXZ"
NO_LOAD_EXPORT = "this DLL is not ConsoleRelay: it has no Load export"
# Where the plugin is in a folder given to --plugin, outside in: a game folder, its nativePC
# folder, its plugins folder.
PLUGIN_FOLDER_WAYS = (("nativePC", "plugins"), ("plugins",), ())
LINK_LINES = "relay/server_link.h"
CONNECTED_LINE = harness.plugin_text(LINK_LINES, "kConnectSucceeded")
# The plugin's lines when a link to a console program is made later, or lost.
LINKED_AGAIN_LINE = harness.plugin_text(LINK_LINES, "kConnectedAgain")
LINK_LOST_LINE = harness.plugin_text(LINK_LINES, "kConnectionLost")
NOT_SENT_PREFIX = harness.plugin_text("relay/pending_lines.cpp", "kNotSent")
# The log line of a console message shown in the chat: this, then the text shown.
CONSOLE_MESSAGE_PREFIX = harness.plugin_text("relay/relay_pass.cpp", "kConsoleLine")
# The plugin's lines when it cannot reach the console program (all but the socket's creation).
CONNECT_FAILURES = tuple(harness.plugin_text(LINK_LINES, name) for name in (
    "kConnectFailed", "kInvalidSocket", "kNonBlockingFailed", "kWinsockFailed"))
# While it has no link, the plugin looks for a console program this often.
RETRY_SECONDS = harness.plugin_constant("kConnectRetry") / 1000
# How long a chat line may take to show before the prompt says why nothing showed.
HINT_AFTER = 1.0
PROMPT = "you> "
# The rule for a console program's messages, as docs/console-programs.md words it.
ONE_MESSAGE_PER_SEND = ("Send one message per send, \"console \" and its text with no line end, "
                        "and leave a pause of about 100 ms before the next.")
# What a console message that shows a console program's mistake looks like, and what it means.
MESSAGE_MISTAKES = (
    (re.compile(rb"[\r\n]"), "That message from the console program holds a line end, which the "
                              "chat shows as it is."),
    (re.compile(rb"\Sconsole "), "That message looks like two or more messages sent back to back: "
                                 "the plugin read them in one receive and showed them as one."),
)
# Why the demo cannot start its console-server. Only a listener takes the port: the connections
# of an earlier run that are still closing do not (console_port_taken, and console-server, set
# SO_REUSEADDR).
PORT_TAKEN = (
    "port %(port)d on 127.0.0.1 is taken: a program listens on it (not an earlier run's "
    "connection, still closing: that would not count). If it is a console program of yours, the "
    "demo can use it: scripts/demo.sh --own-console. Otherwise, \"ss -ltnp 'sport = :%(port)d'\" "
    "names the program (another demo's console-server?) and its process id; end it, then start "
    "the demo again.")

DESCRIPTION = """\
Runs the real ConsoleRelay.dll in the simulated game under Wine, with a console program on
127.0.0.1:50382. Once the plugin is set up (45 s), it plays a short session and then leaves you
at the game's chat: what you type is typed into the chat ("/..." lines are commands; a line
starting with ! is typed into console-server instead). When a command shows nothing in the chat,
the demo says why: which help file the plugin looked for, or whether the line went to the
console program.
"""
EPILOG = """\
examples:
  scripts/demo.sh
      console-server and the example help files (examples/ConsoleHelp)
  python3 examples/console_program.py    (in another terminal, before or after)
  scripts/demo.sh --own-console --help-dir my/ConsoleHelp
      your console program and your help files (a game folder that holds them works too)
  scripts/demo.sh --rules my.rules
      console-server with your rules; the comment line above a rule is its command's help
  scripts/demo.sh --plugin unpacked-zip
      a release ZIP's DLL in place of the one built here (the folder, or the DLL itself)

exit status: 0 when everything went as expected (or you ended the session with Ctrl-D),
1 when something failed (said on the last line), 2 for a bad option, 130 after Ctrl-C.
"""

# Each source of output gets a tag and, on a terminal, a colour.
TAGS = {"demo": "1;36", "chat": "32", "log": "34", "console": "33", "game": "31"}
COLOUR = sys.stdout.isatty() and not os.environ.get("NO_COLOR")
ON_TERMINAL = sys.stdout.isatty()

print_lock = threading.Lock()
# The line kept at the bottom of the terminal under the output: the set-up progress or the prompt.
footer = None

# console-server's output lines, for the scripted steps to wait on (None: it ended).
server_cond = threading.Condition()
server_lines = []

game = None
server = None
made_help_folder = None  # the help folder that the demo made for --rules, removed at the end
stopping = False
# How many of the game's events follow_game has shown, so that the demo's own lines come after
# the log lines they speak of.
shown_cond = threading.Condition()
shown_count = 0
test_line_explained = False
last_chat = None  # the text of the chat line shown last
mistakes_explained = set()

try:
    import readline  # noqa: F401 (line editing and history for the prompt)
except ImportError:
    readline = None


class DemoFailed(Exception):
    """Ends the demo with exit status 1 and the reason."""


def parse_options(argv):
    parser = argparse.ArgumentParser(
        prog="scripts/demo.sh", description=DESCRIPTION, epilog=EPILOG, allow_abbrev=False,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument(
        "--no-interactive", action="store_true",
        help="stop after the scripted session (with --own-console: once the plugin is set up), "
             "with exit status 0 only when everything showed as expected")
    parser.add_argument(
        "--own-console", action="store_true",
        help="start no console-server and play no script: the plugin links to your console "
             "program on 127.0.0.1:50382 whenever it listens, started before the demo or after "
             "(without a link, the plugin looks for one every 2 s); with --no-interactive, the "
             "demo stops with an error when none listens once the plugin is set up")
    parser.add_argument(
        "--rules", metavar="FILE",
        help="run console-server with your rule file in place of the example's, writing a help "
             "file for each rule with a comment line above it into the game's help folder: a "
             "fresh folder of the demo's own, or the one --help-dir names; an edit of the rules "
             "shows within seconds")
    parser.add_argument(
        "--plugin", metavar="PATH",
        help="run this ConsoleRelay.dll (from a release ZIP, or another build) in the game in "
             "place of the one the demo builds; a folder (an unpacked ZIP, a game folder) gives "
             "the one ConsoleRelay.dll in it")
    parser.add_argument(
        "--help-dir", metavar="DIR",
        help="your help folder (<command>Help.json files, subfolders included) instead of "
             "examples/ConsoleHelp, or a folder that holds one as %s, plugins/ConsoleHelp or "
             "ConsoleHelp (a game folder, say), found as console-help-check finds it; the game's "
             "%s is a link to it, so an edit shows on the next request" % (
                 GAME_HELP_DIR, GAME_HELP_DIR))
    options = parser.parse_args(argv)
    options.plugin_path = os.path.join(BIN_DIR, PLUGIN_NAME)
    options.plugin_folder = None  # the folder given to --plugin, when one was
    if options.plugin:
        options.plugin_path = os.path.abspath(os.path.join(CALLER_DIR, options.plugin))
        if os.path.isdir(options.plugin_path):
            options.plugin_folder = options.plugin_path
            options.plugin_path, why_not = find_plugin(options.plugin_folder)
            if why_not:
                parser.error("--plugin %s: %s" % (options.plugin, why_not))
        why_not = why_not_a_plugin(options.plugin_path)
        if why_not and options.plugin_folder:
            parser.error("--plugin %s: %s: %s" % (options.plugin, shown_path(options.plugin_path),
                                                  why_not))
        if why_not:
            parser.error("--plugin %s: %s" % (options.plugin, why_not))
    if options.rules and options.own_console:
        parser.error("--rules runs console-server with your rules, --own-console runs none: "
                     "give one of them")
    options.rules_path = RULES
    if options.rules:
        options.rules_path = os.path.abspath(os.path.join(CALLER_DIR, options.rules))
        if not os.path.isfile(options.rules_path):
            parser.error("--rules %s: no such file" % options.rules)
    # With --rules and no --help-dir, start() makes a fresh help folder: never the examples.
    options.help_folder = None if options.rules else EXAMPLES_DIR
    if options.help_dir:
        given = os.path.join(CALLER_DIR, options.help_dir)
        if not os.path.isdir(given):
            parser.error("--help-dir %s: no such folder" % options.help_dir)
        options.help_folder = find_help_folder(os.path.abspath(given))
        if not options.rules and not help_commands(options.help_folder):
            parser.error("--help-dir %s: no help file (<command>Help.json) in %s. %s With "
                         "--rules RULES, the demo runs it so." % (
                             options.help_dir, shown_path(options.help_folder), HELP_FROM_RULES))
    return options


def find_plugin(folder):
    """(the plugin in folder, None), or (None, why there is none): the folder's
    nativePC/plugins/ConsoleRelay.dll, plugins/ConsoleRelay.dll or ConsoleRelay.dll, else the one
    ConsoleRelay.dll a few folders down."""
    for way in PLUGIN_FOLDER_WAYS:
        found = folder_down(folder, way)
        found = found and same_name_in(found, PLUGIN_NAME, os.path.isfile)
        if found:
            return found, None
    found = []
    for base, dirs, files in os.walk(folder):
        if base.count(os.sep) - folder.count(os.sep) >= 3:
            dirs.clear()  # a whole disk given by mistake is not searched
        dirs.sort()
        found += [os.path.join(base, name) for name in sorted(files)
                  if name.lower() == PLUGIN_NAME.lower()]
    if len(found) == 1:
        return found[0], None
    if not found:
        return None, "a folder with no %s in it; give the DLL itself, or a game folder" % (
            PLUGIN_NAME)
    return None, "a folder with %d of %s in it (%s); give the DLL itself" % (
        len(found), PLUGIN_NAME, ", ".join(shown_path(path) for path in found))


def why_not_a_plugin(path):
    """Why the file at path cannot be the plugin, a 64-bit Windows DLL that exports Load; None
    when it can."""
    if not os.path.exists(path):
        return "no such file"
    with open(path, "rb") as f:
        image = f.read()
    head = image[:4096]
    if head.startswith(b"PK\x03\x04"):
        return "a ZIP; unpack it and give the DLL inside, nativePC/plugins/ConsoleRelay.dll"
    # A Windows image: "MZ", and at the offset that bytes 0x3C to 0x3F hold, "PE\0\0", the
    # machine (2 bytes) and, 18 bytes on, the characteristics, whose bit 0x2000 marks a DLL.
    header = int.from_bytes(head[0x3C:0x40], "little") if len(head) >= 0x40 else 0
    pe = head[header:header + 24]
    if not head.startswith(b"MZ") or len(pe) < 24 or not pe.startswith(b"PE\0\0"):
        return "not a Windows DLL"
    if not int.from_bytes(pe[22:24], "little") & 0x2000:
        return "a Windows program, not a DLL"
    if pe[4:6] != b"\x64\x86":  # x64; the game is a 64-bit program
        return "not a 64-bit DLL (the game is 64-bit)"
    try:
        exports = dll_exports.exported_names(image)
    except dll_exports.NotReadable as error:
        return "a damaged DLL: %s" % error
    if LOAD_EXPORT not in exports:
        return NO_LOAD_EXPORT
    return None


def shown_path(path):
    """path as the person at the keyboard can use it: relative to where they stand, unless that
    leads up out of it."""
    relative = os.path.relpath(path, CALLER_DIR)
    return path if relative.startswith("..") else relative


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


def show(source, text):
    line = "%-7s | %s" % (source, text)
    if COLOUR:
        line = "\033[%sm%s\033[0m" % (TAGS[source], line)
    with print_lock:
        try:
            if ON_TERMINAL and footer is not None:
                # Write over the footer, then draw it again below the new line.
                sys.stdout.write("\r\033[K" + line + "\n" + footer_text())
            else:
                sys.stdout.write(line + "\n")
            sys.stdout.flush()
        except OSError:
            pass  # the terminal is gone; the clean-up must go on all the same


def footer_text():
    if footer == PROMPT and readline:
        return PROMPT + readline.get_line_buffer()
    return footer or ""


def set_footer(text):
    global footer
    with print_lock:
        footer = text
        if ON_TERMINAL and text is not None and text != PROMPT:
            sys.stdout.write("\r\033[K" + text)
            sys.stdout.flush()


def clear_footer():
    global footer
    with print_lock:
        if ON_TERMINAL and footer is not None and footer != PROMPT:
            try:
                sys.stdout.write("\r\033[K")
                sys.stdout.flush()
            except OSError:
                pass
        footer = None


# Characters that reorder, hide or break how a terminal shows a line (the bidirectional controls
# U+061C, U+200E, U+200F, U+202A to U+202E and U+2066 to U+2069; U+200B; U+2028 and U+2029).
BIDI_CONTROLS = ({0x061C, 0x200B, 0x200E, 0x200F, 0x2028, 0x2029} | set(range(0x202A, 0x202F)) |
                 set(range(0x2066, 0x206A)))


def text(data):
    """data as console-help-check prints a text: bytes that are no UTF-8, the controls (C0, DEL
    and C1) and the bidirectional controls as \\xNN of their bytes; every other letter as it is.
    So a game's line shows on one line, whatever bytes it holds."""
    shown = []
    for character in data.decode("utf-8", "surrogateescape"):
        code = ord(character)
        if 0xDC80 <= code <= 0xDCFF:  # a byte that is no UTF-8, as surrogateescape keeps it
            shown.append("\\x%02x" % (code - 0xDC00))
        elif code < 0x20 or 0x7F <= code <= 0x9F or code in BIDI_CONTROLS:
            shown.extend("\\x%02x" % byte for byte in character.encode("utf-8"))
        else:
            shown.append(character)
    return "".join(shown)


def follow_game():
    """Shows each event of the harness's reader as it comes."""
    global shown_count
    seen = 0
    while True:
        with game.cond:
            game.cond.wait_for(lambda: len(game.events) > seen)
            events = game.events[seen:]
        seen += len(events)
        for event in events:
            try:
                show_event(event)
            except ValueError:  # a line the harness cannot take apart: shown as it came
                show("game", "%s %s" % (event.kind, event.payload))
            with shown_cond:
                shown_count += 1
                shown_cond.notify_all()
            if event.kind == "exit":
                return


def wait_shown():
    """Waits until every event of the game so far has been shown (or for a second at most)."""
    position = game.mark()
    with shown_cond:
        shown_cond.wait_for(lambda: shown_count >= position, timeout=1.0)


def explain_message_mistake(message):
    """Says once for each kind of mistake when a console message shows one."""
    for pattern, meaning in MESSAGE_MISTAKES:
        if pattern.search(message) and meaning not in mistakes_explained:
            mistakes_explained.add(meaning)
            show("demo", "(%s %s)" % (meaning, ONE_MESSAGE_PER_SEND))


def show_event(event):
    global test_line_explained, last_chat
    if event.kind == "log":
        show("log", text(event.log_text))
        # A console message's log line follows its chat line.
        if last_chat is not None and event.log_text == CONSOLE_MESSAGE_PREFIX + last_chat:
            explain_message_mistake(last_chat)
        if event.log_text == LINK_LOST_LINE:
            show("demo", "(The console program closed the link, or it broke. The plugin links "
                         "again as soon as a console program listens; it looks every %g s.)"
                 % RETRY_SECONDS)
        if event.log_text == b"TEST" and not test_line_explained:
            test_line_explained = True
            show("demo", "(The plugin logs TEST for every command line that holds a space, "
                         "before it handles the line.)")
    elif event.kind == "chat":
        last_chat = event.chat[4]
        show("chat", text(last_chat))
    elif event.kind == "player":
        show("chat", "<you> " + text(harness.unescape(event.payload)))
    elif event.kind == "error":
        show("game", "error: " + text(harness.unescape(event.payload)))
    elif event.kind == "exit" and not stopping:
        show("game", "the game ended")


def read_server():
    for raw in server.stdout:
        line = raw.decode("utf-8", "replace").rstrip("\r\n")
        show("console", line)
        with server_cond:
            server_lines.append(line)
            server_cond.notify_all()
    with server_cond:
        server_lines.append(None)
        server_cond.notify_all()


def wait_server_line(pattern, what, timeout=10.0):
    """console-server's first line that matches pattern, or None when it ended without one."""
    def found():
        return next((line for line in server_lines
                     if line is not None and re.search(pattern, line)), None)
    with server_cond:
        if not server_cond.wait_for(lambda: found() or None in server_lines, timeout):
            raise DemoFailed("console-server did not show %s within %d s" % (what, timeout))
        return found()


def game_log(lines, since=0):
    """The first log line from since on that is one of lines, or None."""
    return next((e.log_text for e in game.log_events(since) if e.log_text in lines), None)


def wait_game(predicate, since, what, timeout=10.0):
    try:
        return game.wait_for(predicate, since, timeout)
    except AssertionError:
        raise DemoFailed("the game did not show " + what) from None


def type_in_chat(line):
    """The player types a line in the chat and sends it ("/..." lines are commands)."""
    game.type(line.encode("utf-8"))


def console_says(line):
    """A line typed into console-server: it sends it to the game as a console message."""
    try:
        server.stdin.write((line + "\n").encode("utf-8"))
        server.stdin.flush()
    except OSError:
        raise DemoFailed("console-server has ended") from None


def find_wine():
    wine = os.environ.get("CONSOLE_RELAY_WINE", "/usr/lib/wine/wine64")
    if os.access(wine, os.X_OK):
        return wine
    found = shutil.which("wine64") or shutil.which("wine")
    if not found:
        raise DemoFailed("Wine is missing (scripts/setup.sh --demo installs it)")
    return found


def start(options):
    if not options.own_console and console_port_taken():
        raise DemoFailed(PORT_TAKEN % {"port": harness.CONSOLE_PORT})
    needed = [os.path.join(BIN_DIR, "Zandrel.exe"), os.path.join(BIN_DIR, "loader.dll")]
    if not options.plugin:
        needed.append(options.plugin_path)
    for path in needed + ([] if options.own_console else [CONSOLE_SERVER]):
        if not os.path.exists(path):
            raise DemoFailed("%s is missing; scripts/demo.sh builds it" % path)
    if options.help_folder is None:
        global made_help_folder
        made_help_folder = options.help_folder = tempfile.mkdtemp(prefix="console-relay-help-")
    if options.own_console:
        show("demo", "Start your console program on 127.0.0.1:50382 whenever you like: the plugin "
                     "links to it within %g s of its listening." % RETRY_SECONDS)
    else:
        start_console_server(options)
    start_game(options)


def console_port_taken():
    """Whether something listens on the console port already. Binds without listening: a
    connection would count as a game with a console program that holds one. SO_REUSEADDR: the
    closed connections of an earlier run do not count, only a listener does."""
    with socket.socket() as probe:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind(("127.0.0.1", harness.CONSOLE_PORT))
        except OSError:
            return True
    return False


def start_console_server(options):
    global server
    command = [CONSOLE_SERVER, "--script", options.rules_path]
    if options.rules:
        # The help of the rules' commands goes where the plugin reads it.
        command += ["--help-dir", options.help_folder]
        show("demo", "Starting console-server with your rules, %s; it writes the help of each "
                     "described rule into %s" % (shown_path(options.rules_path),
                                                 shown_path(options.help_folder)))
    else:
        show("demo", "Starting console-server (rules: %s)" % shown_path(options.rules_path))
    server = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, start_new_session=True)
    threading.Thread(target=read_server, daemon=True).start()
    # Either it listens, or it ends and has said why.
    if wait_server_line("listening on", "that it listens", timeout=15) is None:
        raise DemoFailed("console-server ended at its start (its last line above says why)")


def start_game(options):
    global game
    harness.BIN_DIR = BIN_DIR
    harness.WINE = find_wine()
    harness.EXAMPLES_DIR = ""  # the game's help folder becomes a link to help_folder
    if options.plugin_folder:
        show("demo", "%s is a folder: the plugin is the %s in it, %s." % (
            shown_path(options.plugin_folder), PLUGIN_NAME, shown_path(options.plugin_path)))
    if options.plugin:
        show("demo", "Starting the game under Wine with the plugin %s" % shown_path(
            options.plugin_path))
    else:
        show("demo", "Starting the game with the plugin under Wine")
    try:
        game = harness.Game(plugin=options.plugin_path)
    except AssertionError as error:
        raise DemoFailed("the game did not load the plugin:\n" + str(error)) from None
    loaded = next(e.payload for e in game.events if e.kind == "plugin")
    if not loaded.startswith("loaded"):
        # The game reports "failed" and Windows' error number; 126 is a DLL that it imports.
        raise DemoFailed("the game could not load %s (%s%s)" % (
            shown_path(options.plugin_path), loaded,
            ": a DLL that it imports is missing" if loaded == "failed 126" else ""))
    threading.Thread(target=follow_game, daemon=True).start()
    # The plugin reads its help files relative to the game's folder, anew on every request: with
    # a link there, it reads the very files that are being edited.
    os.rmdir(game.help_dir)
    os.symlink(options.help_folder, game.help_dir, target_is_directory=True)
    show("demo", "The game runs in %s; its help folder is %s itself (through a link), so an "
                 "edit there shows on the next request." % (game.folder,
                                                             shown_path(options.help_folder)))
    started = time.monotonic()
    # The game is ready to chat at once; the plugin only looks after its set-up.
    game.command("ready")
    wait_for_setup(started, options)


def not_loading(options):
    """Why the game runs a DLL that never logged the plugin's first line."""
    return ("the game loaded %s, but after %d s it has not logged \"%s\", which the plugin logs "
            "at once: this DLL is not ConsoleRelay, or not a working build of it" % (
                shown_path(options.plugin_path), LOADING_WAIT, text(LOADING_LINE)))


def wait_for_setup(started, options):
    own_console = options.own_console
    show("demo", "The plugin takes %d s to set itself up: it connects to the console program "
                 "after 5 s, then waits for the game." % harness.SETUP_SECONDS)
    reported = 0
    total = harness.SETUP_SECONDS
    try:
        while not game_log({READY_LINE}):
            if time.monotonic() - started > LOADING_WAIT and not game_log({LOADING_LINE}):
                raise DemoFailed(not_loading(options))
            failure = game_log(CONNECT_FAILURES)
            if failure and not own_console:
                raise DemoFailed(
                    "the plugin could not connect to console-server on 127.0.0.1:50382 (its log "
                    "says \"%s\")" % text(failure))
            if not game.alive():
                raise DemoFailed("the game ended during the set-up")
            elapsed = time.monotonic() - started
            if elapsed > total + 45:
                raise DemoFailed("the plugin never logged " + text(READY_LINE))
            if ON_TERMINAL:
                done = min(30, int(30 * elapsed / total))
                set_footer("        setting up [%s%s] %2d s of %d" % (
                    "#" * done, "." * (30 - done), elapsed, total))
            elif elapsed >= reported + 10:
                reported += 10
                show("demo", "setting up: %d s of %d" % (reported, total))
            with game.cond:
                game.cond.wait(0.25)
    finally:
        clear_footer()
    if not own_console and not game_log({CONNECTED_LINE}):
        raise DemoFailed("the plugin set itself up without logging " + text(CONNECTED_LINE))
    wait_shown()
    if own_console and not game_log({CONNECTED_LINE, LINKED_AGAIN_LINE}):
        show("demo", "No console program listens on 127.0.0.1:50382 yet. Start yours: the plugin "
                     "links to it within %g s and logs %s. Until then, command lines are logged "
                     "as not sent." % (RETRY_SECONDS, text(LINKED_AGAIN_LINE)))


def wait_for_link(since):
    """Waits a few of the plugin's retries for a link to the player's console program."""
    try:
        game.wait_for(lambda e: e.kind == "log" and e.log_text in (CONNECTED_LINE,
                                                                    LINKED_AGAIN_LINE),
                      since, 2 * RETRY_SECONDS + 3)
    except AssertionError:
        raise DemoFailed("no console program listened on 127.0.0.1:50382 once the plugin was "
                         "set up; start yours, then the demo again (or leave out "
                         "--no-interactive and start it at the prompt)") from None


def step(narration, action):
    """Narrates, acts, and returns where the game's events stood before the action."""
    show("demo", narration)
    since = game.mark()
    action()
    return since


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


def scripted_session(options, pause):
    help_folder = options.help_folder
    if help_folder == EXAMPLES_DIR:
        with open(os.path.join(EXAMPLES_DIR, "spawnHelp.json")) as f:
            last_line = json.load(f)["help"][-1].encode("utf-8")
        since = step("The player types /spawn: the plugin answers with help from "
                     "%s/spawnHelp.json." % GAME_HELP_DIR, lambda: type_in_chat("/spawn"))
        wait_game(lambda e: e.kind == "chat" and e.chat[4] == last_line, since,
                  "the help of /spawn")
        time.sleep(pause)
    else:
        commands = help_commands(help_folder)
        if commands:
            show("demo", "Your help files answer: %s" % ", ".join("/" + c for c in commands))
        else:
            show("demo", "No help file in %s: console-server writes one for each rule with a "
                         "comment line right above it." % shown_path(help_folder))
        for command in commands[:3]:
            show("demo", "The player types /%s:" % command)
            type_and_explain("/" + command, help_folder)
            time.sleep(pause)
    if options.rules_path == RULES:
        kick_bob(pause)
    # Typed into console-server: whatever the rules, it goes to the game.
    welcome = "Welcome! This message came from the console program."
    since = step("Now console-server's user types a line: it goes to the game as "
                 "\"console <line>\".", lambda: console_says(welcome))
    wait_game(lambda e: e.kind == "chat" and e.chat[4] == welcome.encode(), since,
              "the console message")
    time.sleep(pause)

    since = step("An ordinary chat line (no /) is left to the game.",
                 lambda: type_in_chat("hello everyone"))
    wait_game(lambda e: e.kind == "player" and e.payload == "hello everyone", since,
              "the chat line")
    time.sleep(pause)


def kick_bob(pause):
    """The example rules' /kick bob, answered in the chat."""
    since = step("The player types /kick bob: the plugin sends \"kick bob\" to console-server, "
                 "whose rule \"kick -> Kicked {args}.\" answers in the chat.",
                 lambda: type_in_chat("/kick bob"))
    wait_server_line(r" > kick bob$", "that it got \"kick bob\"")
    wait_game(lambda e: e.kind == "chat" and e.chat[4] == b"Kicked bob.", since,
              "console-server's answer to /kick bob")
    time.sleep(pause)


def find_help_file(command):
    """The help file that the plugin reads for command in the game's help folder, relative to it,
    or None. A name that leads out of the folder finds none: the plugin refuses it."""
    path = game.help_dir
    for part in re.split(r"[/\\]", command + "Help.json"):
        if part in ("", "."):
            continue
        path = None if part == ".." else same_name_in(path, part)
        if path is None:
            return None
    return os.path.relpath(path, game.help_dir) if os.path.isfile(path) else None


def why_nothing_showed(line, help_folder, since):
    """Why a command line typed at since showed nothing in the chat, as the plugin decides it."""
    typed = line[1:]
    command, space, argument = typed.partition(" ")
    if not typed:
        return "A / alone does nothing."
    if space and not argument:
        return "Nothing follows the space after /%s, so the plugin does nothing." % command
    if space and not argument.startswith("help"):
        if game_log({NOT_SENT_PREFIX + typed.encode("utf-8", "surrogateescape")}, since):
            return ("\"%s\" did not reach a console program (the Not sent line above): none was "
                    "linked when you typed it. The plugin links again as soon as one listens on "
                    "127.0.0.1:50382 (it looks every %g s); type the line again then."
                    % (typed, RETRY_SECONDS))
        return ("The console program got \"%s\" (see the log line); it has not answered in the "
                "chat." % typed)
    found = find_help_file(command)
    help_file_logged = any(e.log_text.startswith(b"[Console] Help file ")
                           for e in game.log_events(since))
    if found is None and help_file_logged:
        return ("The plugin refused the help name \"%s\" (the log line above says why): it "
                "reads help files only from inside %s." % (command, shown_path(help_folder)))
    if found is None:
        return ("No help: the plugin looked for %s/%sHelp.json, and %s holds no %sHelp.json." % (
            GAME_HELP_DIR, command, shown_path(help_folder), command))
    source = shown_path(os.path.join(help_folder, found))
    return ("%s shows nothing for this line (the log says why, if it can); see what each line "
            "shows with: %s %s" % (source, shlex.quote(shown_path(HELP_CHECK)),
                                   shlex.quote(source)))


def type_and_explain(line, help_folder):
    """Types a chat line; when a command shows nothing in the chat, says why."""
    since = game.mark()
    type_in_chat(line)
    if not line.startswith("/"):
        return
    try:
        game.wait_for(lambda e: e.kind == "chat", since, HINT_AFTER)
    except AssertionError:
        if game.alive():
            wait_shown()
            show("demo", why_nothing_showed(line, help_folder, since))


def offered_lines(options):
    """What the prompt offers: the commands with a help file, and, with console-server, those of
    its rules as they stand now. Nothing the demo knows nothing of."""
    offers = []
    described = help_commands(options.help_folder)[:4]
    if described:
        offers.append("%s for help" % ", ".join("/" + c for c in described))
    if options.own_console:
        offers.append("a /command with words after it for your console program")
    else:
        rules = rule_commands(options.rules_path)[:4]
        if rules:
            offers.append("%s for console-server" % ", ".join("/%s ..." % c for c in rules))
    return "Your turn. Type a chat line and press Enter: %s, or plain chat." % "; ".join(offers)


def interactive_session(options):
    global footer
    help_folder = options.help_folder
    show("demo", offered_lines(options))
    if server:
        show("demo", "A line starting with ! is typed into console-server instead (!hi shows hi "
                     "in the chat).")
    show("demo", "Ctrl-C or Ctrl-D ends the demo.")
    while True:
        with print_lock:
            footer = PROMPT
        try:
            line = input(PROMPT if sys.stdin.isatty() else "")
        except EOFError:
            if ON_TERMINAL:
                sys.stdout.write("\n")
            return
        finally:
            with print_lock:
                footer = None
        if not line.strip():
            continue
        if not game.alive():
            raise DemoFailed("the game has ended")
        if line.startswith("!") and server:
            console_says(line[1:])
        else:
            type_and_explain(line, help_folder)


def stop():
    """Stops the game and console-server (only these two processes) and removes the folder."""
    global stopping
    stopping = True
    clear_footer()
    if game is not None:
        game.close()
    if server is not None and server.poll() is None:
        server.terminate()
        try:
            server.wait(timeout=5)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
    if made_help_folder:
        shutil.rmtree(made_help_folder, ignore_errors=True)
    stopped = [name for name, process in (("the game", game), ("console-server", server))
               if process is not None]
    if stopped:
        show("demo", "Stopped %s." % " and ".join(stopped))


def interrupt(signum, frame):
    raise KeyboardInterrupt


def main(argv):
    if argv[:1] == ["--check-options"]:  # scripts/demo.sh, before it builds anything
        parse_options(argv[1:])
        return 0
    options = parse_options(argv)
    interactive = not options.no_interactive
    # A closed terminal or a kill ends the demo as Ctrl-C does: with everything stopped.
    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGHUP, interrupt)
    status = 130  # unless it gets as far as the end or the prompt
    try:
        start(options)
        if not options.own_console:
            scripted_session(options, pause=1.0 if interactive else 0.2)
        if interactive:
            interactive_session(options)
            status = 0
        else:
            if options.own_console:
                wait_for_link(0)
            show("demo", "The plugin is set up and connected to your console program."
                 if options.own_console else "The scripted session went as expected.")
            status = 0
    except KeyboardInterrupt:
        sys.stdout.write("\n")
    except (DemoFailed, AssertionError) as error:
        # AssertionError: the harness gave up waiting for the game, and says what it last did.
        show("demo", "FAILED: %s" % error)
        status = 1
    finally:
        # A second Ctrl-C, or the terminal closing, must not cut the clean-up short.
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, signal.SIG_IGN)
        stop()
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
