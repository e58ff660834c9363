"""A session in which no console program listens when the plugin starts: one starts late, stops,
and starts again. Meanwhile the connects take their local port from a range that starts at the
console port, so that a connect can meet itself, and none may count as a link."""

import socket
import struct
import time
import unittest

from harness import CONSOLE_PORT, ConsoleProgram, Game, SETUP_SECONDS, plugin_constant
from own_network import narrow_local_ports

NOT_SENT = "[Console] [Server] Not sent: "
CONNECTED_AGAIN = "[Console] [Server] Connected again"
RETRY_SECONDS = plugin_constant("kConnectRetry") / 1000
# How long after the plugin is ready the console program starts.
LATE_START_SECONDS = 20
# The system's usual range of local ports, put back once the late console program is linked.
USUAL_LOCAL_PORTS = (32768, 60999)


def connect_meets_itself():
    """Whether a connect to the console port, with nothing listening, comes through to itself."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        # Reset when closed, so as to leave the port free for the console program.
        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        try:
            s.connect(("127.0.0.1", CONSOLE_PORT))
        except OSError:
            return False
        return s.getsockname() == s.getpeername()


class NoConsoleProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.narrowed = narrow_local_ports(CONSOLE_PORT, CONSOLE_PORT + 1)
        cls.game = Game(help_files={"kick": '{"help": ["Kicks a player."]}'})
        cls.game.command("ready")  # ready before the first test
        cls.loading = cls.game.wait_log("Console Plugin loading...")
        cls.game.wait_log("[Console] [Server] Failed", timeout=20)
        cls.ready = cls.game.wait_ready()
        cls.ready_at = time.monotonic()

    @classmethod
    def tearDownClass(cls):
        cls.game.close()

    def test_logs_the_failed_connection_and_starts_right_after_the_fixed_wait(self):
        self.assertEqual(self.game.logs()[:4], [b"Console Plugin loading...",
                                                b"[Console] [Server] Create the socket",
                                                b"[Console] [Server] Failed",
                                                b"[Console] Ready..."])
        waited = self.ready.ms - self.loading.ms
        self.assertGreaterEqual(waited, SETUP_SECONDS * 1000)
        self.assertLess(waited, SETUP_SECONDS * 1000 + 900)  # no 1 s retry was needed

    def start_console_program(self):
        """Starts a console program and waits until the plugin has linked to it."""
        since = self.game.mark()
        console = ConsoleProgram()
        listening = time.monotonic()
        self.game.wait_log(CONNECTED_AGAIN, since, timeout=RETRY_SECONDS + 10)
        console.wait_connected()
        return console, time.monotonic() - listening

    def test_help_and_not_sent_lines_without_a_console_program_then_one_found_late_and_again(self):
        game = self.game
        since = game.mark()
        game.type("/kick")
        game.wait_for(lambda e: e.kind == "chat", since)
        game.type("/kick bob 2")
        game.wait_log(NOT_SENT + "kick bob 2", since)
        # What goes out must not come back as the console program's words.
        game.type("/console pwned")
        game.wait_log(NOT_SENT + "console pwned", since)
        self.assertEqual(game.chats(since), [b"Kicks a player."])
        self.assertEqual(game.logs(since), [b"[Console] Show help [kick] [help]", b"TEST",
                                            b"[Console] [Kick] kick bob 2",
                                            (NOT_SENT + "kick bob 2").encode(), b"TEST",
                                            b"[Console] [Console] console pwned",
                                            (NOT_SENT + "console pwned").encode()])

        # Several retries, each of which could meet itself, and none is taken for a link.
        time.sleep(max(0.0, self.ready_at + LATE_START_SECONDS - time.monotonic()))
        if self.narrowed:
            self.assertTrue(connect_meets_itself(), "the narrowed ports let no connect meet itself")
        self.assertNotIn(CONNECTED_AGAIN.encode(), game.logs())
        self.assertEqual(game.chats(since), [b"Kicks a player."])

        # Started long after the game: found without a restart of the game.
        console, found_after = self.start_console_program()
        self.assertLess(found_after, RETRY_SECONDS + 3)
        game.type("/kick bob")
        console.wait_received(b"kick bob")
        if self.narrowed:
            narrow_local_ports(*USUAL_LOCAL_PORTS)

        # Stopped: the link is lost, and what is typed meanwhile says it did not go.
        since = game.mark()
        console.stop()
        game.wait_log("[Console] [Server] Connection lost", since)
        game.type("/ban eve")
        game.wait_log(NOT_SENT + "ban eve", since)

        # Started again: only what is typed from then on arrives.
        console, _ = self.start_console_program()
        game.type("/kick ann")
        console.wait_received(b"kick ann")
        game.settle(0.5)
        self.assertEqual(console.take_received(), b"kick ann")
        console.stop()


if __name__ == "__main__":
    unittest.main()
