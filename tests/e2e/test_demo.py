"""The demo as a user runs it: its options, a console program started after the game, and a
session with the example console program
(examples/console_program.py) and a game folder of one's own, whose help files are edited while
commands are typed at the prompt, with the hints the demo gives when a command shows nothing.

Runs the demo (python3 scripts/demo) with the build of CONSOLE_RELAY_BIN; only --own-console
sessions, so that it needs nothing from the native build, but for the one with --rules.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile

import harness

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE_DIR, "scripts"))
from demo import building, hints, places, plugin_file  # noqa: E402 (found through the path above)
from demo.plugin_lines import READY_LINE  # noqa: E402

DEMO = os.path.join(SOURCE_DIR, "scripts", "demo")
DEMO_SH = os.path.join(SOURCE_DIR, "scripts", "demo.sh")
EXAMPLE = os.path.join(SOURCE_DIR, "examples", "console_program.py")
SESSION_TIMEOUT = harness.SETUP_SECONDS + 90

WARP_HELP = {"help": ["Usage: /warp <place>", "Places: camp, harbour"]}
WARP_HELP_EDITED = {"help": ["Usage: /warp <place>", "Places: camp, harbour, summit"]}
FLY_HELP = {"help": "Usage: /fly <height>"}


def run_demo(*arguments, stdin=b"", timeout=SESSION_TIMEOUT):
    return subprocess.run([sys.executable, DEMO] + list(arguments), input=stdin,
                          capture_output=True, timeout=timeout)


def write_json(path, content):
    with open(path, "w") as f:
        json.dump(content, f)


class DemoSession:
    """The demo run interactively: lines typed at its prompt, its output read up to a line."""

    def __init__(self, *arguments):
        self.process = subprocess.Popen([sys.executable, DEMO] + list(arguments),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.lines = []

    def read_until(self, wanted):
        """Reads the demo's lines up to the first for which wanted(line) holds, and returns it."""
        for raw in self.process.stdout:
            self.lines.append(raw.decode("utf-8").rstrip("\n"))
            if wanted(self.lines[-1]):
                return self.lines[-1]
        raise AssertionError("the demo ended before that line:\n" + "\n".join(self.lines))

    def type(self, line):
        self.process.stdin.write(line.encode("utf-8") + b"\n")
        self.process.stdin.flush()

    def end(self):
        """Ctrl-D at the prompt; the demo's exit status."""
        self.process.stdin.close()
        self.lines += [raw.decode("utf-8").rstrip("\n") for raw in self.process.stdout]
        return self.process.wait(timeout=30)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


def compiled_dll(folder, source, definitions):
    """A 64-bit DLL built from C source and a .def file, or None without a mingw-w64 compiler."""
    compiler = shutil.which("x86_64-w64-mingw32-gcc")
    if not compiler:
        return None
    for name, text in (("dll.c", source), ("dll.def", definitions)):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)
    path = os.path.join(folder, "ConsoleRelay.dll")
    subprocess.run([compiler, "-shared", "-o", path, os.path.join(folder, "dll.c"),
                    os.path.join(folder, "dll.def")], check=True)
    return path


def demo_lines(output, source):
    """The demo's lines from one source ("chat", "log", "demo"), without their tag."""
    return [line.split("| ", 1)[1] for line in output.decode("utf-8").splitlines()
            if re.match(r"%s +\| " % source, line)]


class Options(unittest.TestCase):
    def test_help_explains_every_option(self):
        result = subprocess.run([DEMO_SH, "--help"], capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        text = result.stdout.decode("utf-8")
        for option in ("--no-interactive", "--own-console", "--rules FILE", "--plugin PATH",
                       "--help-dir DIR"):
            # Each option is listed with its explanation on the same or the next line.
            self.assertRegex(text, r"\n  %s\s+\S" % re.escape(option))
        self.assertIn("exit status", text)

    def test_a_bad_option_stops_before_anything_is_built(self):
        # A typo, too, even where it could be read as the start of an option.
        for option in ("--bogus", "--own-consol"):
            with self.subTest(option=option):
                result = subprocess.run([DEMO_SH, option], capture_output=True, timeout=60)
                self.assertEqual(result.returncode, 2)
                self.assertIn(b"unrecognized arguments: " + option.encode(), result.stderr)
                self.assertNotIn(b"Building", result.stdout)

    def test_the_docs_show_the_example_program_as_it_is(self):
        with open(os.path.join(SOURCE_DIR, "docs", "console-programs.md")) as f:
            shown = re.search(r"```python\n(.*?)```", f.read(), re.DOTALL).group(1)
        with open(EXAMPLE) as f:
            self.assertEqual(shown, f.read())

    def test_a_plugin_that_is_no_64_bit_dll_is_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            text = os.path.join(folder, "ConsoleRelay.dll")
            with open(text, "w") as f:
                f.write("not a DLL")
            archive = os.path.join(folder, "ConsoleRelay-win64.zip")
            with zipfile.ZipFile(archive, "w") as f:
                f.writestr("nativePC/plugins/ConsoleRelay.dll", "")
            empty = os.path.join(folder, "empty")
            os.makedirs(empty)
            two = os.path.join(folder, "two")
            for place in ("a", "b"):
                os.makedirs(os.path.join(two, place))
                shutil.copy(text, os.path.join(two, place))
            fifo = os.path.join(folder, "fifo.dll")
            os.mkfifo(fifo)
            rows = [(os.path.join(folder, "missing.dll"), b"no such file"),
                    (empty, b"a folder with no ConsoleRelay.dll in it"),
                    (two, b"a folder with 2 copies of ConsoleRelay.dll in it"),
                    # A folder is taken as the DLL in it, which is then checked.
                    (folder, text.encode() + b": not a Windows DLL"),
                    (text, b"not a Windows DLL"), (archive, b"a ZIP"),
                    # Neither is read: one never ends, the other waits for a writer.
                    ("/dev/zero", b"a device, not a file"),
                    (fifo, b"a FIFO (named pipe), not a file")]
            if harness.BIN_DIR:
                rows.append((os.path.join(harness.BIN_DIR, "Zandrel.exe"), b"a Windows program"))
                # A 64-bit DLL that is another one: the loader.
                rows.append((os.path.join(harness.BIN_DIR, "loader.dll"),
                             plugin_file.NO_LOAD_EXPORT.encode()))
                # The plugin cut short: in its last section (by 100 bytes, and by the one byte
                # past the whole file, which passes), and in its section table.
                with open(os.path.join(harness.BIN_DIR, "ConsoleRelay.dll"), "rb") as f:
                    whole = f.read()
                for cut, why in ((100, b"a damaged DLL: its section * ends 100 bytes past "),
                                 (1, b"a damaged DLL: its section * ends 1 byte past "),
                                 (len(whole) - 0x200, b"a damaged DLL: it ends inside its "
                                                      b"headers")):
                    path = os.path.join(folder, "cut%d.dll" % cut)
                    with open(path, "wb") as f:
                        f.write(whole[:-cut])
                    rows.append((path, why))
            for path, why in rows:
                with self.subTest(path=path):
                    started = time.monotonic()
                    result = run_demo("--plugin", path, timeout=60)
                    self.assertEqual(result.returncode, 2)
                    # A * in a reason stands for what the file decides (a section's name).
                    pattern = b".*".join(re.escape(piece) for piece in why.split(b"*"))
                    self.assertRegex(result.stderr,
                                     re.escape(b"--plugin %s: " % path.encode()) + pattern)
                    self.assertLess(time.monotonic() - started, 5)

    @unittest.skipUnless(harness.BIN_DIR, "CONSOLE_RELAY_BIN names the build")
    def test_the_built_plugin_passes_the_checks(self):
        self.assertIsNone(plugin_file.why_not_a_plugin(os.path.join(harness.BIN_DIR,
                                                                   "ConsoleRelay.dll")))

    def test_the_build_makes_what_the_demo_runs_and_no_test_program(self):
        for plugin, targets in (
                (None, ["windows ConsoleRelay", "windows Zandrel", "native console-server",
                        "native console-help-check"]),
                # The DLL given runs in place of the one of this tree, which is not built.
                ("unpacked-zip", ["windows Zandrel", "native console-server",
                                  "native console-help-check"])):
            with self.subTest(plugin=plugin):
                options = argparse.Namespace(plugin=plugin, own_console=False)
                self.assertEqual(["%s %s" % step[:2] for step in building.steps(options)],
                                 targets)

    def test_rules_need_a_file_and_a_console_server(self):
        for arguments, why in ((["--rules", "/no/such.rules"],
                                b"--rules /no/such.rules: no such file"),
                               (["--rules", places.RULES, "--own-console"], b"give one of them")):
            with self.subTest(arguments=arguments):
                result = run_demo(*arguments, timeout=60)
                self.assertEqual(result.returncode, 2)
                self.assertIn(why, result.stderr)

    def test_the_quick_start_holds_the_line_for_an_empty_help_folder(self):
        with open(os.path.join(SOURCE_DIR, "tools", "console-server", "README.md")) as f:
            quick_start = f.read().replace("`", "").split("\n# ")[0]
        self.assertLessEqual(len(quick_start.strip().splitlines()), 10)
        self.assertIn(hints.HELP_FROM_RULES, quick_start.splitlines())
        self.assertIn("scripts/demo.sh --rules", quick_start)

    def test_the_docs_hold_the_sentence_of_the_hint_for_merged_messages(self):
        with open(os.path.join(SOURCE_DIR, "docs", "console-programs.md")) as f:
            self.assertIn(hints.ONE_MESSAGE_PER_SEND, " ".join(f.read().split()))

    def test_a_help_folder_that_is_missing_or_a_file_is_named(self):
        # With --rules, a missing one is made (OwnConsoleAndHelpFiles); a file never is.
        for arguments, why in ((["--help-dir", "/no/such/folder"],
                                b"--help-dir /no/such/folder: no such folder"),
                               (["--help-dir", DEMO_SH], b"--help-dir %s: not a folder" % (
                                   DEMO_SH.encode())),
                               (["--rules", places.RULES, "--help-dir", DEMO_SH],
                                b"--help-dir %s: not a folder" % DEMO_SH.encode())):
            with self.subTest(arguments=arguments):
                result = run_demo(*arguments, timeout=60)
                self.assertEqual(result.returncode, 2)
                self.assertIn(why, result.stderr)

    def test_a_folder_without_help_files_is_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            os.makedirs(os.path.join(folder, "nativePC", "plugins", "ConsoleHelp"))
            write_json(os.path.join(folder, "notes.json"), {})
            result = run_demo("--help-dir", folder, timeout=60)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"--help-dir %s: no help file (<command>Help.json) in %s/nativePC/plugins/"
                      b"ConsoleHelp. %s" % (folder.encode(), folder.encode(),
                                            hints.HELP_FROM_RULES.encode()), result.stderr)


class OnePrompt(unittest.TestCase):
    # The prompt on a terminal, with a line shown just before readline draws it (from readline's
    # start-up hook) and one after the line is typed.
    CHILD = """if True:
        import sys
        sys.path.insert(0, %r)
        from demo.terminal import Terminal, readline
        terminal = Terminal()
        readline.set_startup_hook(lambda: terminal.show("console", "before the prompt"))
        line = terminal.read_line()
        terminal.show("demo", "got " + line)
    """ % os.path.join(SOURCE_DIR, "scripts")

    def test_a_line_shown_around_the_prompt_leaves_one_prompt(self):
        import pty
        import select
        main, child = pty.openpty()
        process = subprocess.Popen([sys.executable, "-c", self.CHILD], stdin=child,
                                   stdout=child, stderr=child,
                                   env=dict(os.environ, NO_COLOR="1", TERM="dumb"))
        os.close(child)
        output = b""
        try:
            while b"you> " not in output:
                self.assertTrue(select.select([main], [], [], 10)[0], output)
                output += os.read(main, 4096)
            os.write(main, b"typed\n")
            while process.poll() is None or select.select([main], [], [], 0)[0]:
                if select.select([main], [], [], 1)[0]:
                    try:
                        output += os.read(main, 4096)
                    except OSError:
                        break
        finally:
            os.close(main)
            process.wait(timeout=10)
        # What the screen shows: \r and \033[K start the row again.
        rows = [re.split(r"\r(?:\x1b\[K)?", row)[-1]
                for row in output.decode().replace("\r\n", "\n").split("\n")]
        self.assertEqual([row for row in rows if row], [
            "console | before the prompt", "you> typed", "demo    | got typed"], output)


@unittest.skipUnless(harness.BIN_DIR, "CONSOLE_RELAY_BIN names the build")
class ConsoleProgramStartedLate(unittest.TestCase):
    def test_a_line_typed_before_it_listens_is_explained_and_one_typed_after_reaches_it(self):
        running = subprocess.Popen([sys.executable, DEMO, "--own-console"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE)
        lines = []
        try:
            for raw in running.stdout:
                lines.append(raw.decode("utf-8").rstrip("\n"))
                if lines[-1].startswith("demo    | Your turn."):
                    break
            running.stdin.write(b"/kick bob\n")
            running.stdin.flush()
            for raw in running.stdout:
                lines.append(raw.decode("utf-8").rstrip("\n"))
                if lines[-1].startswith("demo    | \"kick bob\" did not reach"):
                    break
            console = harness.ConsoleProgram()
            try:
                for raw in running.stdout:
                    lines.append(raw.decode("utf-8").rstrip("\n"))
                    if lines[-1] == "log     | [Console] [Server] Connected again":
                        break
                running.stdin.write(b"/kick eve\n")
                running.stdin.flush()
                console.wait_received(b"kick eve")
                # A console program's mistakes, each sent alone and explained once, and a raw
                # byte shown as console-help-check shows it.
                for message, shown in ((b"console caf\xe9", "chat    | caf\\xe9"),
                                       (b"console two\nlines", "demo    | (That message from"),
                                       (b"console aconsole b", "demo    | (That message looks"),
                                       (b"console cconsole d", "chat    | cconsole d")):
                    console.send(message)
                    for raw in running.stdout:
                        lines.append(raw.decode("utf-8").rstrip("\n"))
                        if lines[-1].startswith(shown):
                            break
                running.stdin.close()
            finally:
                console.stop()
            self.assertEqual(running.wait(timeout=30), 0)
        finally:
            if running.poll() is None:
                running.kill()
                running.wait()
        output = "\n".join(lines)
        self.assertIn("log     | [Console] [Server] Failed", lines, output)
        self.assertIn("demo    | No console program listens on 127.0.0.1:50382 yet.", output)
        self.assertIn("log     | [Console] [Server] Not sent: kick bob", lines, output)
        explained = [line for line in lines if line.startswith("demo    | (That message")]
        self.assertEqual(len(explained), 2, output)
        for (_, meaning), hint in zip(hints.MESSAGE_MISTAKES, explained):
            self.assertEqual(hint, "demo    | (%s %s)" % (meaning, hints.ONE_MESSAGE_PER_SEND))
        self.assertIn("chat    | two\\x0alines", lines, output)
        self.assertIn("log     | [Console] caf\\xe9", lines, output)


@unittest.skipUnless(harness.BIN_DIR, "CONSOLE_RELAY_BIN names the build")
class OwnConsoleAndHelpFiles(unittest.TestCase):
    """examples/console_program.py, a help folder and a ConsoleRelay.dll of one's own, used as
    the README says."""

    @classmethod
    def setUpClass(cls):
        # A game folder as a player has it: the demo finds the help folder inside. It is outside
        # the folder the demo starts in, so the demo names its paths whole.
        cls.folder = tempfile.TemporaryDirectory()
        cls.help_dir = os.path.join(cls.folder.name, "nativePC", "plugins", "ConsoleHelp")
        os.makedirs(cls.help_dir)
        # The plugin there, as from a release ZIP, and none in the folder of the simulated game,
        # so that only the DLL given can run.
        cls.plugin = os.path.join(cls.folder.name, "nativePC", "plugins", "ConsoleRelay.dll")
        shutil.copy(os.path.join(harness.BIN_DIR, "ConsoleRelay.dll"), cls.plugin)
        cls.game_bin = os.path.join(cls.folder.name, "bin")
        os.makedirs(cls.game_bin)
        for name in ("Zandrel.exe", "loader.dll"):
            shutil.copy(os.path.join(harness.BIN_DIR, name), cls.game_bin)
        write_json(os.path.join(cls.help_dir, "warpHelp.json"), WARP_HELP)
        write_json(os.path.join(cls.help_dir, "quietHelp.json"), {"help": None})

        cls.program = subprocess.Popen([sys.executable, EXAMPLE], stdout=subprocess.PIPE)
        cls.program_lines = []
        listening = threading.Event()

        def read():
            for raw in cls.program.stdout:
                cls.program_lines.append(raw.decode("utf-8").rstrip("\n"))
                listening.set()

        threading.Thread(target=read, daemon=True).start()
        if not listening.wait(10):
            raise AssertionError("the example console program did not start")

        # Ctrl-C must reach the demo as it reaches it on a terminal.
        demo = subprocess.Popen(
            [sys.executable, DEMO, "--own-console", "--help-dir", cls.folder.name,
             "--plugin", cls.folder.name],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=dict(os.environ, CONSOLE_RELAY_BIN=cls.game_bin),
            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        output = []
        shown = threading.Condition()

        def read_demo():
            for raw in demo.stdout:
                with shown:
                    output.append(raw)
                    shown.notify_all()
            with shown:
                output.append(None)
                shown.notify_all()

        def wait_shown(line=None):
            """Waits for line, or with no line for the end of the output."""
            with shown:
                shown.wait_for(lambda: None in output or
                               (line is not None and line.encode() + b"\n" in output),
                               SESSION_TIMEOUT)

        def type_lines(*lines):
            demo.stdin.write("".join(line + "\n" for line in lines).encode("utf-8"))
            demo.stdin.flush()

        threading.Thread(target=read_demo, daemon=True).start()
        type_lines("/warp", "/kick bob", "/spawn torch 3", "/nosuchcommand", "/", "/kick ",
                   "/quiet", "/../secret", "/fly")
        wait_shown("demo    | No help: the plugin looked for nativePC/plugins/ConsoleHelp/"
                   "flyHelp.json, and %s holds no flyHelp.json." % cls.help_dir)
        # Edited while the game runs: the next request shows the edit.
        write_json(os.path.join(cls.help_dir, "warpHelp.json"), WARP_HELP_EDITED)
        write_json(os.path.join(cls.help_dir, "flyHelp.json"), FLY_HELP)
        type_lines("/warp", "/fly")
        wait_shown("chat    | " + FLY_HELP["help"])
        demo.send_signal(signal.SIGINT)
        cls.returncode = demo.wait(timeout=30)
        wait_shown()
        for stream in (demo.stdin, demo.stdout, demo.stderr):
            stream.close()
        cls.output = b"".join(output[:-1])
        cls.chat = demo_lines(cls.output, "chat")
        cls.hints = demo_lines(cls.output, "demo")
        # The game has ended; the example program notices and waits for the next start.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not cls.program_lines[-1].startswith("the game"):
            time.sleep(0.1)

    @classmethod
    def tearDownClass(cls):
        cls.program.terminate()
        cls.program.wait()
        cls.program.stdout.close()
        cls.folder.cleanup()

    def test_ctrl_c_stops_the_game_with_exit_status_130(self):
        self.assertEqual(self.returncode, 130, self.output.decode("utf-8"))
        self.assertEqual(self.hints[-1], "Stopped the game.")

    def test_the_plugin_given_is_the_one_that_ran(self):
        self.assertIn("Starting the game under Wine with the plugin " + self.plugin, self.hints)
        self.assertFalse(os.path.exists(os.path.join(self.game_bin, "ConsoleRelay.dll")))
        self.assertIn(READY_LINE.decode(), demo_lines(self.output, "log"))

    def test_a_game_folder_is_taken_as_its_plugin_and_said_so(self):
        self.assertIn("%s is a folder: the plugin is the ConsoleRelay.dll in it, %s." % (
            self.folder.name, self.plugin), self.hints)

    def test_the_prompt_offers_only_the_commands_with_a_help_file(self):
        offer = next(hint for hint in self.hints if hint.startswith("Your turn."))
        self.assertIn("/quiet, /warp for help", offer)
        self.assertNotIn("/kick", offer)

    def test_the_plugin_connected_to_the_example_program(self):
        self.assertIn("[Console] [Server] Success", demo_lines(self.output, "log"))
        self.assertIn("game connected", self.program_lines)

    def test_the_prompt_comes_after_the_plugin_says_it_is_ready(self):
        lines = self.output.decode("utf-8").splitlines()
        turn = next(n for n, line in enumerate(lines) if line.startswith("demo    | Your turn."))
        self.assertLess(lines.index("log     | [Console] Ready..."), turn)

    def test_help_comes_from_the_users_folder(self):
        first = self.chat.index(WARP_HELP["help"][0])
        self.assertEqual(self.chat[first:first + 2], WARP_HELP["help"])

    def test_an_edit_shows_on_the_next_request(self):
        edited = self.chat.index(WARP_HELP_EDITED["help"][1])
        self.assertLess(self.chat.index(WARP_HELP["help"][1]), edited)
        self.assertEqual(self.chat[edited + 1:], [FLY_HELP["help"]])

    def test_the_example_program_answers_in_the_chat(self):
        self.assertIn("> kick bob", self.program_lines)
        self.assertIn("> spawn torch 3", self.program_lines)
        self.assertIn("Kicked bob.", self.chat)
        self.assertIn("Spawned torch 3 in front of you.", self.chat)

    def test_a_command_without_help_file_names_the_file_looked_for(self):
        self.assertIn("No help: the plugin looked for "
                      "nativePC/plugins/ConsoleHelp/nosuchcommandHelp.json, and %s holds no "
                      "nosuchcommandHelp.json." % self.help_dir, self.hints)

    def test_a_refused_name_says_so(self):
        self.assertIn("The plugin refused the help name \"../secret\" (the log line above says "
                      "why): it reads help files only from inside %s." % self.help_dir, self.hints)

    def test_test_in_the_log_is_explained_once_where_it_first_shows(self):
        lines = self.output.decode("utf-8").splitlines()
        explained = [n for n, line in enumerate(lines) if "The plugin logs TEST" in line]
        self.assertEqual(len(explained), 1)
        self.assertEqual(lines.index("log     | TEST"), explained[0] - 1)

    def test_lines_the_plugin_ignores_say_so(self):
        self.assertIn("A / alone does nothing.", self.hints)
        self.assertIn("Nothing follows the space after /kick, so the plugin does nothing.",
                      self.hints)

    def test_a_help_file_that_shows_nothing_is_named(self):
        quiet = os.path.join(self.help_dir, "quietHelp.json")
        hint = next(hint for hint in self.hints if hint.startswith(quiet + " shows nothing"))
        # The checker's command runs as shown from the folder the demo was started in.
        checker = os.path.join(SOURCE_DIR, "build", "native", "tools", "console-help-check",
                               "console-help-check")
        shown_checker, shown_file = hint.rsplit("with: ", 1)[1].split(" ")
        self.assertEqual(os.path.normpath(os.path.join(os.getcwd(), shown_checker)), checker)
        self.assertEqual(shown_file, quiet)

    def test_a_taken_port_is_named_plainly(self):
        # The example program listens: a demo with its own console-server cannot.
        result = run_demo("--no-interactive", timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(demo_lines(result.stdout, "demo"),
                         ["FAILED: " + hints.PORT_TAKEN % {"port": harness.CONSOLE_PORT}])
        # The help folder that --rules is to write into is made first, and kept.
        help_dir = os.path.join(self.folder.name, "new", "ConsoleHelp")
        result = run_demo("--rules", places.RULES, "--help-dir", help_dir, "--no-interactive",
                          timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(demo_lines(result.stdout, "demo"), [
            "Made the help folder %s, which did not exist, for console-server to write your "
            "rules' help files into." % help_dir,
            "FAILED: " + hints.PORT_TAKEN % {"port": harness.CONSOLE_PORT}])
        self.assertTrue(os.path.isdir(help_dir))
        # The user who started a console program of their own is shown how the demo uses it.
        self.assertIn("scripts/demo.sh --own-console", hints.PORT_TAKEN)

    def test_a_second_example_program_says_why_in_one_line(self):
        result = subprocess.run([sys.executable, EXAMPLE], capture_output=True, timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr,
                         b"cannot listen on 127.0.0.1:50382: Address already in use (another "
                         b"program listens on it, or the last run's connection is still "
                         b"closing)\n")

    def test_commands_that_showed_something_get_no_hint(self):
        for hint in self.hints:
            self.assertNotIn("warpHelp.json", hint)
            self.assertNotIn("console program got", hint)

    def test_the_example_program_waits_for_the_next_game(self):
        self.assertEqual(self.program_lines[-1], "the game went away; waiting for the next start")


@unittest.skipUnless(harness.BIN_DIR, "CONSOLE_RELAY_BIN names the build")
class AnotherDllWithALoadExport(unittest.TestCase):
    def test_is_named_within_seconds_of_the_game_start(self):
        with tempfile.TemporaryDirectory() as folder:
            # Exports Load as the plugin does, and logs nothing.
            plugin = compiled_dll(folder, "int LoadNothing(void) { return 0; }\n",
                                  "EXPORTS\n    %s = LoadNothing\n" % plugin_file.LOAD_EXPORT)
            if plugin is None:
                self.skipTest("no mingw-w64 compiler")
            started = time.monotonic()
            result = run_demo("--own-console", "--no-interactive", "--plugin", plugin)
            took = time.monotonic() - started
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertEqual(demo_lines(result.stdout, "demo")[-2],
                         "FAILED: " + hints.not_loading(plugin))
        self.assertLess(took, 30)


@unittest.skipUnless(harness.BIN_DIR and os.path.exists(places.CONSOLE_SERVER),
                     "CONSOLE_RELAY_BIN names the build, and the native build has console-server")
class RulesOfOnesOwn(unittest.TestCase):
    """The admin's one command: a rule file to described in-game commands."""

    def test_rules_answer_with_their_help_and_an_edit_shows_live(self):
        with tempfile.TemporaryDirectory() as folder:
            rules = os.path.join(folder, "my.rules")
            with open(rules, "w") as f:
                f.write("# Bans a player: /ban NAME\nban -> Banned {args}.\n")
            session = DemoSession("--rules", rules)
            try:
                offer = session.read_until(lambda line: line.startswith("demo    | Your turn."))
                session.type("/ban eve")
                session.read_until(lambda line: line == "chat    | Banned eve.")
                with open(rules, "a") as f:
                    f.write("# Warps you: /warp PLACE\nwarp -> Warped to {args}.\n")
                session.read_until(lambda line: "warpHelp.json" in line)
                session.type("/warp")
                session.read_until(lambda line: line == "chat    | Warps you: /warp PLACE")
                status = session.end()
            finally:
                session.kill()
        output = "\n".join(session.lines)
        self.assertEqual(status, 0, output)
        # The scripted session typed the described command with a word, and the rule answered.
        self.assertLess(session.lines.index("chat    | Banned 1."), session.lines.index(offer))
        self.assertRegex(offer, r"Enter: /ban, /commands for help; ")
        self.assertIn("/ban ... for console-server", offer)
        self.assertNotIn("/kick", offer)
        # The scripted session showed the rule's comment as its help.
        self.assertIn("chat    | Bans a player: /ban NAME", session.lines, output)
        started = next(line for line in session.lines if "Starting console-server" in line)
        help_folder = started.rsplit(" into ", 1)[1]
        self.assertNotIn(places.EXAMPLES_DIR, help_folder)
        self.assertFalse(os.path.exists(help_folder), "the demo's own help folder is removed")


if __name__ == "__main__":
    unittest.main()
