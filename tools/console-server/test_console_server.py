"""console-server against a client that plays the plugin's side of the connection.

Runs the program named by CONSOLE_SERVER (under CONSOLE_SERVER_EMULATOR, when set) on a free
port, never on the console port.
"""

import contextlib
import json
import os
import re
import resource
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SERVER = os.environ.get("CONSOLE_SERVER", "")
EMULATOR = os.environ.get("CONSOLE_SERVER_EMULATOR", "")
TEST_PROGRAM = os.environ.get("TEST_PROGRAM", "")
HELP_CHECK = os.environ.get("HELP_CHECK", "")
STAMP = r"\d\d:\d\d:\d\d\.\d\d\d"


def plugin_number(name):
    """A number of the plugin's, from its one home (src/plugin_numbers.h)."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src",
                        "plugin_numbers.h")
    with open(path, encoding="utf-8") as f:
        return int(re.search(r"^constexpr [\w:]+ %s = (\d+);$" % name, f.read(), re.M).group(1))


# The longest command line the plugin sends.
LONGEST_COMMAND_LINE = plugin_number("kLongestCommandLine")

RULES = """\
# Rules of the test session.
kick -> Kicked {args}.
   quiet   ->
* -> {command}? ({line})
"""


class Server:
    """console-server with its output read line by line."""

    def __init__(self, *arguments, preexec_fn=None, reading=True):
        command = ([EMULATOR] if EMULATOR else []) + [SERVER] + list(arguments)
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, preexec_fn=preexec_fn)
        self.lines = []
        self.cond = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        if reading:
            self.reader.start()

    def start_reading(self):
        """For a server whose output nobody read so far."""
        self.reader.start()

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
        self.reader.join(10)
        for pipe in (self.process.stdin, self.process.stdout, self.process.stderr):
            with contextlib.suppress(OSError):  # what waited in stdin has nowhere to go
                pipe.close()


def connect(port):
    connection = socket.create_connection(("127.0.0.1", port), timeout=10)
    connection.settimeout(10)
    return connection


def seconds_between(first, second):
    """The time from one output line to a later one, by their stamps."""
    def stamp(line):
        hours, minutes, seconds = line.split(" ", 1)[0].split(":")
        return int(hours) * 3600 + int(minutes) * 60 + float(seconds)
    return stamp(second) - stamp(first)


def receive(connection, timeout=10.0):
    connection.settimeout(timeout)
    try:
        return connection.recv(65536)
    except socket.timeout:
        return None


CONNECTED = STAMP + r" \* connection %d from 127\.0\.0\.1:\d+ \(\d+ open\)"
# An interpreter that another user may run: not one under root's home.
SYSTEM_PYTHON = shutil.which("python3", path="/usr/local/bin:/usr/bin:/bin") or sys.executable

# A client in a process of its own: PORT COUNT LINE answers|holds. It opens COUNT connections and
# sends LINE on each, then prints what each got first, or holds them open for a minute.
CLIENT = """
import socket, sys, time
port, count, line, then = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3].encode(), sys.argv[4]
connections = []
for _ in range(count):
    connection = socket.create_connection(("127.0.0.1", port), timeout=10)
    try:
        connection.sendall(line)
    except OSError:
        pass
    connections.append(connection)
    time.sleep(0.2)
if then == "holds":
    time.sleep(60)
answers = []
for connection in connections:
    try:
        answers.append(connection.recv(65536))
    except OSError:
        answers.append(b"")
print(answers)
"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_connect(port, timeout=20.0):
    """Connects once the server listens, without reading its output."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            return connect(port)
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)


def listening_port(server):
    listening = server.wait_line(STAMP + r" \* listening on 127\.0\.0\.1:\d+.*")
    return int(re.search(r"127\.0\.0\.1:(\d+)", listening).group(1))


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
class Session(unittest.TestCase):
    """A console-server of its own for each test, with the rules above; self.game connected."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.rules = os.path.join(self.folder.name, "test.rules")
        with open(self.rules, "w", encoding="utf-8-sig") as f:
            f.write(RULES)
        self.server = Server("--port", "0", "--script", self.rules)
        self.port = listening_port(self.server)
        self.clients = []
        self.game = self.join()

    def tearDown(self):
        for client in self.clients:
            client.close()
        self.server.stop()
        self.folder.cleanup()

    def join(self):
        """Connects a client, and waits until console-server tells it is connected."""
        client = connect(self.port)
        self.clients.append(client)
        self.server.wait_line(CONNECTED % len(self.clients))
        return client

    def test_reads_the_rule_file_and_says_when_the_game_looks(self):
        # The file starts with a byte order mark, which must not spoil the first rule (kick).
        self.server.wait_line(STAMP + r" \* listening on .* with 3 script rules")
        self.server.wait_line(STAMP + r" \* the game looks for it 5 s after the game starts, then "
                              r"every 2 s once the game is ready \(about 45 s after it starts\)")

    def test_prints_each_received_command_line_and_answers_from_its_rule(self):
        self.game.sendall(b"kick bob 2")
        self.server.wait_line(STAMP + r" > kick bob 2")
        self.assertEqual(receive(self.game), b"console Kicked bob 2.")
        self.server.wait_line(STAMP + r" < console Kicked bob 2\.")

    def test_the_catch_all_rule_answers_other_commands(self):
        self.game.sendall(b"time 6 {args}")
        # Braces that the player typed are not filled in.
        self.assertEqual(receive(self.game), b"console time? (time 6 {args})")

    def test_a_rule_without_a_reply_keeps_later_rules_from_answering(self):
        self.game.sendall(b"quiet please")
        self.server.wait_line(STAMP + r" > quiet please")
        self.assertIsNone(receive(self.game, timeout=1.0))

    def test_control_bytes_print_escaped(self):
        self.game.sendall(b"quiet a\tb\x01")
        self.server.wait_line(STAMP + r" > quiet a\\x09b\\x01")

    def test_sends_typed_lines_as_console_messages_apart(self):
        self.server.type("first")
        self.server.type("second")
        self.assertEqual(receive(self.game), b"console first")
        self.assertEqual(receive(self.game), b"console second")
        self.server.wait_line(STAMP + r" < console second")

    def test_refuses_a_message_the_plugin_would_split(self):
        self.server.type("x" * 1016)  # 1024 bytes with "console ": the most the plugin reads
        self.assertEqual(receive(self.game), b"console " + b"x" * 1016)
        self.server.type("y" * 1017)
        self.server.wait_line(STAMP + r" ! longer than 1024 bytes, .*; not sent")
        self.server.type("")
        self.server.wait_line(STAMP + r" ! an empty message shows nothing in the chat; not sent")
        self.assertIsNone(receive(self.game, timeout=1.0))

    def test_tells_when_the_game_goes_away_and_serves_the_next_start(self):
        since = self.server.mark()
        self.game.close()
        self.server.wait_line(STAMP + r" \* connection 1 from 127\.0\.0\.1:\d+ closed \(0 open\)",
                              since)
        self.server.type("gone")
        self.server.wait_line(STAMP + r" ! nothing is connected; not sent: console gone", since)
        game = self.join()
        game.sendall(b"kick eve")
        self.assertEqual(receive(game), b"console Kicked eve.")
        self.server.type("welcome back")
        self.assertEqual(receive(game), b"console welcome back")

    def test_the_longest_command_line_is_read_whole(self):
        since = self.server.mark()
        line = b"quiet " + b"x" * (LONGEST_COMMAND_LINE - len(b"quiet "))
        self.game.sendall(line)
        # Printed in part, with its length.
        shown = self.server.wait_line(
            STAMP + r" > quiet x+\.\.\. \(%s bytes\)" % format(LONGEST_COMMAND_LINE, ","), since)
        self.assertLess(len(shown), len(line))
        self.game.sendall(b"kick after")
        self.assertEqual(receive(self.game), b"console Kicked after.")
        # The reply can come before the reading of the server's output has reached its line.
        self.server.wait_line(STAMP + " > kick after", since)
        self.assertEqual(len([x for x in self.server.lines[since:] if " > " in x]), 2)

    def test_a_game_restarting_after_a_crash_gets_in(self):
        # A crashed game's system resets its connection; the new game connects right away.
        self.game.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.game.close()
        game = self.join()
        game.sendall(b"kick carl")
        self.assertEqual(receive(game), b"console Kicked carl.")

    def test_every_local_client_is_served_and_none_keeps_the_game_out(self):
        silent_before = [self.join() for _ in range(2)]
        squatter = self.join()
        squatter.sendall(b"kick squat")
        self.assertEqual(receive(squatter), b"console Kicked squat.")
        game = self.join()
        silent_after = [self.join() for _ in range(4)]
        web = self.join()
        web.sendall(b"GET / HTTP/1.1\r\n\r\n")
        self.assertEqual(receive(web), b"")
        # Two reads during the wait for the rest of a web request stay two command lines.
        game.sendall(b"SAY hello")
        time.sleep(0.2)
        game.sendall(b"BAN bob")
        self.assertEqual(receive(game), b"console SAY? (SAY hello)")
        self.assertEqual(receive(game), b"console BAN? (BAN bob)")
        squatter.sendall(b"kick again")
        game.sendall(b"kick bob")
        self.assertEqual(receive(game), b"console Kicked bob.")
        self.assertEqual(receive(squatter), b"console Kicked again.")
        self.server.type("to everyone")
        for client in [self.game, squatter, game] + silent_before + silent_after:
            self.assertEqual(receive(client), b"console to everyone")

    def test_a_client_that_never_reads_is_closed_and_the_game_is_served_meanwhile(self):
        lazy = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        lazy.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
        lazy.connect(("127.0.0.1", self.port))
        self.clients.append(lazy)
        self.server.wait_line(CONNECTED % len(self.clients))
        since = self.server.mark()
        closed = STAMP + r" ! closed connection 2 from .*: what was sent to it waited .*"
        deadline = time.monotonic() + 60
        while not any(re.fullmatch(closed, x) for x in self.server.lines[since:]):
            self.assertLess(time.monotonic(), deadline, "\n".join(self.server.lines[since:]))
            # Typed lines go to both; the game reads them and is answered all along.
            self.server.type("y" * 1000)
            self.assertEqual(receive(self.game), b"console " + b"y" * 1000)
        self.game.sendall(b"kick bob")
        self.assertEqual(receive(self.game), b"console Kicked bob.")

    def test_the_system_names_the_peers_process_or_says_it_does_not(self):
        self.game.sendall(b"kick bob")
        self.assertEqual(receive(self.game), b"console Kicked bob.")
        no_process = (STAMP + r" ! connection 1 from 127\.0\.0\.1:\d+: the system names no "
                      r"process for it \(.*\), so no connection's user can be checked: every local "
                      r"program is served, and the program slots are shared between connections")
        if EMULATOR:
            # Wine's table of connections gives process 0 for every row: served all the same.
            self.server.wait_line(no_process)
        else:
            self.assertFalse([x for x in self.server.lines if re.fullmatch(no_process, x)])

    def test_rules_are_read_again_when_their_file_changes(self):
        since = self.server.mark()
        with open(self.rules, "w", encoding="utf-8") as f:
            f.write(RULES.replace("Kicked {args}.", "Kicked {args} now.") + "late -> never\n")
        os.utime(self.rules, (time.time() + 5, time.time() + 5))
        self.server.wait_line(STAMP + r" \* rules read again: 4 rules, 2 lines changed", since)
        self.server.wait_line(STAMP + r" \* \+ kick -> Kicked \{args\} now\.", since)
        self.server.wait_line(STAMP + r" ! .*test\.rules:5: never applies: the \* rule of line 4 "
                              r"answers every line first", since)
        self.game.sendall(b"kick hal")
        self.assertEqual(receive(self.game), b"console Kicked hal now.")
        # A file that does not read leaves the rules in use.
        with open(self.rules, "w", encoding="utf-8") as f:
            f.write("kick -> Gone\nno arrow here\n")
        os.utime(self.rules, (time.time() + 10, time.time() + 10))
        self.server.wait_line(STAMP + r" ! rules not read again, the 4 rules before stay: .*"
                              r"test\.rules:2: expected COMMAND -> REPLY .*", since)
        self.game.sendall(b"kick ian")
        self.assertEqual(receive(self.game), b"console Kicked ian now.")


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
class LowDescriptorLimit(unittest.TestCase):
    @unittest.skipIf(EMULATOR, "descriptors and signals are POSIX's")
    def test_idle_clients_leave_the_game_answered_under_a_limit_of_64(self):
        def limit():
            resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))
        with tempfile.TemporaryDirectory() as folder:
            rules = os.path.join(folder, "test.rules")
            with open(rules, "w", encoding="utf-8") as f:
                f.write(RULES)
            port = free_port()
            server = Server("--port", str(port), "--script", rules, preexec_fn=limit)
            clients = []
            try:
                server.wait_line(STAMP + r" ! the system lets it hold 64 descriptors: at most 32 "
                                 r"connections at once; for 1,000, raise the hard limit of open "
                                 r"files to 1,064 \(.*\)")
                clients.append(wait_connect(port))
                clients.extend(connect(port) for _ in range(10))
                game = connect(port)
                clients.append(game)
                game.sendall(b"kick bob")
                self.assertEqual(receive(game), b"console Kicked bob.")
            finally:
                for client in clients:
                    client.close()
                server.stop()


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
class UnreadOutput(unittest.TestCase):
    def test_the_game_is_answered_while_nobody_reads_the_output(self):
        with tempfile.TemporaryDirectory() as folder:
            rules = os.path.join(folder, "test.rules")
            with open(rules, "w", encoding="utf-8") as f:
                f.write(RULES)
            port = free_port()
            server = Server("--port", str(port), "--script", rules, reading=False)
            clients = []
            try:
                game = wait_connect(port)
                clients.append(game)
                # Many clients with long lines, whose traffic is folded to a few lines a second,
                # and far more output than a pipe and the waiting lines hold: lines typed that are
                # too long for a message, each refused with a line of its own. The clients send
                # once their first second is over: lines of a connection opened in a flood of
                # connections fold with that flood's news until then.
                for _ in range(300):
                    clients.append(connect(port))
                time.sleep(1.5)
                for client in clients[1:]:
                    for _ in range(11):
                        client.sendall(b"say " + b"z" * 300)
                        time.sleep(0.001)
                # Typed on a thread of its own: were the lines not read while the output waits,
                # the test fails here, not by ctest's timeout.
                typing = threading.Thread(
                    target=server.type, args=("\n".join(["y" * 8192] * 3000),), daemon=True)
                typing.start()
                typing.join(30)
                self.assertFalse(typing.is_alive(), "typed lines not read while the output waits")
                game.sendall(b"kick bob")
                self.assertEqual(receive(game), b"console Kicked bob.")
                server.start_reading()
                server.wait_line(STAMP + r" ! [\d,]+ lines? not printed: the output is not read",
                                 timeout=30)
            finally:
                for client in clients:
                    client.close()
                server.stop()


@unittest.skipUnless(SERVER and TEST_PROGRAM, "CONSOLE_SERVER and TEST_PROGRAM name the programs")
class Programs(unittest.TestCase):
    """"=>" rules running the test program, found beside the rule file, with a 2 s timeout."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        program = os.path.basename(TEST_PROGRAM)
        shutil.copy(TEST_PROGRAM, os.path.join(cls.folder.name, program))
        rules = os.path.join(cls.folder.name, "programs.rules")
        with open(rules, "w") as f:
            f.write("ping -> pong\n"
                    "args => %s args {args}\n"
                    'words => %s args "{command} and" "a b" "" x\n'
                    "env => %s env\n"
                    "stdin => %s stdin\n"
                    "lines => %s lines {args}\n"
                    "long => %s long\n"
                    "sleep => %s sleep {args}\n"
                    "fail => %s fail 3\n"
                    "flood => %s flood\n"
                    "inherited => %s inherited\n"
                    "missing => no-such-program-here\n" % ((program,) * 10))
        # A signal blocked in console-server must not stay blocked in its programs.
        block = None if EMULATOR else lambda: signal.pthread_sigmask(signal.SIG_BLOCK,
                                                                       {signal.SIGTERM})
        cls.server = Server("--port", "0", "--script", rules, "--exec-timeout", "2",
                            preexec_fn=block)
        cls.port = listening_port(cls.server)
        cls.game = connect(cls.port)
        cls.server.wait_line(CONNECTED % 1)

    @classmethod
    def tearDownClass(cls):
        cls.game.close()
        cls.server.stop()
        cls.folder.cleanup()

    def answers(self, line, count=1, timeout=10.0):
        self.game.sendall(line.encode())
        return [receive(self.game, timeout) for _ in range(count)]

    def test_each_argument_arrives_exactly(self):
        # Neither a shell nor the C runtime's command-line parser may change any of them.
        for text in ('"', "\\", '\\"', "a\\", "dir\\ \\\\", "two  spaces ", "%PATH%",
                     "$(id)", "`id`", "a;b", "a&b", "a|b", "a^b", "'single'", '"quoted" \\"x\\"',
                     "*", "<in >out"):
            with self.subTest(text=text):
                self.assertEqual(self.answers("args " + text),
                                 [b"console [" + text.encode() + b"]"])

    def test_quotes_group_words_and_fields_are_filled_in_after_the_split(self):
        self.assertEqual(self.answers("words x y", 4), [b"console [words and]", b"console [a b]",
                                                         b"console []", b"console [x]"])

    def test_the_line_is_in_the_environment(self):
        self.assertEqual(self.answers("env a  b", 3), [b"console [env a  b]", b"console [env]",
                                                       b"console [a  b]"])

    def test_stdin_is_empty(self):
        self.assertEqual(self.answers("stdin"), [b"console stdin 0 bytes"])

    def test_at_most_20_lines_go_out(self):
        since = self.server.mark()
        self.assertEqual(self.answers("lines 25", 20),
                         [b"console line %d" % n for n in range(1, 20)]
                         + [b"console line 20 [5 more lines not shown]"])
        self.server.wait_line(STAMP + r" ! /lines: 5 more output lines not sent "
                                      r"\(20 at most per run\)", since)
        self.assertIsNone(receive(self.game, timeout=1.0))

    def test_a_long_line_is_cut_at_a_character(self):
        self.assertEqual(self.answers("long"), [b"console " + "\u20ac".encode() * 338])

    def test_troubles_get_one_chat_line(self):
        for line, answer in (("fail", "/fail failed (exit status 3)."),
                             ("missing", "/missing could not be run."),
                             ("sleep 30", "/sleep timed out after 2 s.")):
            with self.subTest(line=line):
                self.assertEqual(self.answers(line), [b"console " + answer.encode()])
                self.assertIsNone(receive(self.game, timeout=0.5))
        # Output that never pauses does not keep a program from its timeout.
        since = self.server.mark()
        answers = self.answers("flood", 21)
        self.assertRegex(answers[19], rb"^console flood .* \[\d+ more lines not shown\]$")
        self.assertEqual(answers[20], b"console /flood timed out after 2 s.")
        running = self.server.wait_line(STAMP + r" \* /flood: running .*", since)
        ended = self.server.wait_line(STAMP + r" ! /flood: ended after 2 s", since)
        self.assertLess(abs(seconds_between(running, ended) - 2), 0.5)

    @unittest.skipIf(EMULATOR, "descriptors and signals are POSIX's")
    def test_a_program_inherits_no_descriptor_and_no_signal_setting(self):
        self.assertEqual(self.answers("inherited", 3), [b"console descriptors 0 1 2",
                                                        b"console SIGPIPE default",
                                                        b"console SIGTERM not blocked"])

    @unittest.skipIf(EMULATOR or not hasattr(os, "geteuid") or os.geteuid() != 0
                     or not shutil.which("setpriv"), "runs a client as another user: root's, natively")
    def test_another_users_client_gets_no_answer_and_runs_nothing(self):
        since = self.server.mark()
        client = subprocess.run(
            ["setpriv", "--reuid=54321", "--regid=54321", "--clear-groups", SYSTEM_PYTHON, "-c",
             CLIENT, str(self.port), "1", "args other", "answers"],
            cwd="/", capture_output=True, text=True, timeout=60)
        self.assertEqual((client.returncode, client.stdout), (0, "[b'']\n"), client.stderr)
        self.server.wait_line(STAMP + r" ! refused connection \d+ from 127\.0\.0\.1:\d+ of user "
                              r"54321: console-server serves only the programs of its own user "
                              r"\(0\) and of the administrator, since its rules run programs with "
                              r"its user's rights", since)
        self.assertEqual(self.answers("args mine"), [b"console [mine]"])
        self.assertEqual(len([x for x in self.server.lines[since:] if "/args: running" in x]), 1)

    def test_a_process_with_many_connections_cannot_keep_the_game_from_a_run(self):
        since = self.server.mark()
        # Another process holds four connections, each asking a program that runs until its
        # timeout (2 s): three run, and the fourth is refused.
        hog = subprocess.Popen([sys.executable, "-c", CLIENT, str(self.port), "4", "sleep 30",
                                "holds"])
        try:
            # Natively the game's process is named; under Wine none is, and its connection is
            # the one open longest.
            keeper = "connection 1" if EMULATOR else "process %d" % os.getpid()
            self.server.wait_line(STAMP + r" ! /sleep: not run, the last program slot is kept for "
                                  r"%s, connected longest of those with none running" % keeper,
                                  since)
            self.assertEqual(len([x for x in self.server.lines[since:]
                                  if re.fullmatch(STAMP + r" \* /sleep: running .*", x)]), 3)
            # The game, one process with one connection, gets the last slot while they run.
            self.assertFalse([x for x in self.server.lines[since:] if "/sleep: ended" in x])
            self.assertEqual(self.answers("args game"), [b"console [game]"])
        finally:
            hog.kill()
            hog.wait()
        # Their slots come back at their timeout, for the tests after this one.
        deadline = time.monotonic() + 20
        while len([x for x in self.server.lines[since:] if "/sleep: ended" in x]) < 3:
            self.assertLess(time.monotonic(), deadline, "\n".join(self.server.lines[since:]))
            time.sleep(0.1)

    def test_at_most_4_run_at_once_and_the_rest_keeps_working(self):
        since = self.server.mark()
        for _ in range(4):
            self.game.sendall(b"sleep 30")
            self.server.wait_line(STAMP + r" \* /sleep: running .*", since)
            since = self.server.mark()
            time.sleep(0.2)
        self.assertEqual(self.answers("sleep 1"),
                         [b"console The server is busy: try /sleep again in a moment."])
        self.assertEqual(self.answers("ping"), [b"console pong"])
        self.server.type("typed meanwhile")
        self.assertEqual(receive(self.game), b"console typed meanwhile")
        self.assertEqual([receive(self.game) for _ in range(4)],
                         [b"console /sleep timed out after 2 s."] * 4)


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
@unittest.skipIf(EMULATOR, "links to perl are POSIX's")
class TrustAtTheRun(unittest.TestCase):
    """A script checked when the rules were read, replaced by a link to perl while it runs."""

    def test_a_script_made_a_link_to_perl_after_the_start_is_not_run(self):
        perl = shutil.which("perl")
        if not perl:
            self.skipTest("no perl to link to")
        with tempfile.TemporaryDirectory() as folder:
            script = os.path.join(folder, "greet.sh")
            with open(script, "w") as f:
                f.write('#!/bin/sh\necho "Hello $1"\n')
            os.chmod(script, 0o700)
            rules = os.path.join(folder, "trust.rules")
            with open(rules, "w") as f:
                f.write("greet => greet.sh {args}\n")
            server = Server("--port", "0", "--script", rules)
            try:
                game = connect(listening_port(server))
                game.sendall(b"greet bob")
                self.assertEqual(receive(game), b"console Hello bob")
                os.remove(script)
                os.symlink(perl, script)
                since = server.mark()
                game.sendall(b"greet -eopen(F,'>ran')")
                self.assertEqual(receive(game), b"console /greet could not be run.")
                server.wait_line(STAMP + r" ! /greet: not run: .*greet\.sh is now the "
                                 r"interpreter perl.*the rules stay\)", since)
                self.assertFalse(os.path.exists(os.path.join(folder, "ran")))
                game.close()
            finally:
                server.stop()


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
class Examples(unittest.TestCase):
    """The example rule file of the build's system answers with its program's output."""

    def test_the_example_runs_its_program(self):
        if EMULATOR:
            rules, line, answer = "programs-windows.rules", b"host", rb"console [^ ]+"
        else:
            rules, line = "programs.rules", b"roll 3d1"
            answer = rb"console Rolled 3d1: 1 \+ 1 \+ 1 = 3"
        server = Server("--port", "0", "--script", os.path.join("examples", rules))
        try:
            listening = server.wait_line(STAMP + r" \* listening on 127\.0\.0\.1:\d+ .*")
            game = connect(int(re.search(r":(\d+) ", listening).group(1)))
            game.sendall(line)
            self.assertRegex(receive(game), answer)
            game.close()
        finally:
            server.stop()


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
class Arguments(unittest.TestCase):
    def run_server(self, *arguments):
        command = ([EMULATOR] if EMULATOR else []) + [SERVER] + list(arguments)
        return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=60)

    def run_rules(self, rules):
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "notes.txt"), "w") as f:
                f.write("not a program\n")
            path = os.path.join(folder, "bad.rules")
            with open(path, "w") as f:
                f.write(rules)
            return self.run_server("--port", "0", "--script", path)

    def test_help(self):
        result = self.run_server("--help")
        self.assertEqual(result.returncode, 0)
        self.assertIn("Usage: console-server [--port N] [--script RULES] [--exec-timeout S]",
                      result.stdout)

    def test_a_bad_rule_line_names_its_line(self):
        expected = "expected COMMAND -> REPLY or COMMAND => PROGRAM ARG..., got: "
        for name, line, error in (
                ("no arrow", "no arrow here", expected + "no arrow here"),
                ("long", "y" * 500, expected + "y" * 200 + "... (500 bytes)\n"),
                ("batch file", "backup => backup.bat {args}", "will not run backup.bat: cmd.exe"),
                ("command file", "backup => Backup.CMD. {args}",
                 "will not run Backup.CMD.: cmd.exe"),
                ("program from the player", "run => {args}",
                 "the program cannot come from the player's line ({args})"),
                ("no program", "run =>", "=> needs a program to run"),
                ("open quote", 'say => tool "{args}', "a double quote is not closed"),
                *(("shell " + shell, "say => %s -c \"echo %s\"" % (shell, field),
                   "say: will not give the player's text to ")
                  for shell, field in (("cmd", "{args}"), ("CMD.EXE", "{line}"),
                                       (r"C:\Windows\System32\cmd.exe", "{command}"),
                                       ("powershell.exe", "{args}"), ("pwsh", "{args}"),
                                       ("/bin/sh", "x{args}x"), ("bash", "{args}"),
                                       ("/usr/bin/dash", "{args}"), ("zsh", "{args}"),
                                       ("ksh", "{args}"), ("fish.exe", "{args}")))):
            with self.subTest(name=name):
                result = self.run_rules("# fine\nkick -> Kicked\n" + line + "\n")
                self.assertEqual(result.returncode, 2)
                self.assertIn("bad.rules:3: " + error, result.stderr)

    def test_a_rule_that_would_run_the_players_text_as_code_is_refused(self):
        for line, error in (
                ("say => env sh -c {args}", "the command shell sh"),
                ("say => conhost.exe cmd /c {args}", "the command shell cmd"),
                ("say => python3 -c {args}", "-c would take {args} as code to run"),
                ("say => awk {args}", "awk, which would run {args} as its program"),
                ("say -> {argz}", "{argz} is no field")):
            with self.subTest(line=line):
                result = self.run_rules("# fine\nkick -> Kicked\n" + line + "\n")
                self.assertEqual(result.returncode, 2)
                self.assertIn("bad.rules:3: say: will not give the player's text to "
                              if "=>" in line else "bad.rules:3: say: ", result.stderr)
                self.assertIn(error, result.stderr)

    @unittest.skipIf(EMULATOR, "Windows warns of an ACL instead")
    def test_a_rule_file_that_others_can_write_stops_the_start(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "open.rules")
            with open(path, "w") as f:
                f.write("kick -> Kicked\n")
            os.chmod(path, 0o666)
            result = self.run_server("--port", "0", "--script", path)
            self.assertEqual(result.returncode, 2)
            self.assertIn("console-server: --script: %s may be written by another user" % path,
                          result.stderr)
            self.assertIn("any user may write it (chmod go-w %s)" % path, result.stderr)

    @unittest.skipUnless(EMULATOR, "Windows' ACLs")
    def test_a_rule_file_that_everyone_can_write_is_warned_of_on_windows(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "open.rules")
            with open(path, "w") as f:
                f.write("kick -> Kicked\n")
            os.chmod(path, 0o666)
            server = Server("--port", "0", "--script", path)
            try:
                server.wait_line(STAMP + r" ! .*open\.rules may be written by Everyone, and would "
                                 r"steer what console-server runs \(icacls \".*open\.rules\" "
                                 r"/inheritance:d /grant:r \*S-1-1-0:RX\)")
                listening_port(server)
            finally:
                server.stop()

    def test_a_rule_file_above_1_mib_is_refused(self):
        result = self.run_rules("# padding\n" * (1024 * 1024 // 10) + "x -> y\n")
        self.assertEqual(result.returncode, 2)
        self.assertIn("bad.rules: larger than 1 MiB, which no rule file needs", result.stderr)
        if not EMULATOR:
            # Endless: refused after the first MiB, not read until memory runs out.
            result = self.run_server("--port", "0", "--script", "/dev/zero")
            self.assertEqual(result.returncode, 2)
            self.assertIn("/dev/zero: larger than 1 MiB", result.stderr)

    def test_a_bad_number_names_the_value(self):
        for option, value, shape in (
                ("--port", "abc", "a port number (a whole number from 0 to 65535)"),
                ("--port", "65536", "a port number (a whole number from 0 to 65535)"),
                ("--port", "", "a port number (a whole number from 0 to 65535)"),
                ("--exec-timeout", "0", "a number of seconds (a whole number from 1 to 3600)"),
                ("--exec-timeout", "1.5", "a number of seconds (a whole number from 1 to 3600)")):
            with self.subTest(option=option, value=value):
                result = self.run_server(option, value)
                self.assertEqual(result.returncode, 2)
                self.assertIn('%s "%s" is not %s' % (option, value, shape), result.stderr)

    def test_an_option_without_its_value(self):
        for option, shape in (("--port", "--port N"), ("--script", "--script RULES"),
                              ("--exec-timeout", "--exec-timeout S")):
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


@unittest.skipUnless(SERVER, "CONSOLE_SERVER names the program to test")
class HelpFiles(unittest.TestCase):
    """--help-dir: the rules' comments as help files, kept in line as the rules change."""

    def test_help_files_follow_the_rules(self):
        with tempfile.TemporaryDirectory() as folder:
            rules = os.path.join(folder, "help.rules")
            help_folder = os.path.join(folder, "ConsoleHelp")
            os.mkdir(help_folder)
            theirs = os.path.join(help_folder, "banHelp.json")
            with open(theirs, "w") as f:
                f.write('{"help": "Written by hand."}')
            with open(rules, "w") as f:
                f.write("# Kicks a player: /kick NAME\nkick -> Kicked {args}.\n"
                        "# Rolls dice.\nroll -> 4\n# Bans.\nban -> Banned\nquiet ->\n")
            server = Server("--port", "0", "--script", rules, "--help-dir", help_folder)
            try:
                server.wait_line(STAMP + r" \* listening on .*")
                server.wait_line(STAMP + r" ! left .*banHelp\.json alone: console-server did "
                                 r"not write it.*")
                self.assertEqual(sorted(os.listdir(help_folder)),
                                 ["banHelp.json", "commandsHelp.json", "kickHelp.json",
                                  "rollHelp.json"])
                self.assert_help(help_folder, "kick", "Kicks a player: /kick NAME")
                self.assert_help(help_folder, "commands", "/roll: Rolls dice.")
                self.check_folder(help_folder)
                since = server.mark()
                with open(rules, "w") as f:
                    f.write("# Kicks someone.\nkick -> Kicked {args}.\n")
                os.utime(rules, (time.time() + 5, time.time() + 5))
                server.wait_line(STAMP + r" \* removed .*rollHelp\.json: no rule describes it "
                                 r"now", since)
                server.wait_line(STAMP + r" \* wrote the help of /kick: .*", since)
                self.assert_help(help_folder, "kick", "Kicks someone.")
                self.assertNotIn("rollHelp.json", os.listdir(help_folder))
                with open(theirs) as f:
                    self.assertEqual(f.read(), '{"help": "Written by hand."}')
            finally:
                server.stop()

    def test_the_demo_rules_describe_their_commands(self):
        with tempfile.TemporaryDirectory() as help_folder:
            server = Server("--port", "0", "--script", os.path.join("examples", "demo.rules"),
                            "--help-dir", help_folder)
            try:
                server.wait_line(STAMP + r" \* wrote the help of /commands: .*")
            finally:
                server.stop()
            self.assertEqual(sorted(os.listdir(help_folder)),
                             ["commandsHelp.json", "kickHelp.json", "sayHelp.json",
                              "spawnHelp.json", "timeHelp.json"])
            self.check_folder(help_folder)

    def assert_help(self, folder, command, line):
        with open(os.path.join(folder, command + "Help.json"), encoding="utf-8") as f:
            self.assertIn(line, json.load(f)["help"])

    def check_folder(self, folder):
        if not HELP_CHECK:
            return
        command = ([EMULATOR] if EMULATOR else []) + [HELP_CHECK, folder]
        result = subprocess.run(command, capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


if __name__ == "__main__":
    unittest.main()
