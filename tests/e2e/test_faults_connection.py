"""A console program that hangs up at once, and one that never reads: two games side by side."""

import re
import time
import unittest

import fault_summary
from harness import ConsoleProgram, Game

KICK_HELP = '{"help": ["Kicks a player."]}'
LINE_FILL = 3990
TOKEN = re.compile(rb"line(\d{4}) ")
# What may follow the z's of a line: starts of later lines cut short, and at the very end the
# start of the last command line.
CUT_LINE = rb"(?:l|li|lin|line|line\d{1,4})*"
CUT_LAST = rb"(?:k|ki|kic|kick|kick |kick b|kick bo|kick bob)?"


def numbered_line(number):
    return b"line%04d " % number + b"z" * LINE_FILL


def out_of_order(arrived):
    """Why arrived is not the lines in order, each whole, cut short or left out; None if it is.

    The plugin sends each command line once and does not look at how much of it the send took:
    into a full buffer a line goes in part or not at all, and once there is room again a later
    line may go in whole.
    """
    parts = TOKEN.split(arrived)
    if parts[0]:
        return "the bytes do not begin with the first line: %r" % parts[0][:40]
    numbers = [int(n) for n in parts[1::2]]
    if numbers[:1] != [0]:
        return "the bytes do not begin with the first line"
    for a, b in zip(numbers, numbers[1:]):
        if a >= b:
            return "line %d came after line %d" % (b, a)
    for index, (number, rest) in enumerate(zip(numbers, parts[2::2])):
        last = index == len(numbers) - 1
        tail = rb"z{0,%d}" % LINE_FILL + CUT_LINE + (CUT_LAST if last else b"")
        if not re.fullmatch(tail, rest):
            return "line %d is followed by %r" % (number, rest[-40:])
    return None


class MisbehavingConsolePrograms(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The first plugin to connect is hung up on; the second is never read from.
        cls.console = ConsoleProgram(close_first=True, read=False)
        cls.hung_up = Game(help_files={"kick": KICK_HELP})
        cls.hung_up.wait_log("[Console] [Server] Success", timeout=20)
        cls.console.wait_connected(1)
        cls.unread = Game(help_files={"kick": KICK_HELP})
        cls.unread.wait_log("[Console] [Server] Success", timeout=20)
        cls.console.wait_connected(2)
        for game in (cls.hung_up, cls.unread):
            game.command("ready")
        cls.hung_up.wait_ready()
        cls.unread.wait_ready()

    @classmethod
    def tearDownClass(cls):
        cls.hung_up.close()
        cls.unread.close()
        cls.console.stop()
        fault_summary.print_table("Fault scenarios (connection)")

    def assertHelpAndLoggingWork(self, game):
        since = game.mark()
        game.type("/kick")
        game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == b"Kicks a player.", since)
        game.type("/kick bob")
        game.wait_log("[Console] [Kick] kick bob", since)
        self.assertTrue(game.alive())

    def test_hung_up_at_once(self):
        since = self.hung_up.mark()
        time.sleep(1)
        self.assertEqual(self.hung_up.chats(since), [])
        passing = False
        try:
            self.assertHelpAndLoggingWork(self.hung_up)
            passing = True
        finally:
            fault_summary.record("console: accepts and closes at once", self.hung_up.alive(),
                                 passing)

    def test_never_reads(self):
        game = self.unread
        lines = [numbered_line(i) for i in range(800)]
        expected = [b"[Console] [L" + line[1:8] + b"] " + line for line in lines]
        since = game.mark()
        for line, log in zip(lines, expected):
            # Each line is logged after its send; each is kept sent until the plugin took it.
            game.type_until(b"/" + line, lambda e, log=log: e.kind == "log" and e.log_text == log)
        logged = [t for t in game.logs(since) if t.startswith(b"[Console] [Line")]
        self.assertEqual(logged, expected)
        passing = False
        lost = "-"
        try:
            self.assertHelpAndLoggingWork(game)

            # Once the console program reads again, what had room arrived whole and in order.
            self.console.set_reading(True)
            time.sleep(2)
            arrived = self.console.take_received()
            everything = b"".join(lines) + b"kick bob"
            self.assertGreater(len(arrived), 0)
            self.assertLess(len(arrived), len(everything), "the buffer never filled")
            # Whole lines up to the first that met a full buffer; after that, pieces in order.
            self.assertIsNone(out_of_order(arrived))
            lost = "0 before it filled; %d of %d sent into the full buffer" % (
                len(everything) - len(arrived), len(everything))
            game.type("/kick late")
            self.assertEqual(self.console.wait_received(b"kick late"), b"kick late")
            passing = True
        finally:
            fault_summary.record("console: never reads (sends meet a full buffer)", game.alive(),
                                 passing, lost)


if __name__ == "__main__":
    unittest.main()
