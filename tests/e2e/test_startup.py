"""Start-up of the plugin in the simulated game: the version gate, log levels and the worker."""

import concurrent.futures
import time
import unittest

from harness import Game

EXPECTED_VERSION = "421470"
LOADING = b"Console Plugin loading..."
WRONG_VERSION = b"Console: Wrong version"
CREATE_SOCKET = b"[Console] [Server] Create the socket"
CONNECT_FAILED = b"[Console] [Server] Failed"


def start_games(configs, then=None):
    """Starts one game per config at once: each start-up costs seconds, and they do not interact.

    then(index, game) runs as soon as that game is up, not after the slowest of them.
    """
    def start(index, config):
        game = Game(**config)
        if then:
            then(index, game)
        return game

    with concurrent.futures.ThreadPoolExecutor(len(configs)) as pool:
        return list(pool.map(start, range(len(configs)), configs))


def lower_the_level(game):
    """Once Load has run, lets the level come down before the worker connects, 5 s in."""
    game.wait_for(lambda e: e.kind == "log")
    game.command("minlevel 1")


class StartUp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Nothing listens on the console port here: every worker's connection attempt fails.
        versions = [EXPECTED_VERSION, EXPECTED_VERSION + "1", EXPECTED_VERSION[:5], "", "<null>"]
        # On a busy machine the last game may be up seconds after the first: the quiet one's
        # level comes down as soon as it is up.
        quiet = len(versions)
        games = start_games(
            [{"env": {"LOADER_GAME_VERSION": v}} for v in versions]
            + [{"env": {"LOADER_MIN_LOG_LEVEL": "4"}},
               {"env": {"LOADER_MIN_LOG_LEVEL": "3", "LOADER_GAME_VERSION": "1"}},
               {"exe_name": "Other.exe"}],
            then=lambda index, game: lower_the_level(game) if index == quiet else None)
        cls.games = games
        cls.by_version = dict(zip(versions, games))
        cls.quiet, cls.errors_only, cls.elsewhere = games[len(versions):]

    @classmethod
    def tearDownClass(cls):
        for game in cls.games:
            game.close()

    def test_right_version_logs_only_the_loading_line_then_the_worker_connects(self):
        game = self.by_version[EXPECTED_VERSION]
        loading = game.wait_log(LOADING)
        self.assertEqual(loading.log_level, 1)
        game.wait_log(CREATE_SOCKET, timeout=20)
        game.wait_log(CONNECT_FAILED, timeout=20)
        self.assertEqual(game.logs()[:3], [LOADING, CREATE_SOCKET, CONNECT_FAILED])

    def test_any_other_version_warns_at_error_level_and_starts_all_the_same(self):
        for version in [EXPECTED_VERSION + "1", EXPECTED_VERSION[:5], "", "<null>"]:
            with self.subTest(version=version):
                game = self.by_version[version]
                game.wait_log(CREATE_SOCKET, timeout=20)
                events = game.log_events()
                self.assertEqual([e.log_text for e in events[:3]],
                                 [WRONG_VERSION, LOADING, CREATE_SOCKET])
                self.assertEqual([e.log_level for e in events[:2]], [3, 1])

    def test_start_up_lines_come_before_the_worker_and_it_waits_five_seconds(self):
        game = self.by_version[EXPECTED_VERSION]
        loading = game.wait_log(LOADING)
        connecting = game.wait_log(CREATE_SOCKET, timeout=20)
        self.assertGreaterEqual(connecting.ms - loading.ms, 5000)

    def test_a_high_minimum_level_hides_both_lines_but_the_worker_starts(self):
        self.quiet.wait_log(CREATE_SOCKET, timeout=20)
        texts = self.quiet.logs()
        self.assertNotIn(LOADING, texts)
        # The line is still started and ended by the plugin, with nothing written into it.
        self.assertEqual(texts[0], b"")

    def test_level_three_shows_the_warning_and_hides_the_loading_line(self):
        game = self.errors_only
        game.wait_log(WRONG_VERSION)
        time.sleep(1)
        self.assertNotIn(LOADING, game.logs())

    def test_a_second_load_starts_no_second_worker(self):
        game = self.by_version[EXPECTED_VERSION]
        game.wait_log(CONNECT_FAILED, timeout=20)
        since = game.mark()
        self.assertEqual(game.command("callload").payload, "callload 0")
        game.wait_log(b"Console Plugin already loaded", since)
        time.sleep(6)
        self.assertNotIn(CREATE_SOCKET, game.logs(since))

    def test_outside_the_game_the_worker_stops_with_a_clear_line(self):
        game = self.elsewhere
        game.wait_log(b"[Console] Zandrel.exe is not loaded in this process; the console stays off")
        time.sleep(6)
        self.assertTrue(game.alive())
        self.assertNotIn(CREATE_SOCKET, game.logs())
        self.assertEqual(game.command("echo still here").kind, "done")


if __name__ == "__main__":
    unittest.main()
