"""console-server against a client that plays the plugin's side of the connection.

Runs the program named by CONSOLE_SERVER (under CONSOLE_SERVER_EMULATOR, when set) on a free
port, never on the console port.
"""

import os
import re
import socket
import subprocess
import tempfile
import threading
import time
import unittest

SERVER = os.environ.get("CONSOLE_SERVER", "")
EMULATOR = os.environ.get("CONSOLE_SERVER_EMULATOR", "")
STAMP = r"\d\d:\d\d:\d\d\.\d\d\d"

RULES = """\
# Rules of the test session.
kick -> Kicked {args}.
   quiet   ->
* -> {command}? ({line})
"""


class Server:
    """console-server with its output read line by line."""

    def __init__(self, *arguments):
        command = ([EMULATOR] if EMULATOR else []) + [SERVER] + list(arguments)
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.lines = []
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            with self.cond:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
                self.cond.notify_all()

    def mark(self):
        with self.cond:
            return len(self.lines)

    def wait_line(self, pattern, since=0, timeout=20.0):
        """Waits for an output line (from since on) that matches pattern, and returns it."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for line in self.lines[since:]:
                    if re.fullmatch(pattern, line):
                        return line
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise AssertionError("no line matches %r; output:\n%s"
                                         % (pattern, "\n".join(self.lines)))
                self.cond.wait(remaining)

    def type(self, text):
        self.process.stdin.write((text + "\n").encode("utf-8"))
        self.process.stdin.flush()

    def stop(self):
        self.process.kill()
        self.process.wait()


def connect(port):
    connection = socket.create_connection(("127.0.0.1", port), timeout=10)
    connection.settimeout(10)
    return connection


def receive(connection, timeout=10.0):
    connection.settimeout(timeout)
    try:
        return connection.recv(65536)
    except socket.timeout:
        return None


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
class Session(unittest.TestCase):
    """One console-server serving two games, one after the other, as in the steps below."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        rules = os.path.join(cls.folder.name, "test.rules")
        with open(rules, "w") as f:
            f.write(RULES)
        cls.server = Server("--port", "0", "--script", rules)
        listening = cls.server.wait_line(STAMP + r" \* listening on 127\.0\.0\.1:\d+ .*")
        cls.port = int(re.search(r":(\d+)", listening.split(" on ", 1)[1]).group(1))
        cls.game = None

    @classmethod
    def tearDownClass(cls):
        if cls.game:
            cls.game.close()
        cls.server.stop()
        cls.folder.cleanup()

    def test_01_reads_the_rule_file(self):
        self.server.wait_line(STAMP + r" \* listening on .* with 3 script rules")

    def test_02_a_typed_line_without_a_game_is_not_sent(self):
        since = self.server.mark()
        self.server.type("anyone there?")
        self.server.wait_line(STAMP + r" ! no game is connected; not sent: console anyone there\?",
                              since)

    def test_03_tells_when_the_game_connects(self):
        since = self.server.mark()
        type(self).game = connect(self.port)
        self.server.wait_line(STAMP + r" \* game connected \(from 127\.0\.0\.1:\d+\)", since)

    def test_04_prints_each_received_command_line_with_its_time(self):
        since = self.server.mark()
        self.game.sendall(b"kick bob 2")
        self.server.wait_line(STAMP + r" > kick bob 2", since)

    def test_05_answers_from_the_rule_of_the_first_word(self):
        self.assertEqual(receive(self.game), b"console Kicked bob 2.")
        self.server.wait_line(STAMP + r" < console Kicked bob 2\.")

    def test_06_the_catch_all_rule_answers_other_commands(self):
        self.game.sendall(b"time 6 {args}")
        # Braces that the player typed are not filled in.
        self.assertEqual(receive(self.game), b"console time? (time 6 {args})")

    def test_07_a_rule_without_a_reply_keeps_later_rules_from_answering(self):
        since = self.server.mark()
        self.game.sendall(b"quiet please")
        self.server.wait_line(STAMP + r" > quiet please", since)
        self.assertIsNone(receive(self.game, timeout=1.0))

    def test_08_control_bytes_print_escaped(self):
        since = self.server.mark()
        self.game.sendall(b"quiet a\tb\x01")
        self.server.wait_line(STAMP + r" > quiet a\\x09b\\x01", since)

    def test_09_sends_a_typed_line_as_a_console_message(self):
        self.server.type("hello there")
        self.assertEqual(receive(self.game), b"console hello there")
        self.server.wait_line(STAMP + r" < console hello there")

    def test_10_two_typed_lines_arrive_apart(self):
        self.server.type("first")
        self.server.type("second")
        self.assertEqual(receive(self.game), b"console first")
        self.assertEqual(receive(self.game), b"console second")

    def test_11_refuses_a_message_the_plugin_would_split(self):
        since = self.server.mark()
        self.server.type("x" * 1016)  # 1024 bytes with "console ": the most the plugin reads
        self.assertEqual(receive(self.game), b"console " + b"x" * 1016)
        self.server.type("y" * 1017)
        self.server.wait_line(STAMP + r" ! longer than 1024 bytes, .*; not sent", since)
        self.server.type("")
        self.server.wait_line(STAMP + r" ! an empty message shows nothing in the chat; not sent",
                              since)
        self.assertIsNone(receive(self.game, timeout=1.0))

    def test_12_tells_when_the_game_goes_away(self):
        since = self.server.mark()
        self.game.close()
        type(self).game = None
        self.server.wait_line(STAMP + r" \* the game went away; waiting for the next game start",
                              since)
        self.server.type("gone")
        self.server.wait_line(STAMP + r" ! no game is connected; not sent: console gone", since)

    def test_13_serves_the_next_game_start(self):
        since = self.server.mark()
        type(self).game = connect(self.port)
        self.server.wait_line(STAMP + r" \* game connected .*", since)
        self.game.sendall(b"kick eve")
        self.assertEqual(receive(self.game), b"console Kicked eve.")
        self.server.type("welcome back")
        self.assertEqual(receive(self.game), b"console welcome back")

    def test_14_a_new_game_replaces_a_connection_still_open(self):
        since = self.server.mark()
        old = self.game
        type(self).game = connect(self.port)
        self.server.wait_line(
            STAMP + r" \* a new game connected: closed the connection of the previous one", since)
        self.assertEqual(receive(old), b"")
        old.close()
        self.server.type("to the new one")
        self.assertEqual(receive(self.game), b"console to the new one")


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
class Arguments(unittest.TestCase):
    def run_server(self, *arguments):
        command = ([EMULATOR] if EMULATOR else []) + [SERVER] + list(arguments)
        return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=60)

    def test_help(self):
        result = self.run_server("--help")
        self.assertEqual(result.returncode, 0)
        self.assertIn("Usage: console-server [--port N] [--script RULES]", result.stdout)

    def test_a_bad_rule_line_names_its_line(self):
        with tempfile.TemporaryDirectory() as folder:
            rules = os.path.join(folder, "bad.rules")
            with open(rules, "w") as f:
                f.write("# fine\nkick -> Kicked\nno arrow here\n")
            result = self.run_server("--port", "0", "--script", rules)
        self.assertEqual(result.returncode, 2)
        self.assertIn("bad.rules:3: expected COMMAND -> REPLY, got: no arrow here", result.stderr)

    def test_a_bad_port_names_the_value(self):
        for value in ("abc", "65536", ""):
            with self.subTest(value=value):
                result = self.run_server("--port", value)
                self.assertEqual(result.returncode, 2)
                self.assertIn('--port "%s" is not a port number (a whole number from 0 to 65535)'
                              % value, result.stderr)

    def test_an_option_without_its_value(self):
        for option, shape in (("--port", "--port N"), ("--script", "--script RULES")):
            with self.subTest(option=option):
                result = self.run_server(option)
                self.assertEqual(result.returncode, 2)
                self.assertIn("%s needs a value (%s)" % (option, shape), result.stderr)

    def test_an_unknown_option_is_named(self):
        result = self.run_server("--prot", "50382")
        self.assertEqual(result.returncode, 2)
        self.assertIn("unknown option --prot", result.stderr)
        self.assertIn("Usage: console-server", result.stderr)

    def test_a_missing_rule_file_says_why(self):
        with tempfile.TemporaryDirectory() as folder:
            missing = os.path.join(folder, "none.rules")
            result = self.run_server("--port", "0", "--script", missing)
        self.assertEqual(result.returncode, 2)
        self.assertRegex(result.stderr, r"--script: cannot read .*none\.rules: "
                                        r"No such file or directory")

    def test_a_folder_as_rule_file_says_why(self):
        with tempfile.TemporaryDirectory() as folder:
            result = self.run_server("--port", "0", "--script", folder)
        self.assertEqual(result.returncode, 2)
        self.assertIn("cannot read %s: Is a directory" % folder, result.stderr)

    def test_a_port_in_use(self):
        taken = socket.socket()
        taken.bind(("127.0.0.1", 0))
        taken.listen(1)
        try:
            result = self.run_server("--port", str(taken.getsockname()[1]))
        finally:
            taken.close()
        self.assertEqual(result.returncode, 1)
        self.assertIn("cannot listen on 127.0.0.1:", result.stderr)


if __name__ == "__main__":
    unittest.main()
