"""A console program that hangs up at once and resets, and one that stops reading for a while: two
games side by side."""

import time
import unittest

import fault_summary
from harness import ConsoleProgram, Game
from own_network import shrink_tcp_buffers

KICK_HELP = '{"help": ["Kicks a player."]}'
NOT_SENT = b"[Console] [Server] Not sent: "
CONNECTION_LOST = "[Console] [Server] Connection lost"
CONNECTED_AGAIN = "[Console] [Server] Connected again"
# Socket buffers of a few kilobytes each way, so that 60 lines of about 3,000 bytes overflow both
# them and the plugin's room for waiting lines.
TCP_BUFFER_BYTES = 4096
LINE_COUNT = 60
LINE_FILL = 2999


def numbered_line(number):
    return b"line%04d " % number + b"z" * LINE_FILL


class MisbehavingConsolePrograms(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.small_buffers = shrink_tcp_buffers(TCP_BUFFER_BYTES)
        # The first plugin to connect is hung up on; the second is not read from until a test says.
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

    def test_hung_up_at_once_then_reset(self):
        game = self.hung_up
        passing = False
        try:
            # The hang-up is seen at the first pass, and the console program is linked again.
            game.wait_log(CONNECTION_LOST)
            game.wait_log(CONNECTED_AGAIN)
            self.console.wait_connected(3)
            self.assertEqual(game.chats(), [])
            self.assertHelpAndLoggingWork(game)
            # A reset is a lost link too, and the next link follows.
            since = game.mark()
            self.console.close_connection(reset=True)
            game.wait_log(CONNECTION_LOST, since)
            game.wait_log(CONNECTED_AGAIN, since)
            self.assertEqual(game.logs(since), [CONNECTION_LOST.encode(),
                                                CONNECTED_AGAIN.encode()])
            passing = True
        finally:
            fault_summary.record("console: accepts and closes at once, then resets",
                                 game.alive(), passing)

    def test_stops_reading_then_reads_again(self):
        if not self.small_buffers:
            self.skipTest("needs a network of its own to make its socket buffers small")
        game = self.unread
        lines = [numbered_line(i) for i in range(LINE_COUNT)]
        expected = [b"[Console] [L" + line[1:8] + b"] " + line for line in lines]
        since = game.mark()
        for line, log in zip(lines, expected):
            # Each line is logged when handed over; each is kept sent until the plugin took it.
            game.type_until(b"/" + line, lambda e, log=log: e.kind == "log" and e.log_text == log)
        logged = [t for t in game.logs(since) if t.startswith(b"[Console] [Line")]
        self.assertEqual(logged, expected)
        passing = False
        lost = "-"
        try:
            self.assertHelpAndLoggingWork(game)

            # Once the console program reads again, the lines that waited arrive, and then a new
            # one behind them.
            self.console.set_reading(True)
            game.settle(1.0)  # room again for a line behind the waiting ones
            game.type("/kick late")
            self.assertIsNotNone(self.console.wait_arrival(0, b"kick late"))
            arrived = self.console.take_received()
            not_sent = [t[len(NOT_SENT):] for t in game.logs(since) if t.startswith(NOT_SENT)]
            self.assertTrue(not_sent, "the buffers never filled")
            self.assertEqual(len(set(not_sent)), len(not_sent))
            # Whole lines, in order; each line that is missing was logged as not sent.
            went = [line for line in lines + [b"kick bob"] if line not in not_sent]
            self.assertEqual(arrived, b"".join(went) + b"kick late")
            lost = "%d of %d lines not sent, each logged; %d arrived whole" % (
                len(not_sent), len(lines) + 1, len(went))
            passing = True
        finally:
            fault_summary.record("console: stops reading, small buffers, reads again",
                                 game.alive(), passing, lost)


if __name__ == "__main__":
    unittest.main()
