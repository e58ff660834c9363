"""Whatever the console program sends, whatever a help file holds and whatever the chat buffer
contains, the game survives and the plugin keeps working. One session, many faults."""

import json
import os
import threading
import time
import unittest

import fault_summary
from harness import plugin_constant, ready_session

MAX_HELP_FILE_BYTES = plugin_constant("kMaxHelpFileBytes")
KICK_HELP = '{"help": ["Kicks a player."]}'


class Faults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.console, cls.game = ready_session(help_files={"kick": KICK_HELP})
        # Shorter than the usual 300 ms, for the many lines typed here; still long enough for a
        # pass of a plugin held up on a busy machine.
        cls.game.command("set hold 150")

    @classmethod
    def tearDownClass(cls):
        cls.game.close()
        cls.console.stop()
        fault_summary.print_table("Fault scenarios (one session)")

    def setUp(self):
        self.rows_before = len(fault_summary.ROWS)

    def tearDown(self):
        # A scenario that failed before its last check still gets its row, as things are now.
        if len(fault_summary.ROWS) == self.rows_before:
            try:
                self.checkStillWorking()
                passing = True
            except (AssertionError, OSError):
                passing = False
            fault_summary.record(self.id().rsplit(".", 1)[-1] + " (failed)", self.game.alive(),
                                 passing)

    def checkStillWorking(self):
        """The host is alive, a console message shows, help shows and a command arrives exact."""
        game, console = self.game, self.console
        time.sleep(0.3)
        console.take_received()
        since = game.mark()
        console.send("console still here")
        game.wait_log("[Console] still here", since, timeout=30)
        game.type("/kick")
        game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == b"Kicks a player.", since)
        game.type("/kick check")
        self.assertEqual(console.wait_received(b"kick check"), b"kick check")
        console.take_received()

    def assertStillWorking(self, scenario, lost_bytes=0):
        """checkStillWorking, with the outcome as it is in the summary (also DIED or NO)."""
        passing = False
        try:
            self.checkStillWorking()
            passing = True
        finally:
            fault_summary.record(scenario, self.game.alive(), passing, lost_bytes)

    def test_console_one_mebibyte_burst(self):
        since = self.game.mark()
        self.console.send(b"console " + b"x" * (1024 * 1024 - 8))
        first = self.game.wait_for(lambda e: e.kind == "chat", since)
        self.assertEqual(first.chat[4], b"x" * 1016)
        # The rest drains 1024 bytes a pass and is no console message; a few passes to spare.
        self.game.wait_passes(1024 + 8)
        self.assertEqual(self.game.chats(since), [b"x" * 1016])
        self.assertStillWorking("console: 1 MiB in one burst")

    def test_console_messages_around_the_receive_size(self):
        for size in (1023, 1024, 1025):
            with self.subTest(size=size):
                since = self.game.mark()
                self.console.send(b"console " + b"m" * (size - 8))
                # Two receives take up to 2048 bytes: all of it, before the next size is sent.
                self.game.wait_passes(2)
                self.assertEqual(self.game.chats(since), [b"m" * (min(size, 1024) - 8)])
        self.assertStillWorking("console: 1023, 1024, 1025 bytes")

    def test_console_messages_with_zero_and_high_bytes(self):
        since = self.game.mark()
        self.console.send(b"console a\x00b")
        self.game.wait_passes(1)
        self.console.send(b"console \xe9\x80\xff")
        self.game.wait_passes(1)
        self.assertEqual(self.game.chats(since), [b"a", b"\xe9\x80\xff"])
        self.assertStillWorking("console: NUL and bytes 0x80-0xFF")

    def test_console_ten_thousand_small_messages(self):
        since = self.game.mark()
        payload = b"".join(b"console m%d" % i for i in range(10000))
        self.console.send(payload)
        # Drained 1024 bytes a pass; a few passes to spare.
        self.game.wait_passes(len(payload) // 1024 + 8)
        shown = self.game.chats(since)
        self.assertGreater(len(shown), 0)
        self.assertLessEqual(sum(len(s) for s in shown), len(payload))
        self.assertStillWorking("console: 10,000 small messages")

    def test_chat_line_of_4000_bytes(self):
        line = b"x " + b"a" * 3998
        self.console.take_received()
        since = self.game.mark()
        self.game.type(b"/" + line)
        self.assertEqual(self.console.wait_received(line), line)
        # Logged after it was sent.
        self.game.wait_log(b"[Console] [X] " + line, since)
        self.assertEqual(self.game.logs(since), [b"TEST", b"[Console] [X] " + line])
        self.console.take_received()
        self.assertStillWorking("chat: a 4,000-byte line")

    def test_chat_line_of_high_bytes(self):
        line = bytes(range(0x80, 0x100)) + b" " + bytes(range(0xFF, 0x7F, -1))
        self.console.take_received()
        since = self.game.mark()
        self.game.type(b"/" + line)
        self.assertEqual(self.console.wait_received(line), line)
        word = bytes(range(0x80, 0x100))
        # Logged after it was sent.
        self.game.wait_log(b"[Console] [" + word + b"] " + line, since)
        self.assertEqual(self.game.logs(since), [b"TEST", b"[Console] [" + word + b"] " + line])
        self.console.take_received()
        self.assertStillWorking("chat: bytes 0x80-0xFF")

    def test_help_files_huge_deep_ill_formed(self):
        game = self.game
        big = {"help": ["Shown."], "help big": ["line %06d of a large help file" % i
                                                for i in range(300000)]}
        game.write_help("huge", json.dumps(big))
        self.assertGreater(os.path.getsize(os.path.join(game.help_dir, "hugeHelp.json")), 10e6)
        game.write_help("deep", '{"help": ' + "[" * 100000 + "]" * 100000 + "}")
        game.write_help("deeper", "[" * 100000)
        game.write_help("utf", b'{"help": ["\xc3\x28", "ok"]}')
        for command, shown, problem in [("huge", [], b"bytes, more than the %d" % MAX_HELP_FILE_BYTES),
                                        ("deep", [], b"nested deeper than"),
                                        ("deeper", [], b"nested deeper than"),
                                        ("utf", [], b"parse_error")]:
            with self.subTest(command=command):
                since = game.mark()
                game.type("/" + command)
                if problem:
                    event = game.wait_for(lambda e: e.kind == "log" and b"Help file" in e.log_text,
                                          since, timeout=30)
                    self.assertIn(problem, event.log_text)
                else:
                    game.wait_for(lambda e: e.kind == "chat", since, timeout=30)
                self.assertEqual(game.chats(since), shown)
        self.assertStillWorking("help: 10 MB, 100,000 levels, ill-formed UTF-8")

    def test_help_file_replaced_while_requested(self):
        game = self.game
        path = os.path.join(game.help_dir, "flipHelp.json")
        stop = threading.Event()

        def rewrite():
            i = 0
            while not stop.is_set():
                # Half the time in place (a reader may see it half written), half replaced whole.
                text = json.dumps({"help": ["version %d" % i] * 50}).encode()
                if i % 2:
                    with open(path, "wb") as f:
                        f.write(text)
                else:
                    with open(path + ".tmp", "wb") as f:
                        f.write(text)
                    os.replace(path + ".tmp", path)
                i += 1

        def problem(e):
            return e.kind == "log" and e.log_text.startswith(b"[Console] Help file ")

        writer = threading.Thread(target=rewrite)
        writer.start()
        shown = []
        try:
            for _ in range(20):
                since = game.mark()
                game.type("/flip")
                # The request ends within the pass that takes the line.
                game.wait_passes(1)
                chats = game.chats(since)
                problems = [e for e in game.log_events(since) if problem(e)]
                # Each request shows one whole version, or logs that the file did not read, or
                # (read just as the writer emptied it, after its size was taken) finds no file.
                if chats:
                    self.assertEqual(chats, [chats[0]] * 50)
                    self.assertRegex(chats[0], rb"^version \d+$")
                    self.assertEqual(problems, [])
                    shown.append(chats[0])
                else:
                    self.assertLessEqual(len(problems), 1)
        finally:
            stop.set()
            writer.join()
        # Most reads find a whole file: some requests must have shown it.
        self.assertGreater(len(shown), 0)
        self.assertStillWorking("help: file rewritten during requests")

    def test_zz_connection_reset_mid_session(self):
        game = self.game
        self.console.close_connection(reset=True)
        time.sleep(0.5)
        passing = False
        try:
            since = game.mark()
            game.type("/kick bob")
            game.wait_log("[Console] [Kick] kick bob", since)
            game.type("/kick")
            game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == b"Kicks a player.", since)
            self.assertTrue(game.alive())
            passing = True
        finally:
            fault_summary.record("console: connection reset mid-session", game.alive(), passing,
                                 "-")


if __name__ == "__main__":
    unittest.main()
