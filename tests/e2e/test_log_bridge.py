"""The plugin's log lines reach a loader built by MSVC: its decorated names and
its std::stringstream, made by the runtime's own constructors in the stand-in loader. This
loader's line object has a kilobyte of members after the level, as a newer loader's may have;
others' have far more."""

import unittest

from harness import ConsoleProgram, Game, escape, plugin_text

HIGH_BYTES = bytes(range(0x80, 0x100))
LARGER_OBJECT_EXTRA_BYTES = 1024
TOO_LARGE = plugin_text("host/log_reserve.h", "kLogLineTooLarge")


def probe_words(pieces):
    """The logprobe arguments for pieces of bytes ("" stands for an empty piece)."""
    return " ".join(escape(piece).replace(" ", "\\x20") if piece else '""' for piece in pieces)


class LargerLogObjects(unittest.TestCase):
    def test_an_object_beyond_the_reserve_gets_one_last_line_and_harms_nothing(self):
        sizes = (8192, 60000)
        games = {size: Game(env={"LOADER_LOG_OBJECT_BYTES": str(size)})
                 for size in sizes}
        try:
            for size, game in games.items():
                with self.subTest(object_bytes=size):
                    game.wait_log(TOO_LARGE)
                    # A repeated Load and two probes: only the probe's own first line comes.
                    self.assertEqual(game.command("callload").payload, "callload 0")
                    game.command("logprobe 1 first")
                    game.command("logprobe 1 second")
                    self.assertEqual(game.logs(), [TOO_LARGE, TOO_LARGE])
                    self.assertEqual(game.kinds("loader-error"), [])
                    self.assertTrue(game.alive())
        finally:
            for game in games.values():
                game.close()


class LogBridge(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.console = ConsoleProgram()
        cls.game = Game(env={"LOADER_LOG_EXTRA_BYTES": str(LARGER_OBJECT_EXTRA_BYTES)})
        cls.game.command("ready")
        # The worker is silent from its connection until it is ready: the probes' time.
        cls.game.wait_log(b"[Console] [Server] Success", timeout=20)

    @classmethod
    def tearDownClass(cls):
        # The stand-in checks its members after the level when each line ends.
        errors = cls.game.kinds("loader-error")
        alive = cls.game.alive()
        cls.game.close()
        cls.console.stop()
        if not alive or errors:
            raise AssertionError("game alive: %s, loader errors: %s" % (alive, errors))

    def probe(self, level, pieces):
        since = self.game.mark()
        done = self.game.command("logprobe %d %s" % (level, probe_words(pieces)))
        self.assertEqual(done.payload, "logprobe %d" % len(pieces))
        return self.game.wait_for(lambda e: e.kind == "log", since)

    def test_pieces_of_any_length_and_every_byte_arrive_whole(self):
        cases = {
            "two pieces of 10,000 bytes": [b"a" * 10000, b"b" * 10000],
            "bytes 0x80 to 0xFF": [b"<", HIGH_BYTES, b">"],
            "0xFF alone, which is not end of file": [b"\xff", b"\xff\xff"],
            "an empty piece between two": [b"left", b"", b"right"],
        }
        for name, pieces in cases.items():
            with self.subTest(name):
                line = self.probe(1, pieces)
                self.assertEqual(line.log_level, 1)
                self.assertEqual(line.log_text, b"".join(pieces))

    def test_an_empty_line_is_still_started_and_ended(self):
        line = self.probe(3, [])
        self.assertEqual((line.log_level, line.log_text), (3, b""))

    def test_a_level_change_between_two_pieces_stops_the_rest_of_the_line(self):
        self.game.command("levelafter 1 2")
        try:
            line = self.probe(1, [b"first", b"second", b"third"])
            self.assertEqual(line.log_text, b"first")
            # At the new level the next line is below the minimum from its first piece.
            self.assertEqual(self.probe(1, [b"hidden"]).log_text, b"")
            self.assertEqual(self.probe(2, [b"shown"]).log_text, b"shown")
        finally:
            self.game.command("minlevel 1")

    def test_the_plugin_finds_the_level_state_and_buffer_where_the_runtime_put_them(self):
        # The stand-in builds the object by its own copy of the layout, so a wrong offset in
        # the plugin's copy reads a wrong level or state here, or writes nowhere.
        self.game.command("minlevel 2")
        try:
            self.assertEqual(self.probe(3, [b"at ERR"]).log_text, b"at ERR")
            self.assertEqual(self.probe(1, [b"at INFO"]).log_text, b"")
        finally:
            self.game.command("minlevel 1")
        for state in (1, 2, 4):  # eofbit, failbit, badbit: the stream writes nothing more
            with self.subTest(state=state):
                self.game.command("stateafter 1 %d" % state)
                line = self.probe(2, [b"first", b"second"])
                self.assertEqual((line.log_level, line.log_text), (2, b"first"))

    def test_the_plugin_logs_high_bytes_and_the_level_test_of_each_piece(self):
        game = self.game
        game.wait_ready()
        self.console.wait_connected()
        command = b"\xffkick \x80\xfe\xff"
        since = game.mark()
        game.type(b"/" + command)
        game.wait_log(b"[Console] [\xffkick] " + command, since)
        self.assertEqual(self.console.wait_received(command), command)

        # "TEST" is one piece, "[Console] [" the second: then the loader raises its level.
        game.command("levelafter 2 2")
        try:
            since = game.mark()
            game.type("/kick bob")
            game.wait_for(lambda e: e.kind == "log" and e.log_text == b"[Console] [", since)
            self.assertEqual(game.logs(since), [b"TEST", b"[Console] ["])
        finally:
            game.command("minlevel 1")


if __name__ == "__main__":
    unittest.main()
