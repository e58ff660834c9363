"""One whole game session with a console program attached: the plugin's everyday job.

The plugin takes 45 s to set itself up, so one session carries many checks, in order.
"""

import json
import os
import time
import unittest

from harness import EXAMPLES_DIR, ConsoleProgram, Game, SETUP_SECONDS

KICK_HELP = '{"help": ["Kicks a player.", "Usage: /kick <name>"], "helpful 2": ["Page two."]}'
KICK_LINES = [b"Kicks a player.", b"Usage: /kick <name>"]
HELP_FILES = {"kick": KICK_HELP, "broken": '{"help": ["a",', "listing": '["not", "an", "object"]',
              "mixed": '{"help": ["first", 2, "third"]}'}


def help_lines(entry):
    """The chat lines of a help entry of strings: an array, one string, an object or null."""
    if entry is None:
        return []
    if isinstance(entry, str):
        return [entry]
    if isinstance(entry, dict):
        return [entry[key] for key in sorted(entry, key=lambda key: key.encode("utf-8"))]
    return entry


class RelaySession(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.console = ConsoleProgram()
        cls.game = Game(help_files=HELP_FILES)
        game = cls.game
        cls.loading = game.wait_log("Console Plugin loading...")
        started = time.monotonic()
        cls.console.wait_connected(timeout=20)
        game.wait_log("[Console] [Server] Success", timeout=20)

        # A chat root whose low 32 bits are zero is not ready: the plugin must keep polling.
        game.command("root 0x500000000")
        time.sleep(max(0.0, started + SETUP_SECONDS + 2.5 - time.monotonic()))
        cls.ready_too_early = [t for t in game.logs() if t == b"[Console] Ready..."]
        cls.made_ready = game.command("ready")
        cls.ready = game.wait_ready()

        # The slots were taken from the root of that moment: a later root is not followed.
        game.command("object 1")
        game.command("ready")
        cls.on_later_root = game.mark()
        cls.later_root_typing = game.type("/kick bob")
        game.command("object 0")

    @classmethod
    def tearDownClass(cls):
        cls.game.close()
        cls.console.stop()

    def assertNothingFromThePlugin(self, since):
        self.assertEqual(self.game.logs(since), [])
        self.assertEqual(self.game.chats(since), [])

    def test_01_connects_and_logs_each_step(self):
        self.assertEqual(self.game.logs()[:3], [b"Console Plugin loading...",
                                                b"[Console] [Server] Create the socket",
                                                b"[Console] [Server] Success"])

    def test_02_polls_readiness_until_the_low_half_of_the_root_is_set(self):
        self.assertEqual(self.ready_too_early, [])
        self.assertGreaterEqual(self.ready.ms - self.loading.ms, SETUP_SECONDS * 1000)
        self.assertLess(self.ready.ms - self.made_ready.ms, 1500)
        self.assertEqual(self.game.logs().count(b"[Console] Ready..."), 1)

    def test_03_keeps_the_chat_slots_of_the_moment_it_became_ready(self):
        # The game waited out its typing time: the plugin never blanked that line.
        typing = self.game.kinds(("blank", "noblank"), self.on_later_root)
        self.assertEqual([e.kind for e in typing], ["noblank"])
        self.assertEqual(self.game.logs(self.on_later_root), [])
        self.assertEqual(self.console.take_received(), b"")

    def test_04_handles_each_kind_of_command_line(self):
        # (line typed after the slash, log lines, bytes sent, chat lines)
        rows = [
            (b"", [], b"", []),
            (b"kick", [b"[Console] Show help [kick] [help]"], b"", KICK_LINES),
            (b"kick ", [b"TEST"], b"", []),
            (b"kick help", [b"TEST", b"[Console] finding help for kick",
                            b"[Console] Show help [kick] [help]"], b"", KICK_LINES),
            (b"kick helpful 2", [b"TEST", b"[Console] finding help for kick",
                                 b"[Console] Show help [kick] [helpful 2]"], b"", [b"Page two."]),
            (b"kick Help", [b"TEST", b"[Console] [Kick] kick Help"], b"kick Help", []),
            (b"kick bob 2", [b"TEST", b"[Console] [Kick] kick bob 2"], b"kick bob 2", []),
            (b" kick", [b"TEST", b"[Console] []  kick"], b" kick", []),
            (b"kick  help", [b"TEST", b"[Console] [Kick] kick  help"], b"kick  help", []),
            (b"9lives x", [b"TEST", b"[Console] [9lives] 9lives x"], b"9lives x", []),
            (b"\xe9t\xe9 x", [b"TEST", b"[Console] [\xe9t\xe9] \xe9t\xe9 x"], b"\xe9t\xe9 x", []),
            (b"\xc3\xa9t\xc3\xa9 x", [b"TEST", b"[Console] [\xc3\xa9t\xc3\xa9] \xc3\xa9t\xc3\xa9 x"],
             b"\xc3\xa9t\xc3\xa9 x", []),
        ]
        self.console.take_received()
        for line, logs, sent, chat in rows:
            with self.subTest(line=line):
                since = self.game.mark()
                typed = self.game.type(b"/" + line)
                # The plugin blanked the line, so the game did not show it as the player's.
                typing = self.game.kinds(("blank", "noblank"), since)
                self.assertEqual([e.kind for e in typing], ["blank"])
                if logs:
                    self.game.wait_log(logs[-1], since)
                if chat:
                    self.game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == chat[-1], since)
                # The pass that took the line is over: nothing more of it can come.
                self.game.wait_passes(1)
                self.assertEqual(self.game.logs(since), logs)
                self.assertEqual(self.game.chats(since), chat)
                self.assertEqual(self.console.wait_received(sent, timeout=5), sent)
                self.assertEqual(self.console.take_received(), sent)
                self.assertEqual(self.game.kinds("player", since), [])
                self.assertEqual(typed.kind, "done")

    def test_05_chat_lines_reach_the_game_routine_with_its_arguments(self):
        since = self.game.mark()
        self.console.send("console first")
        # The log line follows the chat line: waiting for it leaves nothing of this message behind.
        self.game.wait_log("[Console] first", since)
        self.game.command("chatobj 0x1234")
        self.console.send("console second")
        self.game.wait_log("[Console] second", since)
        first, second = [e.chat for e in self.game.kinds("chat", since)]
        self.assertEqual(first[1:4], (-1.0, -1, 0))
        self.assertEqual(second[:4], (0x1234, -1.0, -1, 0))
        self.assertNotEqual(first[0], 0x1234)

    def test_06_shows_console_messages_by_their_rules(self):
        # (what the console program sends in one go, what the chat shows)
        rows = [
            ("console hello", b"hello"),
            ("console", None),
            ("console ", None),
            ("status ok", None),
            ("consolehello", b"consolehello"),
            ("console a b", b"a b"),
            ("console oneconsole two", b"oneconsole two"),
            # UTF-8 passes as it is; a line end is kept, in the chat and in the log line.
            (b"console gr\xc3\xbc\xc3\x9fe", b"gr\xc3\xbc\xc3\x9fe"),
            ("console hello\n", b"hello\n"),
        ]
        for message, shown in rows:
            with self.subTest(message=message):
                since = self.game.mark()
                self.console.send(message)
                # Received on its own, not together with the marker.
                self.game.wait_passes(1)
                # A marker behind it shows the plugin has read past the message.
                self.console.send("console marker")
                self.game.wait_log("[Console] marker", since)
                expected = ([shown] if shown else []) + [b"marker"]
                self.assertEqual(self.game.chats(since), expected)
                self.assertEqual(self.game.logs(since), [b"[Console] " + t for t in expected])

    def test_07_keeps_blanking_the_line_while_it_is_typed(self):
        game = self.game
        game.command("poke text /kick")
        game.command("poke first 0x2f")
        game.command("poke state 2")
        blanks = int(game.command("watchblank 1000").payload.split()[1])
        # One blank per pass, about every 10 ms, also after the game wrote the byte again.
        self.assertGreaterEqual(blanks, 20)
        since = game.mark()
        game.command("poke first 0")
        game.command("poke state 5")
        game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == KICK_LINES[-1], since)
        game.command("poke state 0")
        self.assertEqual(game.logs(since), [b"[Console] Show help [kick] [help]"])
        self.assertEqual(game.chats(since), KICK_LINES)

    def test_08_takes_a_line_only_after_an_arm(self):
        game = self.game
        # The line was taken in the step before; the flag is clear again.
        since = game.mark()
        game.command("poke text /kick bob")
        game.command("poke first 0")
        game.command("poke state 5")
        game.settle()
        game.command("poke state 0")
        self.assertNothingFromThePlugin(since)

        game.type("/")  # an empty line clears the flag as well
        since = game.mark()
        game.command("poke text /kick bob")
        game.command("poke state 5")
        game.settle()
        game.command("poke state 0")
        self.assertNothingFromThePlugin(since)
        self.assertEqual(self.console.take_received(), b"")

    def test_09_leaves_ordinary_chat_to_the_game(self):
        since = self.game.mark()
        self.game.type("hello all")
        self.assertEqual([e.payload for e in self.game.kinds("player", since)], ["hello all"])
        self.assertNothingFromThePlugin(since)

    def test_10_shows_the_console_text_before_handling_a_line_of_the_same_pass(self):
        game = self.game
        game.command("poke text /kick bob")
        game.command("poke first 0x2f")
        game.command("poke state 2")
        game.wait_blanked()
        # The game's chat routine holds the pass that shows "first" until the line is sent.
        game.command("holdchat")
        since = game.mark()
        self.console.send("console first")
        game.wait_for(lambda e: e.kind == "held", since)
        game.command("poke first 0")
        game.command("poke state 5")
        game.command("releasechat")
        game.wait_log("[Console] [Kick] kick bob", since)
        game.command("poke state 0")
        self.assertEqual(game.logs(since), [b"[Console] first", b"TEST", b"[Console] [Kick] kick bob"])
        self.assertEqual(self.console.wait_received(b"kick bob"), b"kick bob")
        self.console.take_received()

    def test_11_a_bad_help_file_is_reported_and_help_goes_on(self):
        game = self.game
        for command, shown, logged, problem in [
            ("broken", [], [], b"parse_error"),
            ("listing", [], [b"[Console] Show help [listing] [help]"], b"array"),
            ("mixed", [b"first"], [b"[Console] Show help [mixed] [help]"], b"number"),
        ]:
            with self.subTest(command=command):
                since = game.mark()
                game.type("/" + command)
                event = game.wait_for(lambda e: e.kind == "log" and e.log_text.startswith(
                    b"[Console] Help file nativePC/plugins/ConsoleHelp/" + command.encode()), since)
                self.assertIn(problem, event.log_text)
                self.assertEqual(game.logs(since)[:-1], logged)
                self.assertEqual(game.chats(since), shown)
        since = game.mark()
        game.type("/kick")
        game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == KICK_LINES[-1], since)

    def test_12_reads_help_files_anew_and_from_subfolders(self):
        game = self.game
        game.write_help("kick", '{"help": "Edited while the game runs."}')
        game.write_help("admin/ban", '{"help": ["Bans a player."]}')
        game.write_help("", '{"help": ["All commands: /kick /spawn"]}')
        for typed, shown in [("/kick", b"Edited while the game runs."),
                             ("/admin/ban", b"Bans a player."),
                             ("/ help", b"All commands: /kick /spawn")]:
            with self.subTest(typed=typed):
                since = game.mark()
                game.type(typed)
                game.wait_for(lambda e: e.kind == "chat", since)
                self.assertEqual(game.chats(since), [shown])
        game.write_help("kick", KICK_HELP)

    def test_13_example_help_files_show(self):
        examples = [name[:-len("Help.json")] for name in sorted(os.listdir(EXAMPLES_DIR))]
        # The session's own help files stand in for some of them.
        commands = [c for c in examples if c not in HELP_FILES]
        self.assertTrue(commands, "no example help files in " + EXAMPLES_DIR)
        for command in commands:
            name = command + "Help.json"
            with self.subTest(command=command), open(os.path.join(EXAMPLES_DIR, name)) as f:
                lines = [line.encode("utf-8") for line in help_lines(json.load(f)["help"])]
                since = self.game.mark()
                self.game.type("/" + command)
                if lines:
                    self.game.wait_for(lambda e: e.kind == "chat", since, count=len(lines))
                self.game.wait_passes(1)
                self.assertEqual(self.game.logs(since),
                                 [b"[Console] Show help [%s] [help]" % command.encode()])
                self.assertEqual(self.game.chats(since), lines)

    def test_14_an_abandoned_command_line_takes_nothing_later(self):
        game = self.game
        self.console.take_received()
        # (how the "/kick bob" being typed is given up, the ordinary line sent next, and how: typed
        # over many passes as a player types, or at once by a chat bind, seen by no pass typed)
        for abandon, ordinary, send in [("cancel", b"skill issue bob", "timedtype 300"),
                                        ("delete the slash", b"kick bob", "timedtype 300"),
                                        ("cancel", b"good game all", "bind")]:
            with self.subTest(abandon=abandon, send=send):
                game.command("poke state 0")
                if abandon == "cancel":  # Esc: the chat closes, its first text byte cleared
                    game.command("cancel /kick bob")
                else:
                    game.command("poke text /kick bob")
                    game.command("poke first 0x2f")
                    game.command("poke state 2")
                    game.wait_blanked()
                since = game.mark()
                game.command("%s %s" % (send, ordinary.decode()))
                game.wait_passes(1)
                self.assertEqual([e.payload.encode() for e in game.kinds("player", since)],
                                 [ordinary])
                self.assertNothingFromThePlugin(since)
                self.assertEqual(self.console.take_received(), b"")
        since = game.mark()
        game.type("/kick bob")
        game.wait_log("[Console] [Kick] kick bob", since)
        self.assertEqual(self.console.wait_received(b"kick bob"), b"kick bob")
        self.console.take_received()

    def test_99_links_again_when_the_console_program_closes_the_connection(self):
        game = self.game
        since = game.mark()
        self.console.close_connection()
        game.wait_log("[Console] [Server] Connection lost", since)
        game.wait_log("[Console] [Server] Connected again", since)
        game.type("/kick bob")
        self.assertEqual(self.console.wait_received(b"kick bob"), b"kick bob")
        game.type("/kick")
        game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == KICK_LINES[-1], since)
        self.assertEqual(len(self.console.connections), 2)

if __name__ == "__main__":
    unittest.main()
