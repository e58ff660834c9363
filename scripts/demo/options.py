"""The demo's command line: its options, and the checks that answer a mistake in them before
anything is installed or built."""

import argparse
import os

from demo import places
from demo.hints import HELP_FROM_RULES
from demo.plugin_file import find_plugin, why_not_a_plugin

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
             "fresh folder of the demo's own, or the one --help-dir names (made when it does not "
             "exist); an edit of the rules shows within seconds")
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
                 places.GAME_HELP_DIR, places.GAME_HELP_DIR))
    options = parser.parse_args(argv)
    check_plugin(parser, options)
    if options.rules and options.own_console:
        parser.error("--rules runs console-server with your rules, --own-console runs none: "
                     "give one of them")
    options.rules_path = places.RULES
    if options.rules:
        options.rules_path = places.given_path(options.rules)
        if not os.path.isfile(options.rules_path):
            parser.error("--rules %s: no such file" % options.rules)
    check_help_folder(parser, options)
    return options


def check_plugin(parser, options):
    """Sets options.plugin_path, and options.plugin_folder when --plugin names a folder."""
    options.plugin_path = places.BUILT_PLUGIN
    options.plugin_folder = None
    if not options.plugin:
        return
    options.plugin_path = places.given_path(options.plugin)
    if os.path.isdir(options.plugin_path):
        options.plugin_folder = options.plugin_path
        options.plugin_path, why_not = find_plugin(options.plugin_folder)
        if why_not:
            parser.error("--plugin %s: %s" % (options.plugin, why_not))
    why_not = why_not_a_plugin(options.plugin_path)
    if why_not and options.plugin_folder:
        parser.error("--plugin %s: %s: %s" % (
            options.plugin, places.shown_path(options.plugin_path), why_not))
    if why_not:
        parser.error("--plugin %s: %s" % (options.plugin, why_not))


def check_help_folder(parser, options):
    """Sets options.help_folder, and options.help_folder_to_make when --rules is to write into a
    folder that does not exist yet. With --rules and no --help-dir, it stays None: the demo makes
    a fresh help folder of its own, never the examples."""
    options.help_folder = None if options.rules else places.EXAMPLES_DIR
    options.help_folder_to_make = None
    if not options.help_dir:
        return
    given = places.given_path(options.help_dir)
    if os.path.exists(given) and not os.path.isdir(given):
        parser.error("--help-dir %s: not a folder" % options.help_dir)
    if not os.path.exists(given):
        if not options.rules:
            parser.error("--help-dir %s: no such folder" % options.help_dir)
        options.help_folder = options.help_folder_to_make = given
        return
    options.help_folder = places.find_help_folder(given)
    if not options.rules and not places.help_commands(options.help_folder):
        parser.error("--help-dir %s: no help file (<command>Help.json) in %s. %s With "
                     "--rules RULES, the demo runs it so." % (
                         options.help_dir, places.shown_path(options.help_folder),
                         HELP_FROM_RULES))
