"""A console program that listens but never takes a connection, its queue of connections full:
the plugin's set-up goes on after a bounded wait, and links once the program takes connections."""

import socket
import threading
import unittest

from harness import CONSOLE_PORT, Game, SETUP_SECONDS, plugin_constant

FIRST_CONNECT_SECONDS = plugin_constant("kFirstConnectWait") / 1000
RETRY_SECONDS = plugin_constant("kConnectRetry") / 1000
# Time for the rest of the set-up beyond its sleeps and waits, on a busy machine.
SLACK_SECONDS = 5


def fill_queue(listener):
    """Connects to the listener until a connect is no longer taken into its queue."""
    fillers = []
    while len(fillers) < 8:
        filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        filler.settimeout(0.5)
        try:
            filler.connect(listener.getsockname())
        except OSError:
            filler.close()
            return fillers
        fillers.append(filler)
    raise AssertionError("the listener's queue did not fill")


class HungConsoleProgram(unittest.TestCase):
    def test_set_up_waits_a_bounded_time_then_the_link_comes_once_connections_are_taken(self):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", CONSOLE_PORT))
        listener.listen(0)
        fillers = fill_queue(listener)
        game = Game(help_files={"kick": '{"help": ["Kicks a player."]}'})
        try:
            game.command("ready")
            loading = game.wait_log("Console Plugin loading...")
            game.wait_log("[Console] [Server] Failed", timeout=20)
            ready = game.wait_ready()
            waited = (ready.ms - loading.ms) / 1000
            self.assertLess(waited, SETUP_SECONDS + FIRST_CONNECT_SECONDS + SLACK_SECONDS)

            # The program takes connections now: the plugin's is among them.
            accepted = []
            since = game.mark()

            def take_connections():
                while True:
                    try:
                        accepted.append(listener.accept()[0])
                    except OSError:
                        return

            threading.Thread(target=take_connections, daemon=True).start()
            game.wait_log("[Console] [Server] Connected again", since, timeout=RETRY_SECONDS + 10)
            game.type("/kick bob")
            game.wait_log("[Console] [Kick] kick bob", since)
            plugin_side = [c for c in list(accepted) if c.getpeername() not in
                           [f.getsockname() for f in fillers]]
            self.assertTrue(plugin_side)
            plugin_side[-1].settimeout(10)
            self.assertEqual(plugin_side[-1].recv(100), b"kick bob")
        finally:
            game.close()
            listener.close()
            for filler in fillers:
                filler.close()


if __name__ == "__main__":
    unittest.main()
