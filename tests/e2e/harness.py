"""Drives the real plugin inside the simulated game under Wine, with a console program on loopback.

A scenario reads like a session: the game types chat lines and the console program sends
messages; the test then waits for what the plugin does (log lines, chat lines, bytes on the wire).
"""

import os
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass

BIN_DIR = os.environ.get("CONSOLE_RELAY_BIN", "")
WINE = os.environ.get("CONSOLE_RELAY_WINE", "/usr/lib/wine/wine64")
EXAMPLES_DIR = os.environ.get("CONSOLE_RELAY_EXAMPLES", "")
# The plugin's numbers that tests and benchmarks read back, one plain integer a line.
PLUGIN_NUMBERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src",
                              "plugin_numbers.h")
# The clock of the arrival times that ConsoleProgram notes: under Wine, the host's performance
# counter runs on it too.
ARRIVAL_CLOCK = time.CLOCK_MONOTONIC_RAW


def plugin_constant(name):
    """A number of the plugin (src/plugin_numbers.h; a duration in milliseconds), so that a test
    or benchmark does not state the rule a second time."""
    with open(PLUGIN_NUMBERS, encoding="utf-8") as f:
        for line in f:
            words = line.split()
            # "constexpr <type> <name> = <digits>;" or "constexpr <type> <name>{<digits>};"
            if len(words) == 5 and words[0] == "constexpr" and words[2] == name:
                return int(words[4].rstrip(";"))
            if len(words) == 3 and words[0] == "constexpr" and words[2].startswith(name + "{"):
                return int(words[2][len(name) + 1:].rstrip("};"))
    raise LookupError("no constant %s in %s" % (name, PLUGIN_NUMBERS))


def plugin_text(header, name):
    """A text of the plugin, the string literal (or literals, joined) of constant `name` in the
    header under src/, so that a test does not retype a log line."""
    path = os.path.join(os.path.dirname(PLUGIN_NUMBERS), header)
    with open(path, encoding="utf-8") as f:
        source = f.read()
    found = re.search(r"constexpr const char\* %s =((?:\s*\"(?:[^\"\\]|\\.)*\")+);" % name, source)
    if not found:
        raise LookupError("no text %s in %s" % (name, path))
    literals = re.findall(r'"((?:[^"\\]|\\.)*)"', found.group(1))
    return "".join(literals).encode("latin-1").decode("unicode_escape").encode("latin-1")


CONSOLE_PORT = plugin_constant("kServerPort")
# The plugin waits 5 s before connecting and 40 s more before its first look at the game.
SETUP_SECONDS = (plugin_constant("kSetUpConnectDelay") + plugin_constant("kSetUpGameWait")) // 1000


def unescape(text):
    """Decodes the game's output escapes (\\xNN) into raw bytes."""
    return re.sub(rb"\\x([0-9a-f]{2})", lambda m: bytes([int(m.group(1), 16)]), text.encode("latin-1"))


def escape(data):
    """Encodes bytes for a game command line."""
    if isinstance(data, str):
        data = data.encode("latin-1")
    out = []
    for b in data:
        if b < 0x20 or b >= 0x7F or b == 0x5C:
            out.append("\\x%02x" % b)
        else:
            out.append(chr(b))
    return "".join(out)


@dataclass
class Event:
    ms: int
    kind: str
    payload: str

    @property
    def log_level(self):
        return int(self.payload.split(" ", 1)[0])

    @property
    def log_text(self):
        """The log line's text as bytes."""
        parts = self.payload.split(" ", 1)
        return unescape(parts[1] if len(parts) > 1 else "")

    @property
    def chat(self):
        """(object, float, int, flag, text bytes) of a chat line."""
        obj, f, i, flag, *text = self.payload.split(" ", 4)
        return int(obj, 16), float(f), int(i), int(flag), unescape(text[0] if text else "")


class Game:
    """Zandrel.exe under Wine with the plugin loaded, fed commands on its standard input."""

    def __init__(self, plugin="ConsoleRelay.dll", env=None, help_files=None, exe_name="Zandrel.exe"):
        self.folder = tempfile.mkdtemp(prefix="console-relay-game-")
        self.help_dir = os.path.join(self.folder, "nativePC", "plugins", "ConsoleHelp")
        os.makedirs(self.help_dir)
        if EXAMPLES_DIR:
            for name in os.listdir(EXAMPLES_DIR):
                shutil.copy(os.path.join(EXAMPLES_DIR, name), self.help_dir)
        for command, content in (help_files or {}).items():
            self.write_help(command, content)

        exe = os.path.join(BIN_DIR, "Zandrel.exe")
        if exe_name != "Zandrel.exe":
            # Another process than the game: the same host under another name.
            other_bin = os.path.join(self.folder, "bin")
            os.makedirs(other_bin)
            shutil.copy(exe, os.path.join(other_bin, exe_name))
            shutil.copy(os.path.join(BIN_DIR, "loader.dll"), other_bin)
            exe = os.path.join(other_bin, exe_name)
        run_env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        run_env.update(env or {})
        plugin_path = "Z:" + os.path.join(BIN_DIR, plugin) if plugin else None
        self.events = []
        self.cond = threading.Condition()
        self.process = subprocess.Popen(
            [WINE, exe] + ([plugin_path] if plugin_path else []),
            cwd=self.folder, env=run_env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE)
        self.stderr = []
        threading.Thread(target=self._read, daemon=True).start()
        threading.Thread(target=self._read_stderr, daemon=True).start()
        self.wait_for(lambda e: e.kind == "plugin", timeout=60)

    def write_help(self, command, content):
        path = os.path.join(self.help_dir, command + "Help.json")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode("utf-8"))

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode("latin-1").rstrip("\r\n")
            parts = line.split(" ", 2)
            if len(parts) < 2 or not parts[0].isdigit():
                continue
            event = Event(int(parts[0]), parts[1], parts[2] if len(parts) > 2 else "")
            with self.cond:
                self.events.append(event)
                self.cond.notify_all()
        with self.cond:
            self.events.append(Event(-1, "exit", ""))
            self.cond.notify_all()

    def _read_stderr(self):
        for raw in self.process.stderr:
            self.stderr.append(raw.decode("latin-1"))

    def mark(self):
        """A position in the event stream; later waits and queries can start from it."""
        with self.cond:
            return len(self.events)

    def wait_for(self, predicate, since=0, timeout=10.0, count=1):
        """Returns the count-th event from since on that matches predicate, once it has come."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                matched = 0
                for event in self.events[since:]:
                    if predicate(event):
                        matched += 1
                        if matched == count:
                            return event
                    if event.kind == "exit":
                        raise AssertionError("the game ended; last events:\n" + self.tail())
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise AssertionError("timed out waiting; last events:\n" + self.tail())
                self.cond.wait(remaining)

    def tail(self, count=25):
        return "\n".join("%s %s %s" % (e.ms, e.kind, e.payload) for e in self.events[-count:])

    def command(self, line, timeout=15.0):
        """Runs one game command and returns its completion event."""
        verb = line.split(" ", 1)[0]
        since = self.mark()
        self.process.stdin.write((line + "\n").encode("latin-1"))
        self.process.stdin.flush()
        return self.wait_for(lambda e: e.kind == "done" and e.payload.split(" ")[0] == verb,
                             since, timeout)

    def type(self, text):
        """The player types a chat line and sends it."""
        return self.command("type " + escape(text))

    def type_until(self, text, taken, timeout=10.0):
        """Types a chat line as type does, but keeps it sent until an event matches taken.

        type keeps a line sent for a fixed time (set hold); a plugin held up longer than that on
        a busy machine misses the line. Returns the matching event.
        """
        data = text.encode("latin-1") if isinstance(text, str) else text
        since = self.mark()
        self.command("poke state 0")
        self.command("poke text " + escape(data))
        self.command("poke first %d" % (data[0] if data else 0))
        self.command("poke state 2")
        if data[:1] == b"/":
            self.wait_blanked(timeout)
        # Enter: the first-character byte goes before the state, as the game does it.
        self.command("poke first 0")
        self.command("poke state 5")
        event = self.wait_for(taken, since, timeout)
        self.command("poke state 0")
        return event

    def wait_log(self, text, since=0, timeout=10.0):
        text = text.encode("latin-1") if isinstance(text, str) else text
        return self.wait_for(lambda e: e.kind == "log" and e.log_text == text, since, timeout)

    def logs(self, since=0, until=None):
        with self.cond:
            return [e.log_text for e in self.events[since:until] if e.kind == "log"]

    def log_events(self, since=0):
        with self.cond:
            return [e for e in self.events[since:] if e.kind == "log"]

    def chats(self, since=0):
        with self.cond:
            return [e.chat[4] for e in self.events[since:] if e.kind == "chat"]

    def kinds(self, kind, since=0):
        """The events of one kind, or of any kind in a tuple of kinds."""
        wanted = kind if isinstance(kind, tuple) else (kind,)
        with self.cond:
            return [e for e in self.events[since:] if e.kind in wanted]

    def wait_ready(self):
        """Waits out the plugin's set-up: its first pass follows the ready line."""
        return self.wait_log("[Console] Ready...", timeout=SETUP_SECONDS + 30)

    def wait_passes(self, count=1, timeout=30.0):
        """Returns once the plugin has run count whole passes that began after the call.

        Whatever the console program sent before the call has then been received, and shown
        and logged if it is to be, however slowly the machine runs. The passes are counted by
        the plugin's blanks of a "/" line held in typing; the line is then sent empty, which the
        plugin takes without a trace (no log line, chat line or bytes sent).
        """
        self.command("poke text /")
        self.command("poke first 0x2f")
        self.command("poke state 2")
        # The first blank may come from a pass that received before the call.
        blanks = 0
        deadline = time.monotonic() + timeout
        while blanks < count + 1:
            if time.monotonic() > deadline:
                raise AssertionError("the plugin made only %d passes in %g s; last events:\n%s"
                                     % (blanks, timeout, self.tail()))
            blanks += int(self.command("watchblank 50").payload.split()[1])
        since = self.mark()
        typed = self.type("/")
        if [e.kind for e in self.kinds(("blank", "noblank"), since)] != ["blank"]:
            raise AssertionError("the plugin stopped blanking; last events:\n" + self.tail())
        return typed

    def wait_blanked(self, timeout=10.0):
        """Waits until the first byte of the chat text reads 0: the plugin has blanked (armed)."""
        deadline = time.monotonic() + timeout
        while " text0=0 " not in self.command("peek").payload:
            if time.monotonic() > deadline:
                raise AssertionError("the plugin did not blank the line; last events:\n"
                                     + self.tail())
            time.sleep(0.01)

    def settle(self, seconds=0.3):
        """Lets the plugin make a few passes (each about 10 ms apart)."""
        time.sleep(seconds)

    def alive(self):
        return self.process.poll() is None

    def close(self):
        if self.alive():
            try:
                self.process.stdin.write(b"quit\n")
                self.process.stdin.flush()
                self.process.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


class ConsoleProgram:
    """A console program on 127.0.0.1:50382 that records every byte the plugin sends."""

    def __init__(self, port=CONSOLE_PORT, close_first=False, read=True):
        # close_first: hang up on the first plugin at once; read=False: leave the bytes unread.
        self.close_first = close_first
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if not read:
            # A small window, so that unread bytes fill the plugin's side quickly.
            self.server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        self.server.bind(("127.0.0.1", port))
        self.server.listen(4)
        self.cond = threading.Condition()
        self.received = bytearray()
        # (end offset in received, ARRIVAL_CLOCK nanoseconds) of every chunk received.
        self.arrivals = []
        self.connections = []
        self.closed = False
        self.read_enabled = read
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:
                return
            # Console messages leave at once, as a console program that answers would send them.
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self.cond:
                self.connections.append(conn)
                self.cond.notify_all()
                if self.close_first and len(self.connections) == 1:
                    conn.close()
                    continue
            threading.Thread(target=self._receive, args=(conn,), daemon=True).start()

    def _receive(self, conn):
        while True:
            with self.cond:
                while not self.read_enabled:
                    self.cond.wait()
            try:
                data = conn.recv(65536)
            except OSError:
                return
            arrived = time.clock_gettime_ns(ARRIVAL_CLOCK)
            if not data:
                return
            with self.cond:
                self.received += data
                self.arrivals.append((len(self.received), arrived))
                self.cond.notify_all()

    @property
    def connection(self):
        with self.cond:
            return self.connections[-1]

    def set_reading(self, read):
        with self.cond:
            self.read_enabled = read
            self.cond.notify_all()

    def wait_connected(self, count=1, timeout=15.0):
        with self.cond:
            if not self.cond.wait_for(lambda: len(self.connections) >= count, timeout):
                raise AssertionError("the plugin did not connect")

    def send(self, data):
        self.connection.sendall(data if isinstance(data, bytes) else data.encode("latin-1"))

    def wait_received(self, expected, timeout=10.0):
        """Waits until everything received so far equals expected, and returns it.

        Raises AssertionError as soon as it can no longer come to equal expected (other bytes,
        or more of them), and when too few have come by the timeout.
        """
        if isinstance(expected, str):
            expected = expected.encode("latin-1")
        with self.cond:
            self.cond.wait_for(lambda: not expected.startswith(bytes(self.received))
                               or len(self.received) >= len(expected), timeout)
            received = bytes(self.received)
        if received != expected:
            raise AssertionError("the console program received %r, not %r"
                                 % (received[:200], expected[:200]))
        return received

    def received_size(self):
        with self.cond:
            return len(self.received)

    def wait_arrival(self, since, expected, timeout=10.0):
        """When the chunk that completed `expected`, found after offset `since`, arrived
        (ARRIVAL_CLOCK nanoseconds); None when it did not come within the timeout."""
        with self.cond:
            if not self.cond.wait_for(lambda: self.received.find(expected, since) >= 0, timeout):
                return None
            end = self.received.find(expected, since) + len(expected)
            return next(arrived for offset, arrived in self.arrivals if offset >= end)

    def take_received(self):
        with self.cond:
            data = bytes(self.received)
            self.received.clear()
            self.arrivals.clear()
            return data

    def close_connection(self, reset=False):
        conn = self.connection
        if reset:
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        # Wakes the receive of its thread first: while it waits, a close would not take effect.
        conn.shutdown(socket.SHUT_RD if reset else socket.SHUT_RDWR)
        conn.close()

    def stop(self):
        # An accept or receive blocked in another thread would keep a plain close from freeing
        # the port and from reaching the plugin.
        with self.cond:
            sockets = [self.server] + self.connections
        for sock in sockets:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()


def ready_session(help_files=None):
    """A console program, and a game whose plugin has connected to it and is ready."""
    console = ConsoleProgram()
    game = Game(help_files=help_files)
    game.command("ready")
    console.wait_connected(timeout=20)
    game.wait_ready()
    return console, game
