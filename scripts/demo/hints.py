"""What the demo explains, and when: why a command showed nothing, what a log line means the first
time it shows, a console program's mistakes, and why the demo could not start."""

import os
import re
import shlex

from demo import places
from demo.plugin_lines import (CONSOLE_MESSAGE_PREFIX, HELP_FILE_PREFIX, LINK_LOST_LINE,
                               LOADING_LINE, LOADING_WAIT, NOT_SENT_PREFIX, RETRY_SECONDS,
                               TEST_LINE)
from demo.terminal import text

# How a help folder gets its files from a rule file: the line of console-server's quick start
# (tools/console-server/README.md) that the demo gives for an empty help folder.
HELP_FROM_RULES = ("console-server --script RULES --help-dir DIR writes a DIR/<command>Help.json "
                   "per described rule.")
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
LINK_LOST = ("(The console program closed the link, or it broke. The plugin links again as soon "
             "as a console program listens; it looks every %g s.)" % RETRY_SECONDS)
TEST_LINE_MEANS = ("(The plugin logs TEST for every command line that holds a space, before it "
                   "handles the line.)")


def not_loading(plugin_path):
    """Why the game runs a DLL that never logged the plugin's first line."""
    return ("the game loaded %s, but after %d s it has not logged \"%s\", which the plugin logs "
            "at once: this DLL is not ConsoleRelay, or not a working build of it" % (
                places.shown_path(plugin_path), LOADING_WAIT, text(LOADING_LINE)))


class EventNotes:
    """The notes that the game's events call for, each kind said once where it first shows. Only
    the thread that follows the game uses it."""

    def __init__(self):
        self.test_line_explained = False
        self.mistakes_explained = set()
        self.last_chat = None  # the text of the chat line shown last

    def after_chat(self, chat):
        self.last_chat = chat
        return []

    def after_log(self, log_text):
        notes = []
        # A console message's log line follows its chat line.
        if self.last_chat is not None and log_text == CONSOLE_MESSAGE_PREFIX + self.last_chat:
            notes += self.message_mistakes(self.last_chat)
        if log_text == LINK_LOST_LINE:
            notes.append(LINK_LOST)
        if log_text == TEST_LINE and not self.test_line_explained:
            self.test_line_explained = True
            notes.append(TEST_LINE_MEANS)
        return notes

    def message_mistakes(self, message):
        notes = []
        for pattern, meaning in MESSAGE_MISTAKES:
            if pattern.search(message) and meaning not in self.mistakes_explained:
                self.mistakes_explained.add(meaning)
                notes.append("(%s %s)" % (meaning, ONE_MESSAGE_PER_SEND))
        return notes


def find_help_file(game_help_dir, command):
    """The help file that the plugin reads for command in the game's help folder, relative to it,
    or None. A name that leads out of the folder finds none: the plugin refuses it."""
    path = game_help_dir
    for part in re.split(r"[/\\]", command + "Help.json"):
        if part in ("", "."):
            continue
        path = None if part == ".." else places.same_name_in(path, part)
        if path is None:
            return None
    return os.path.relpath(path, game_help_dir) if os.path.isfile(path) else None


def why_nothing_showed(line, help_folder, game, since):
    """Why a command line typed at since showed nothing in the chat, as the plugin decides it."""
    typed = line[1:]
    command, space, argument = typed.partition(" ")
    if not typed:
        return "A / alone does nothing."
    if space and not argument:
        return "Nothing follows the space after /%s, so the plugin does nothing." % command
    logged = [e.log_text for e in game.log_events(since)]
    if space and not argument.startswith("help"):
        if NOT_SENT_PREFIX + typed.encode("utf-8", "surrogateescape") in logged:
            return ("\"%s\" did not reach a console program (the Not sent line above): none was "
                    "linked when you typed it. The plugin links again as soon as one listens on "
                    "127.0.0.1:50382 (it looks every %g s); type the line again then."
                    % (typed, RETRY_SECONDS))
        return ("The console program got \"%s\" (see the log line); it has not answered in the "
                "chat." % typed)
    found = find_help_file(game.help_dir, command)
    help_file_logged = any(line.startswith(HELP_FILE_PREFIX) for line in logged)
    if found is None and help_file_logged:
        return ("The plugin refused the help name \"%s\" (the log line above says why): it "
                "reads help files only from inside %s." % (command,
                                                          places.shown_path(help_folder)))
    if found is None:
        return ("No help: the plugin looked for %s/%sHelp.json, and %s holds no %sHelp.json." % (
            places.GAME_HELP_DIR, command, places.shown_path(help_folder), command))
    source = places.shown_path(os.path.join(help_folder, found))
    return ("%s shows nothing for this line (the log says why, if it can); see what each line "
            "shows with: %s %s" % (source, shlex.quote(places.shown_path(places.HELP_CHECK)),
                                   shlex.quote(source)))
