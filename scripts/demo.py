#!/usr/bin/env python3
"""The demo's driver: the real plugin in the simulated game under Wine, with console-server.

scripts/demo.sh builds everything and then runs this. It starts console-server and the game,
waits out the plugin's set-up, plays a short scripted session and then hands the chat to the
person at the keyboard (or, with --no-interactive, stops there). With --own-console it starts no
console-server and plays no script: the plugin connects to the console program already listening
on 127.0.0.1:50382. Whatever it starts, it stops.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN_DIR = os.path.join(ROOT, "build", "windows", "bin")
CONSOLE_SERVER = os.path.join(ROOT, "build", "native", "tools", "console-server", "console-server")
RULES = os.path.join(ROOT, "tools", "console-server", "examples", "demo.rules")
EXAMPLES_DIR = os.path.join(ROOT, "examples", "ConsoleHelp")
# The plugin waits 5 s before connecting and 40 s more before its first look at the game.
SETUP_SECONDS = 45
READY_LINE = "[Console] Ready..."
PROMPT = "you> "

# Each source of output gets a tag and, on a terminal, a colour.
TAGS = {"demo": "1;36", "chat": "32", "log": "34", "console": "33", "game": "31"}
COLOUR = sys.stdout.isatty() and not os.environ.get("NO_COLOR")
ON_TERMINAL = sys.stdout.isatty()

print_lock = threading.Lock()
# The line kept at the bottom of the terminal under the output: the set-up progress or the prompt.
footer = None

# What the game and console-server printed, for the scripted steps to wait on.
cond = threading.Condition()
game_events = []  # (kind, text)
server_lines = []

game = None
server = None
game_folder = None

try:
    import readline  # noqa: F401 (line editing and history for the prompt)
except ImportError:
    readline = None


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


def unescape(text):
    """The game writes bytes outside printable ASCII as \\xNN."""
    raw = re.sub(rb"\\x([0-9a-f]{2})", lambda m: bytes([int(m.group(1), 16)]),
                 text.encode("latin-1"))
    return raw.decode("utf-8", "replace")


def escape(text):
    """A chat line as the game's "type" command takes it."""
    return "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x5C else "\\x%02x" % b
                   for b in text.encode("utf-8"))


def read_game():
    for raw in game.stdout:
        parts = raw.decode("latin-1").rstrip("\r\n").split(" ", 2)
        if len(parts) < 2 or not parts[0].isdigit():
            continue
        kind, payload = parts[1], parts[2] if len(parts) > 2 else ""
        text = payload
        if kind == "log":
            text = unescape(payload.split(" ", 1)[1] if " " in payload else "")
            show("log", text)
        elif kind == "chat":
            text = unescape(payload.split(" ", 4)[4] if payload.count(" ") >= 4 else "")
            show("chat", text)
        elif kind == "player":
            text = unescape(payload)
            show("chat", "<you> " + text)
        elif kind == "error":
            show("game", "error: " + unescape(payload))
        with cond:
            game_events.append((kind, text))
            cond.notify_all()
    with cond:
        game_events.append(("exit", ""))
        cond.notify_all()


def read_server():
    for raw in server.stdout:
        line = raw.decode("utf-8", "replace").rstrip("\r\n")
        show("console", line)
        with cond:
            server_lines.append(line)
            cond.notify_all()
    with cond:
        server_lines.append(None)
        cond.notify_all()


def wait_until(check, timeout, what):
    """Waits until check() (called under cond) gives a result, and returns it."""
    deadline = time.monotonic() + timeout
    with cond:
        while True:
            result = check()
            if result:
                return result
            if ("exit", "") in game_events:
                raise RuntimeError("the game ended while waiting for " + what)
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise RuntimeError("timed out waiting for " + what)
            cond.wait(min(remaining, 0.5))


def game_event(kind, text=None, since=0):
    def check():
        return any(k == kind and (text is None or t == text) for k, t in game_events[since:])
    return check


def server_line(pattern, since=0):
    def check():
        return next((line for line in server_lines[since:]
                     if line is not None and re.search(pattern, line)), None)
    return check


def marks():
    with cond:
        return len(game_events), len(server_lines)


def game_command(line, timeout=15):
    since = marks()[0]
    verb = line.split(" ", 1)[0]
    game.stdin.write((line + "\n").encode("latin-1"))
    game.stdin.flush()
    wait_until(lambda: any(k == "done" and t.split(" ")[0] == verb
                           for k, t in game_events[since:]), timeout, "the game's " + verb)


def type_in_chat(text):
    """The player types a line in the chat and sends it ("/..." lines are commands)."""
    game_command("type " + escape(text))


def console_says(text):
    """A line typed into console-server: it sends it to the game as a console message."""
    server.stdin.write((text + "\n").encode("utf-8"))
    server.stdin.flush()


def find_wine():
    wine = os.environ.get("CONSOLE_RELAY_WINE", "/usr/lib/wine/wine64")
    if os.access(wine, os.X_OK):
        return wine
    return shutil.which("wine64") or shutil.which("wine") or sys.exit("demo: Wine is missing")


def start(own_console):
    needed = [os.path.join(BIN_DIR, "Zandrel.exe"), os.path.join(BIN_DIR, "ConsoleRelay.dll")]
    for path in needed + ([] if own_console else [CONSOLE_SERVER]):
        if not os.path.exists(path):
            sys.exit("demo: %s is missing; scripts/demo.sh builds it" % path)
    if own_console:
        show("demo", "Your console program must listen on 127.0.0.1:50382 already: the plugin "
                     "connects once, 5 s after the game starts.")
    else:
        start_console_server()
    start_game()


def start_console_server():
    global server
    show("demo", "Starting console-server (rules: %s)" % os.path.relpath(RULES, ROOT))
    server = subprocess.Popen([CONSOLE_SERVER, "--script", RULES], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              start_new_session=True)
    threading.Thread(target=read_server, daemon=True).start()
    # Either it listens, or it ends and has said why.
    wait_until(lambda: server_line("listening on")() or None in server_lines, 15,
               "console-server")
    if not server_line("listening on")():
        raise RuntimeError("console-server did not start (is another console program using "
                           "port 50382?)")


def start_game():
    global game, game_folder
    # A game folder of its own: the plugin reads its help files relative to the game's folder.
    game_folder = tempfile.mkdtemp(prefix="console-relay-demo-")
    help_dir = os.path.join(game_folder, "nativePC", "plugins", "ConsoleHelp")
    shutil.copytree(EXAMPLES_DIR, help_dir)
    show("demo", "Starting the game with the plugin under Wine, in " + game_folder)
    env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    game = subprocess.Popen(
        [find_wine(), os.path.join(BIN_DIR, "Zandrel.exe"),
         "Z:" + os.path.join(BIN_DIR, "ConsoleRelay.dll")],
        cwd=game_folder, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL, start_new_session=True)
    threading.Thread(target=read_game, daemon=True).start()
    wait_until(game_event("plugin"), 60, "the game to load the plugin")
    started = time.monotonic()
    # The game is ready to chat at once; the plugin only looks after its set-up.
    game_command("ready")
    wait_for_setup(started)


def wait_for_setup(started):
    show("demo", "The plugin takes %d s to set itself up: it connects to the console program "
                 "after 5 s, then waits for the game." % SETUP_SECONDS)
    reported = 0
    try:
        while not game_event("log", READY_LINE)():
            if ("exit", "") in game_events:
                raise RuntimeError("the game ended during the set-up")
            elapsed = time.monotonic() - started
            if elapsed > SETUP_SECONDS + 45:
                raise RuntimeError("the plugin never logged " + READY_LINE)
            if ON_TERMINAL:
                done = min(30, int(30 * elapsed / SETUP_SECONDS))
                set_footer("        setting up [%s%s] %2d s of %d" % (
                    "#" * done, "." * (30 - done), elapsed, SETUP_SECONDS))
            elif elapsed >= reported + 10:
                reported += 10
                show("demo", "setting up: %d s of %d" % (reported, SETUP_SECONDS))
            with cond:
                cond.wait(0.25)
    finally:
        clear_footer()
    if not game_event("log", "[Console] [Server] Success")():
        show("demo", "Note: the plugin did not connect to a console program (see the log lines).")


def step(narration, action, check, what, pause):
    show("demo", narration)
    since = marks()
    action()
    wait_until(lambda: check(*since), 10, what)
    time.sleep(pause)


def scripted_session(pause):
    with open(os.path.join(EXAMPLES_DIR, "spawnHelp.json")) as f:
        spawn_help = json.load(f)["help"]
    welcome = "Welcome! This message came from the console program."

    step("The player types /spawn: the plugin answers with help from "
         "nativePC/plugins/ConsoleHelp/spawnHelp.json.",
         lambda: type_in_chat("/spawn"),
         lambda g, s: game_event("chat", spawn_help[-1], g)(), "the help of /spawn", pause)
    step("The player types /kick bob: the plugin sends \"kick bob\" to console-server, whose rule "
         "\"kick -> Kicked {args}.\" answers in the chat.",
         lambda: type_in_chat("/kick bob"),
         lambda g, s: server_line(r" > kick bob$", s)() and game_event("chat", "Kicked bob.", g)(),
         "the answer to /kick bob", pause)
    step("Now console-server's user types a line: it goes to the game as \"console <line>\".",
         lambda: console_says(welcome),
         lambda g, s: game_event("chat", welcome, g)(), "the console message", pause)
    step("An ordinary chat line (no /) is left to the game.",
         lambda: type_in_chat("hello everyone"),
         lambda g, s: game_event("player", "hello everyone", g)(), "the chat line", pause)


def interactive_session():
    global footer
    show("demo", "Your turn. Type a chat line and press Enter: /kick eve, /spawn help items, "
                 "/time, /time help freeze, /spawn torch 3, or plain chat.")
    if server:
        show("demo", "A line starting with ! is typed into console-server instead (!hi shows hi "
                     "in the chat).")
    show("demo", "Ctrl-C or Ctrl-D ends the demo.")
    while True:
        with print_lock:
            footer = PROMPT
        try:
            line = input(PROMPT)
        except EOFError:
            sys.stdout.write("\n")
            return
        finally:
            with print_lock:
                footer = None
        if not line.strip():
            continue
        if line.startswith("!") and server:
            console_says(line[1:])
        else:
            type_in_chat(line)


def stop():
    """Stops the game and console-server (only these two processes) and removes the folder."""
    clear_footer()
    if game is not None and game.poll() is None:
        try:
            game.stdin.write(b"quit\n")
            game.stdin.flush()
            game.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            game.kill()
            game.wait()
    if server is not None and server.poll() is None:
        server.terminate()
        try:
            server.wait(timeout=5)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
    if game_folder:
        shutil.rmtree(game_folder, ignore_errors=True)
    stopped = [name for name, process in (("the game", game), ("console-server", server))
               if process is not None]
    if stopped:
        show("demo", "Stopped %s." % " and ".join(stopped))


def interrupt(signum, frame):
    raise KeyboardInterrupt


def main():
    options = set(sys.argv[1:])
    if options - {"--no-interactive", "--own-console"}:
        sys.exit("Usage: scripts/demo.sh [--no-interactive] [--own-console]")
    interactive = "--no-interactive" not in options
    own_console = "--own-console" in options
    # A closed terminal or a kill ends the demo as Ctrl-C does: with everything stopped.
    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGHUP, interrupt)
    status = 130  # unless it gets as far as the end or the prompt
    try:
        start(own_console)
        if not own_console:
            scripted_session(pause=1.0 if interactive else 0.2)
        if interactive:
            status = 0
            interactive_session()
        else:
            show("demo", "The plugin is set up." if own_console else
                 "The scripted session went as expected.")
            status = 0
    except KeyboardInterrupt:
        sys.stdout.write("\n")
    except RuntimeError as error:
        show("demo", "FAILED: %s" % error)
        status = 1
    finally:
        # A second Ctrl-C, or the terminal closing, must not cut the clean-up short.
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, signal.SIG_IGN)
        stop()
    return status


if __name__ == "__main__":
    sys.exit(main())
