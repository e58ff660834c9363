"""One run of the demo: the Demo object that owns its state, and main()."""

import os
import shutil
import signal
import sys
import tempfile
import threading
import time

from demo import building, hints, places, processes, prompt, session
from demo.options import parse_options
from demo.plugin_lines import RETRY_SECONDS
from demo.processes import DemoFailed
from demo.terminal import Terminal

# How long a chat line may take to show before the demo says why nothing showed.
HINT_AFTER = 1.0


class Demo:
    """The run's state: its options, its output and what it started. The game's reader and
    console-server's reader are threads; what they share with the main thread is the Terminal
    (it takes its lock), the count of the game's events shown (under shown) and console-server's
    lines (under its own condition). The event notes are the game reader's alone."""

    def __init__(self, options, terminal=None):
        self.options = options
        self.terminal = terminal or Terminal()
        self.game = None
        self.server = None
        self.made_help_folder = None  # the demo's own help folder for --rules, removed at the end
        self.stopping = False
        self.notes = hints.EventNotes()
        # How many of the game's events have been shown, so that the demo's own lines come after
        # the log lines they speak of.
        self.shown = threading.Condition()
        self.shown_count = 0

    def show(self, source, message):
        self.terminal.show(source, message)

    def count_shown(self):
        with self.shown:
            self.shown_count += 1
            self.shown.notify_all()

    def wait_shown(self):
        """Waits until every event of the game so far has been shown (or for a second at most)."""
        position = self.game.mark()
        with self.shown:
            self.shown.wait_for(lambda: self.shown_count >= position, timeout=1.0)

    def game_log(self, lines, since=0):
        """The first log line from since on that is one of lines, or None."""
        return next((e.log_text for e in self.game.log_events(since) if e.log_text in lines),
                    None)

    def wait_game(self, predicate, since, what, timeout=10.0):
        try:
            return self.game.wait_for(predicate, since, timeout)
        except AssertionError:
            raise DemoFailed("the game did not show " + what) from None

    def step(self, narration, action):
        """Narrates, acts, and returns where the game's events stood before the action."""
        self.show("demo", narration)
        since = self.game.mark()
        action()
        return since

    def type_in_chat(self, line):
        """The player types a line in the chat and sends it ("/..." lines are commands)."""
        self.game.type(line.encode("utf-8"))

    def type_and_explain(self, line):
        """Types a chat line; when a command shows nothing in the chat, says why."""
        since = self.game.mark()
        self.type_in_chat(line)
        if not line.startswith("/"):
            return
        try:
            self.game.wait_for(lambda e: e.kind == "chat", since, HINT_AFTER)
        except AssertionError:
            if self.game.alive():
                self.wait_shown()
                self.show("demo", hints.why_nothing_showed(line, self.options.help_folder,
                                                           self.game, since))

    def not_loading(self):
        return hints.not_loading(self.options.plugin_path)

    def start(self):
        options = self.options
        if options.help_folder_to_make:
            self.make_help_folder(options.help_folder_to_make)
        if not options.own_console:
            processes.check_console_port()
        missing = building.missing_file(options)
        if missing:
            raise DemoFailed("%s is missing; scripts/demo.sh builds it" % missing)
        if options.help_folder is None:
            self.made_help_folder = options.help_folder = tempfile.mkdtemp(
                prefix="console-relay-help-")
        if options.own_console:
            self.show("demo", "Start your console program on 127.0.0.1:50382 whenever you like: "
                              "the plugin links to it within %g s of its listening." %
                      RETRY_SECONDS)
        else:
            self.start_console_server()
        self.start_game()

    def make_help_folder(self, folder):
        try:
            os.makedirs(folder)
        except OSError as error:
            raise DemoFailed("cannot make the help folder %s (%s)" % (
                places.shown_path(folder), error.strerror)) from None
        self.show("demo", "Made the help folder %s, which did not exist, for console-server to "
                          "write your rules' help files into." % places.shown_path(folder))

    def start_console_server(self):
        options = self.options
        if options.rules:
            # The help of the rules' commands goes where the plugin reads it.
            self.show("demo", "Starting console-server with your rules, %s; it writes the help "
                              "of each described rule into %s" % (
                                  places.shown_path(options.rules_path),
                                  places.shown_path(options.help_folder)))
        else:
            self.show("demo", "Starting console-server (rules: %s)" % places.shown_path(
                options.rules_path))
        self.server = processes.ConsoleServer(
            self.terminal, options.rules_path, options.help_folder if options.rules else None)

    def start_game(self):
        options = self.options
        if options.plugin_folder:
            self.show("demo", "%s is a folder: the plugin is the %s in it, %s." % (
                places.shown_path(options.plugin_folder), places.PLUGIN_NAME,
                places.shown_path(options.plugin_path)))
        if options.plugin:
            self.show("demo", "Starting the game under Wine with the plugin %s" %
                      places.shown_path(options.plugin_path))
        else:
            self.show("demo", "Starting the game with the plugin under Wine")
        game = processes.start_game(self)
        self.show("demo", "The game runs in %s; its help folder is %s itself (through a link), so "
                          "an edit there shows on the next request." % (
                              game.folder, places.shown_path(options.help_folder)))
        started = time.monotonic()
        # The game is ready to chat at once; the plugin only looks after its set-up.
        game.command("ready")
        processes.wait_for_setup(self, started)

    def stop(self):
        """Stops the game and console-server (only these two processes) and removes the folder
        the demo made."""
        self.stopping = True
        self.terminal.clear_progress()
        if self.game is not None:
            self.game.close()
        if self.server is not None:
            self.server.stop()
        if self.made_help_folder:
            shutil.rmtree(self.made_help_folder, ignore_errors=True)
        stopped = [name for name, process in (("the game", self.game),
                                              ("console-server", self.server))
                   if process is not None]
        if stopped:
            self.show("demo", "Stopped %s." % " and ".join(stopped))


def interrupt(signum, frame):
    raise KeyboardInterrupt


def play(demo):
    """Starts everything and plays the run; its exit status."""
    options = demo.options
    interactive = not options.no_interactive
    demo.start()
    if not options.own_console:
        session.scripted_session(demo, pause=1.0 if interactive else 0.2)
    if interactive:
        prompt.interactive_session(demo)
        return 0
    if options.own_console:
        processes.wait_for_link(demo, 0)
    demo.show("demo", "The plugin is set up and connected to your console program."
              if options.own_console else "The scripted session went as expected.")
    return 0


def main(argv):
    if argv[:1] == ["--check-options"]:  # scripts/demo.sh, before it installs anything
        parse_options(argv[1:])
        return 0
    build_first = argv[:1] == ["--build"]  # scripts/demo.sh, once it has installed what lacks
    options = parse_options(argv[1:] if build_first else argv)
    # A closed terminal or a kill ends the demo as Ctrl-C does: with everything stopped.
    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGHUP, interrupt)
    try:
        if build_first and not building.build(options):
            return 1
    except KeyboardInterrupt:
        sys.stdout.write("\n")
        return 130
    demo = Demo(options)
    status = 130  # unless it gets as far as the end or the prompt
    try:
        status = play(demo)
    except KeyboardInterrupt:
        sys.stdout.write("\n")
    except (DemoFailed, AssertionError) as error:
        # AssertionError: the harness gave up waiting for the game, and says what it last did.
        demo.show("demo", "FAILED: %s" % error)
        status = 1
    finally:
        # A second Ctrl-C, or the terminal closing, must not cut the clean-up short.
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, signal.SIG_IGN)
        demo.stop()
    return status
