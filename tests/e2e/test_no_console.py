"""A session in which no console program listens when the plugin starts."""

import time
import unittest

from harness import ConsoleProgram, Game, SETUP_SECONDS


class NoConsoleProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.game = Game(help_files={"kick": '{"help": ["Kicks a player."]}'})
        cls.game.command("ready")  # ready before the first test
        cls.loading = cls.game.wait_log("Console Plugin loading...")
        cls.game.wait_log("[Console] [Server] Failed", timeout=20)
        # A console program that starts too late is never connected to.
        cls.console = ConsoleProgram()
        cls.ready = cls.game.wait_ready()

    @classmethod
    def tearDownClass(cls):
        cls.game.close()
        cls.console.stop()

    def test_logs_the_failed_connection_and_starts_right_after_the_fixed_wait(self):
        self.assertEqual(self.game.logs()[:4], [b"Console Plugin loading...",
                                                b"[Console] [Server] Create the socket",
                                                b"[Console] [Server] Failed",
                                                b"[Console] Ready..."])
        waited = self.ready.ms - self.loading.ms
        self.assertGreaterEqual(waited, SETUP_SECONDS * 1000)
        self.assertLess(waited, SETUP_SECONDS * 1000 + 900)  # no 1 s retry was needed

    def test_help_and_forwarding_go_on_without_a_connection(self):
        since = self.game.mark()
        self.game.type("/kick")
        self.game.wait_for(lambda e: e.kind == "chat", since)
        self.game.type("/kick bob 2")
        self.game.wait_log("[Console] [Kick] kick bob 2", since)
        self.game.settle(0.5)
        self.assertEqual(self.game.chats(since), [b"Kicks a player."])
        self.assertEqual(self.game.logs(since), [b"[Console] Show help [kick] [help]", b"TEST",
                                                 b"[Console] [Kick] kick bob 2"])
        self.assertEqual(self.console.connections, [])


if __name__ == "__main__":
    unittest.main()
