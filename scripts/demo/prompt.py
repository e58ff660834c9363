"""The person at the keyboard: what the prompt offers, and each line typed there, typed into the
game's chat (or, after !, into console-server)."""

from demo import places
from demo.processes import DemoFailed


def offered_lines(options):
    """What the prompt offers: the commands with a help file, and, with console-server, those of
    its rules as they stand now. Nothing the demo knows nothing of."""
    offers = []
    described = places.help_commands(options.help_folder)[:4]
    if described:
        offers.append("%s for help" % ", ".join("/" + c for c in described))
    if options.own_console:
        offers.append("a /command with words after it for your console program")
    else:
        rules = places.rule_commands(options.rules_path)[:4]
        if rules:
            offers.append("%s for console-server" % ", ".join("/%s ..." % c for c in rules))
    return "Your turn. Type a chat line and press Enter: %s, or plain chat." % "; ".join(offers)


def interactive_session(demo):
    demo.show("demo", offered_lines(demo.options))
    if demo.server:
        demo.show("demo", "A line starting with ! is typed into console-server instead (!hi "
                          "shows hi in the chat).")
    demo.show("demo", "Ctrl-C or Ctrl-D ends the demo.")
    while True:
        try:
            line = demo.terminal.read_line()
        except EOFError:
            demo.terminal.new_line()
            return
        if not line.strip():
            continue
        if not demo.game.alive():
            raise DemoFailed("the game has ended")
        if line.startswith("!") and demo.server:
            demo.server.say(line[1:])
        else:
            demo.type_and_explain(line)
