"""A console program that hangs up at once, and one that never reads: two games side by side."""

import time
import unittest

import fault_summary
from harness import ConsoleProgram, Game

KICK_HELP = '{"help": ["Kicks a player."]}'


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
            game.command("set hold 25")
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
        lines = [b"line%04d " % i + b"z" * 3990 for i in range(800)]
        since = game.mark()
        for line in lines:
            game.type(b"/" + line)
        # Each line is logged after its send: the last one's log line ends the run.
        game.wait_log(b"[Console] [" + lines[-1].split(b" ")[0].capitalize() + b"] " + lines[-1],
                      since)
        logged = [t for t in game.logs(since) if t.startswith(b"[Console] [Line")]
        self.assertEqual(logged, [b"[Console] [L" + line[1:8] + b"] " + line for line in lines])
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
            # What was sent before the buffer filled is a whole, ordered prefix of the lines.
            self.assertEqual(arrived, everything[:len(arrived)])
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
