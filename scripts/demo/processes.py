"""The two processes the demo starts, the game under Wine and console-server: starting them,
following what they print, and stopping them. Each has a reader thread; what it shares with the
main thread is kept under a condition."""

import os
import re
import shutil
import socket
import subprocess
import threading
import time

from demo import places
from demo.hints import PORT_TAKEN
from demo.places import harness
from demo.plugin_lines import (CONNECT_FAILURES, CONNECTED_LINE, LINKED_AGAIN_LINE,
                               LOADING_LINE, LOADING_WAIT, READY_LINE, RETRY_SECONDS)
from demo.terminal import text


class DemoFailed(Exception):
    """Ends the demo with exit status 1 and the reason."""


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


def check_console_port():
    if console_port_taken():
        raise DemoFailed(PORT_TAKEN % {"port": harness.CONSOLE_PORT})


class ConsoleServer:
    """console-server, started with a rule file; its lines are shown and kept for the scripted
    steps to wait on."""

    def __init__(self, terminal, rules_path, help_folder=None):
        self.terminal = terminal
        self.cond = threading.Condition()
        self.lines = []  # None at the end: it ended
        command = [places.CONSOLE_SERVER, "--script", rules_path]
        if help_folder:
            command += ["--help-dir", help_folder]
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        threading.Thread(target=self._read, daemon=True).start()
        # Either it listens, or it ends and has said why.
        if self.wait_line("listening on", "that it listens", timeout=15) is None:
            raise DemoFailed("console-server ended at its start (its last line above says why)")

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.terminal.show("console", line)
            with self.cond:
                self.lines.append(line)
                self.cond.notify_all()
        with self.cond:
            self.lines.append(None)
            self.cond.notify_all()

    def wait_line(self, pattern, what, timeout=10.0):
        """The first line that matches pattern, or None when it ended without one."""
        def found():
            return next((line for line in self.lines
                         if line is not None and re.search(pattern, line)), None)
        with self.cond:
            if not self.cond.wait_for(lambda: found() or None in self.lines, timeout):
                raise DemoFailed("console-server did not show %s within %d s" % (what, timeout))
            return found()

    def say(self, line):
        """A line typed into console-server: it sends it to the game as a console message."""
        try:
            self.process.stdin.write((line + "\n").encode("utf-8"))
            self.process.stdin.flush()
        except OSError:
            raise DemoFailed("console-server has ended") from None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def find_wine():
    wine = os.environ.get("CONSOLE_RELAY_WINE", "/usr/lib/wine/wine64")
    if os.access(wine, os.X_OK):
        return wine
    found = shutil.which("wine64") or shutil.which("wine")
    if not found:
        raise DemoFailed("Wine is missing (scripts/setup.sh --demo installs it)")
    return found


def start_game(demo):
    """Starts the game with the plugin and follows its events; returns it once the plugin is
    loaded."""
    options = demo.options
    harness.BIN_DIR = places.BIN_DIR
    harness.WINE = find_wine()
    harness.EXAMPLES_DIR = ""  # the game's help folder becomes a link to help_folder
    try:
        game = harness.Game(plugin=options.plugin_path)
    except AssertionError as error:
        raise DemoFailed("the game did not load the plugin:\n" + str(error)) from None
    demo.game = game
    loaded = next(e.payload for e in game.events if e.kind == "plugin")
    if not loaded.startswith("loaded"):
        # The game reports "failed" and Windows' error number; 126 is a DLL that it imports.
        raise DemoFailed("the game could not load %s (%s%s)" % (
            places.shown_path(options.plugin_path), loaded,
            ": a DLL that it imports is missing" if loaded == "failed 126" else ""))
    threading.Thread(target=follow_game, args=(demo,), daemon=True).start()
    # The plugin reads its help files relative to the game's folder, anew on every request: with
    # a link there, it reads the very files that are being edited.
    os.rmdir(game.help_dir)
    os.symlink(options.help_folder, game.help_dir, target_is_directory=True)
    return game


def follow_game(demo):
    """Shows each event of the harness's reader as it comes."""
    game = demo.game
    seen = 0
    while True:
        with game.cond:
            game.cond.wait_for(lambda: len(game.events) > seen)
            events = game.events[seen:]
        seen += len(events)
        for event in events:
            try:
                show_event(demo, event)
            except ValueError:  # a line the harness cannot take apart: shown as it came
                demo.show("game", "%s %s" % (event.kind, event.payload))
            demo.count_shown()
            if event.kind == "exit":
                return


def show_event(demo, event):
    notes = []
    if event.kind == "log":
        demo.show("log", text(event.log_text))
        notes = demo.notes.after_log(event.log_text)
    elif event.kind == "chat":
        notes = demo.notes.after_chat(event.chat[4])
        demo.show("chat", text(event.chat[4]))
    elif event.kind == "player":
        demo.show("chat", "<you> " + text(harness.unescape(event.payload)))
    elif event.kind == "error":
        demo.show("game", "error: " + text(harness.unescape(event.payload)))
    elif event.kind == "exit" and not demo.stopping:
        demo.show("game", "the game ended")
    for note in notes:
        demo.show("demo", note)


def wait_for_setup(demo, started):
    """Waits out the plugin's set-up, with a progress line; fails when the plugin cannot be it or
    cannot reach the demo's console-server."""
    own_console = demo.options.own_console
    game = demo.game
    demo.show("demo", "The plugin takes %d s to set itself up: it connects to the console "
                      "program after 5 s, then waits for the game." % harness.SETUP_SECONDS)
    reported = 0
    total = harness.SETUP_SECONDS
    try:
        while not demo.game_log({READY_LINE}):
            if time.monotonic() - started > LOADING_WAIT and not demo.game_log({LOADING_LINE}):
                raise DemoFailed(demo.not_loading())
            failure = demo.game_log(CONNECT_FAILURES)
            if failure and not own_console:
                raise DemoFailed(
                    "the plugin could not connect to console-server on 127.0.0.1:50382 (its log "
                    "says \"%s\")" % text(failure))
            if not game.alive():
                raise DemoFailed("the game ended during the set-up")
            elapsed = time.monotonic() - started
            if elapsed > total + 45:
                raise DemoFailed("the plugin never logged " + text(READY_LINE))
            if demo.terminal.on_terminal:
                done = min(30, int(30 * elapsed / total))
                demo.terminal.set_progress("        setting up [%s%s] %2d s of %d" % (
                    "#" * done, "." * (30 - done), elapsed, total))
            elif elapsed >= reported + 10:
                reported += 10
                demo.show("demo", "setting up: %d s of %d" % (reported, total))
            with game.cond:
                game.cond.wait(0.25)
    finally:
        demo.terminal.clear_progress()
    if not own_console and not demo.game_log({CONNECTED_LINE}):
        raise DemoFailed("the plugin set itself up without logging " + text(CONNECTED_LINE))
    demo.wait_shown()
    if own_console and not demo.game_log({CONNECTED_LINE, LINKED_AGAIN_LINE}):
        demo.show("demo", "No console program listens on 127.0.0.1:50382 yet. Start yours: the "
                          "plugin links to it within %g s and logs %s. Until then, command lines "
                          "are logged as not sent." % (RETRY_SECONDS, text(LINKED_AGAIN_LINE)))


def wait_for_link(demo, since):
    """Waits a few of the plugin's retries for a link to the player's console program."""
    try:
        demo.game.wait_for(lambda e: e.kind == "log" and e.log_text in (CONNECTED_LINE,
                                                                         LINKED_AGAIN_LINE),
                           since, 2 * RETRY_SECONDS + 3)
    except AssertionError:
        raise DemoFailed("no console program listened on 127.0.0.1:50382 once the plugin was "
                         "set up; start yours, then the demo again (or leave out "
                         "--no-interactive and start it at the prompt)") from None
