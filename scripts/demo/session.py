"""The scripted session played once the plugin is set up: a command answered with help, one
answered by console-server, a line typed into console-server, and an ordinary chat line."""

import json
import os
import re
import time

from demo import hints, places

# What the scripted session types after a described command of the admin's rules, so that they
# see their rule answer one.
ARGUMENT = "1"
# How long the admin's rule may take to answer (a program of theirs may be slow to start) before
# the demo says that it has not.
ANSWER_WAIT = 5.0


def scripted_session(demo, pause):
    options = demo.options
    if options.help_folder == places.EXAMPLES_DIR:
        with open(os.path.join(places.EXAMPLES_DIR, "spawnHelp.json")) as f:
            last_line = json.load(f)["help"][-1].encode("utf-8")
        since = demo.step("The player types /spawn: the plugin answers with help from "
                          "%s/spawnHelp.json." % places.GAME_HELP_DIR,
                          lambda: demo.type_in_chat("/spawn"))
        demo.wait_game(lambda e: e.kind == "chat" and e.chat[4] == last_line, since,
                       "the help of /spawn")
        time.sleep(pause)
    else:
        commands = places.help_commands(options.help_folder)
        if commands:
            demo.show("demo", "Your help files answer: %s" % ", ".join("/" + c for c in commands))
        else:
            demo.show("demo", "No help file in %s: console-server writes one for each rule with "
                              "a comment line right above it." % places.shown_path(
                                  options.help_folder))
        for command in commands[:3]:
            demo.show("demo", "The player types /%s:" % command)
            demo.type_and_explain("/" + command)
            time.sleep(pause)
    if options.rules:
        rule_answered(demo, pause)
    if options.rules_path == places.RULES:
        kick_bob(demo, pause)
    # Typed into console-server: whatever the rules, it goes to the game.
    welcome = "Welcome! This message came from the console program."
    since = demo.step("Now console-server's user types a line: it goes to the game as "
                      "\"console <line>\".", lambda: demo.server.say(welcome))
    demo.wait_game(lambda e: e.kind == "chat" and e.chat[4] == welcome.encode(), since,
                   "the console message")
    time.sleep(pause)

    since = demo.step("An ordinary chat line (no /) is left to the game.",
                      lambda: demo.type_in_chat("hello everyone"))
    demo.wait_game(lambda e: e.kind == "player" and e.payload == "hello everyone", since,
                   "the chat line")
    time.sleep(pause)


def rule_answered(demo, pause):
    """One command of the admin's rules with a word after it, as a player would type it, so that
    they see their rule (or their program) answer in the chat. A described command is taken
    first: its help has just shown."""
    rules = places.rule_commands(demo.options.rules_path)
    described = set(places.help_commands(demo.options.help_folder))
    chosen = [command for command in rules if command in described] + rules
    if not chosen:
        return
    sent = "%s %s" % (chosen[0], ARGUMENT)
    since = demo.step("The player types /%s: the plugin sends \"%s\" to console-server, whose "
                      "rule answers in the chat." % (sent, sent),
                      lambda: demo.type_in_chat("/" + sent))
    demo.server.wait_line(r" > %s$" % re.escape(sent), "that it got \"%s\"" % sent)
    try:
        demo.game.wait_for(lambda e: e.kind == "chat", since, ANSWER_WAIT)
    except AssertionError:
        demo.wait_shown()
        demo.show("demo", hints.why_nothing_showed("/" + sent, demo.options.help_folder,
                                                   demo.game, since))
    time.sleep(pause)


def kick_bob(demo, pause):
    """The example rules' /kick bob, answered in the chat."""
    since = demo.step("The player types /kick bob: the plugin sends \"kick bob\" to "
                      "console-server, whose rule \"kick -> Kicked {args}.\" answers in the chat.",
                      lambda: demo.type_in_chat("/kick bob"))
    demo.server.wait_line(r" > kick bob$", "that it got \"kick bob\"")
    demo.wait_game(lambda e: e.kind == "chat" and e.chat[4] == b"Kicked bob.", since,
                   "console-server's answer to /kick bob")
    time.sleep(pause)
