"""Hostile help files and help commands: a huge entry, paths out of the help folder and device
names, files too large to read and parse errors that quote what they read. One session; after each
fault the game lives and the plugin still blanks, forwards and shows help."""

import json
import os
import sys
import time
import unittest

import fault_summary
from harness import plugin_constant, ready_session

KICK_HELP = '{"help": ["Kicks a player."]}'
MAX_HELP_LINES = plugin_constant("kMaxHelpLines")
MAX_HELP_FILE_BYTES = plugin_constant("kMaxHelpFileBytes")


def problem_line(command, reason):
    return ("[Console] Help file nativePC/plugins/ConsoleHelp/%sHelp.json: %s"
            % (command, reason)).encode("latin-1")


class HelpFaults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.console, cls.game = ready_session(help_files={"kick": KICK_HELP})

    @classmethod
    def tearDownClass(cls):
        cls.game.close()
        cls.console.stop()
        fault_summary.print_table("Help fault scenarios (one session)")

    def assertStillWorking(self, scenario):
        """The host is alive, a "/" line is blanked and forwarded exactly, and help shows."""
        game, console = self.game, self.console
        console.take_received()
        since = game.mark()
        game.type("/kick check")
        self.assertEqual(console.wait_received(b"kick check"), b"kick check")
        game.type("/kick")
        game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == b"Kicks a player.", since)
        self.assertEqual(game.kinds("player", since), [])
        console.take_received()
        fault_summary.record(scenario, game.alive(), True)

    def request_then_private_command(self, request, seconds, private):
        """Asks for help, then types a private "/" line that many seconds later: the line must be
        blanked and forwarded, never shown. Returns the mark before the request."""
        game, console = self.game, self.console
        console.take_received()
        since = game.mark()
        game.type(request)
        time.sleep(seconds)
        typed = game.mark()
        game.type(b"/" + private)
        self.assertEqual(console.wait_received(private), private)
        self.assertEqual([e.kind for e in game.kinds("blank", typed)], ["blank"])
        self.assertEqual(game.kinds("noblank", since) + game.kinds("player", since), [])
        return since

    def help_problem(self, since, timeout=30):
        return self.game.wait_for(lambda e: e.kind == "log" and b"Help file" in e.log_text,
                                  since, timeout=timeout).log_text

    def test_entry_of_a_million_lines_then_a_private_command(self):
        game = self.game
        # {"help":["small"],"help all":["a",...]}: a million lines in 4,000,032 bytes.
        text = json.dumps({"help": ["small"], "help all": ["a"] * 1000000},
                          separators=(",", ":"))
        self.assertLess(len(text), MAX_HELP_FILE_BYTES)
        game.write_help("big", text)
        since = self.request_then_private_command("/big help all", 1, b"kick secret")

        left_out = game.wait_log(problem_line(
            "big", "the entry has more than %d lines: showed the first %d, left out %d"
            % (MAX_HELP_LINES, MAX_HELP_LINES, 1000000 - MAX_HELP_LINES)),
            since)
        self.assertEqual(game.chats(since), [b"a"] * MAX_HELP_LINES)
        asked = game.wait_log("[Console] finding help for big", since)
        sys.stderr.write("\nworker busy with the million-line request: %d ms\n"
                         % (left_out.ms - asked.ms))
        self.assertStillWorking("help: entry of 1,000,000 lines, /kick 1 s later")

    def test_never_closed_brackets_then_a_private_command(self):
        game = self.game
        # As many "[" as a help file may hold: refused at the nesting bound, early in the file.
        game.write_help("deep", "[" * MAX_HELP_FILE_BYTES)
        since = self.request_then_private_command("/deep help", 0.4, b"login hunter2")
        self.assertEqual(self.help_problem(since), problem_line(
            "deep", "nested deeper than %d levels, more than any help file needs"
            % plugin_constant("kMaxHelpDepth")))
        self.assertEqual(game.chats(since), [])
        self.assertStillWorking("help: 4 MiB of [ never closed, /login 400 ms later")

    def test_help_file_above_the_size_bound(self):
        game = self.game
        # The same entry written with a space after each comma: over the bound, never read.
        text = '{"help": ["small"], "help all": [' + ", ".join(['"a"'] * 1000000) + "]}"
        game.write_help("wide", text)
        since = game.mark()
        game.type("/wide help all")
        self.assertEqual(self.help_problem(since), problem_line(
            "wide", "not read: %d bytes, more than the %d a help file may have"
            % (len(text), MAX_HELP_FILE_BYTES)))
        self.assertEqual(game.chats(since), [])
        self.assertStillWorking("help: 5 MB file, above the size bound")

    def test_whitespace_files_quote_little_and_cost_no_memory(self):
        game = self.game
        path = os.path.join(game.help_dir, "spaceHelp.json")
        with open(path, "wb") as f:
            f.write(b" " * (1 << 20) + b"x")
        since = game.mark()
        game.type("/space")
        line = self.help_problem(since)
        self.assertLess(len(line), 500)
        self.assertTrue(line.startswith(problem_line("space", "[json.exception.parse_error.101]")),
                        line[:200])
        self.assertIn(b"... [cut, ", line)

        # 256 MiB of whitespace: refused by its size, before a byte of it is read.
        before = self.memory()
        with open(path, "wb") as f:
            block = b" " * (1 << 20)
            for _ in range(256):
                f.write(block)
            f.write(b"x")
        since = game.mark()
        game.type("/space")
        self.assertEqual(self.help_problem(since), problem_line(
            "space", "not read: 268435457 bytes, more than the %d a help file may have"
            % MAX_HELP_FILE_BYTES))
        after = self.memory()
        os.remove(path)
        self.assertLess(after["peakworkingset"] - before["peakworkingset"], 16 << 20,
                        (before, after))
        self.assertStillWorking("help: 1 MiB and 256 MiB of whitespace")

    def memory(self):
        done = self.game.command("memory")
        return {k: int(v) for k, v in (p.split("=") for p in done.payload.split()[1:])}

    def test_commands_out_of_the_help_folder_and_devices(self):
        game = self.game
        outside = '{"help": ["outside the help folder"]}'
        # Where each command would lead without the rule.
        for folder in (game.folder, os.path.join(game.folder, "nativePC"),
                       os.path.join(game.folder, "tmp")):
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "xHelp.json"), "w") as f:
                f.write(outside)
        game.write_help("team/join", '{"help": ["Joins a team."]}')
        refusals = {
            "..\\..\\..\\tmp\\x": b"a .. in a command would leave the help folder",
            "../../x": b"a .. in a command would leave the help folder",
            "COM1.": b"a command that names a device (CON, AUX, COM1...) is no help file",
            "AUX.": b"a command that names a device (CON, AUX, COM1...) is no help file",
            "\\x": b"a command that starts with / or \\ would leave the help folder",
            "C:x": b"a command with a : names a drive or a stream, not a help file",
        }
        for command, reason in refusals.items():
            with self.subTest(command=command):
                since = game.mark()
                game.type("/" + command)
                self.assertEqual(self.help_problem(since),
                                 problem_line(command, "not read: ") + reason)
                game.settle(0.2)
                self.assertEqual(game.chats(since), [])
        since = game.mark()
        game.type("/team/join")
        game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == b"Joins a team.", since)
        self.assertStillWorking("help: .., \\, C:, COM1., AUX. commands")

    def test_help_files_are_read_as_bytes(self):
        game = self.game
        cases = {  # file: (problem logged, lines shown)
            b'\x1a{"help": ["a"]}': (b"column 1: syntax error while parsing value - invalid "
                                     b"literal; last read: '<U+001A>'", []),
            b'{"help": ["a\x1ab"]}': (b"control character U+001A (SUB) must be escaped", []),
            b'{\r\n "help": [\r\n  "one",\r\n  "two"\r\n ]\r\n}\r\n': (None, [b"one", b"two"]),
        }
        for content, (problem, shown) in cases.items():
            with self.subTest(content=content):
                game.write_help("bytes", content)
                since = game.mark()
                game.type("/bytes")
                if problem:
                    self.assertIn(problem, self.help_problem(since))
                else:
                    game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == shown[-1], since)
                    self.assertEqual(game.logs(since), [b"[Console] Show help [bytes] [help]"])
                self.assertEqual(game.chats(since), shown)
        self.assertStillWorking("help: 0x1A first and in a string, CR LF line ends")

    def test_folder_in_place_of_a_help_file(self):
        game = self.game
        os.makedirs(os.path.join(game.help_dir, "dirHelp.json"))
        since = game.mark()
        game.type("/dir")
        game.type("/dir help")
        game.settle(0.5)
        self.assertEqual(game.logs(since), [b"TEST", b"[Console] finding help for dir"])
        self.assertEqual(game.chats(since), [])
        self.assertStillWorking("help: a folder named dirHelp.json")


if __name__ == "__main__":
    unittest.main()
