"""The release ZIP: laid out as the game folder expects, with the tools, docs, examples and licence
for the user in one folder that an update may overwrite, text in CRLF, a guide written for players
and server owners, and the binaries the tests ran, which a second link makes byte for byte again;
and beside it the source, with the demo; both packed to the same bytes from the same commit, in
another folder and at another time.

Packs with cpack first, so that what it checks is what this tree and its commit pack to (the
source ZIP holds every file, and each entry's time is the commit's). The build folder is
CONSOLE_RELAY_BUILD, or the parent of CONSOLE_RELAY_BIN.
"""

import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
import zipfile

BIN_DIR = os.environ.get("CONSOLE_RELAY_BIN", "")
BUILD_DIR = os.environ.get("CONSOLE_RELAY_BUILD") or (os.path.dirname(BIN_DIR) if BIN_DIR else "")
WINE = os.environ.get("CONSOLE_RELAY_WINE", "/usr/lib/wine/wine64")
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLES_DIR = os.path.join(SOURCE_DIR, "examples", "ConsoleHelp")

PLUGINS = "nativePC/plugins/"
USER_FOLDER = PLUGINS + "ConsoleRelay/"
TOOLS = ("console-server.exe", "console-help-check.exe")
HELP_EXAMPLES = USER_FOLDER + "examples/ConsoleHelp/"
DOCS = ("install", "log-lines", "help-files", "console-programs")
BINARY = (".dll", ".exe")
# What only a developer's copy of the project has: its folders, Markdown, build tools.
REPOSITORY_TRACES = (r"\b(?:build|src|sim|tests|tools|scripts|fuzz|bench|packaging|cmake)[/\\]|"
                     r"\.md\b|```|\]\(|\bctest\b|\bcmake\b|\bWine\b")


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def cached(name):
    """A value of the build's CMake cache, or None."""
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt")) as f:
        found = re.search(r"^%s:\w+=(.*)$" % name, f.read(), re.MULTILINE)
    return found.group(1) if found else None


def cpack_program():
    """The cpack beside the cmake that configured the build, else the one on the PATH."""
    return cached("CMAKE_CPACK_COMMAND") or shutil.which("cpack")


def pack(build_dir):
    subprocess.run([cpack_program(), "--config", "CPackConfig.cmake"], cwd=build_dir, check=True,
                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def packed(build_dir):
    """Name -> bytes of the release ZIP and the source ZIP in a build folder."""
    found = glob.glob(os.path.join(build_dir, "package", "ConsoleRelay-*.zip"))
    return {os.path.basename(path): read(path) for path in found}


def expected_entry_time():
    """When every entry of the ZIPs is dated: SOURCE_DATE_EPOCH, else the commit's time."""
    given = os.environ.get("SOURCE_DATE_EPOCH", "").strip()
    if given:
        return int(given)
    return int(subprocess.run(["git", "-C", SOURCE_DIR, "log", "-1", "--format=%ct"],
                              capture_output=True, text=True, check=True).stdout)


def packages():
    return glob.glob(os.path.join(BUILD_DIR, "package", "ConsoleRelay-*-win64.zip"))


def source_archives():
    return glob.glob(os.path.join(BUILD_DIR, "package", "ConsoleRelay-*-source.zip"))


def read(path):
    with open(path, "rb") as f:
        return f.read()


@unittest.skipUnless(BUILD_DIR, "CONSOLE_RELAY_BUILD or CONSOLE_RELAY_BIN names the build")
class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.built = {name: os.path.join(BUILD_DIR, "bin", name)
                     for name in ("ConsoleRelay.dll",) + TOOLS}
        pack(BUILD_DIR)
        found = packages()
        if len(found) != 1:
            raise AssertionError("expected one package, found %s" % found)
        cls.path = found[0]
        with zipfile.ZipFile(cls.path) as package:
            cls.bad_member = package.testzip()
            cls.contents = {info.filename: package.read(info) for info in package.infolist()
                            if not info.is_dir()}

    def text_files(self):
        return {name: data for name, data in self.contents.items() if not name.endswith(BINARY)}

    def test_archive_is_sound(self):
        self.assertIsNone(self.bad_member)

    def test_layout(self):
        expected = {PLUGINS + "ConsoleRelay.dll"}
        expected |= {HELP_EXAMPLES + name for name in os.listdir(EXAMPLES_DIR)
                     if name.endswith(".json")}
        expected |= {USER_FOLDER + name for name in ("README.txt", "LICENSE.txt") + TOOLS}
        expected |= {USER_FOLDER + "docs/%s.txt" % name for name in DOCS}
        expected |= {USER_FOLDER + "examples/" + name
                     for name in ("console_program.py", "demo.rules", "programs.rules", "roll.py")}
        self.assertEqual(set(self.contents), expected)

    def test_nothing_lands_in_the_game_folder_itself(self):
        # Unpacked in the game folder, all goes below the plugins folder.
        for name in self.contents:
            self.assertTrue(name.startswith(PLUGINS), name)

    def test_the_binaries_are_the_ones_the_tests_ran(self):
        for name, path in self.built.items():
            packaged = PLUGINS + name if name.endswith(".dll") else USER_FOLDER + name
            with self.subTest(name=name):
                self.assertEqual(sha256(self.contents[packaged]), sha256(read(path)))

    def test_each_tool_runs_under_wine(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in TOOLS:
                with self.subTest(name=name):
                    exe = os.path.join(folder, name)
                    with open(exe, "wb") as f:
                        f.write(self.contents[USER_FOLDER + name])
                    result = subprocess.run(
                        [WINE, exe, "--help"], capture_output=True, timeout=60,
                        env=dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml="))
                    self.assertEqual(result.returncode, 0, result.stderr)
                    usage = "Usage: " + name[:-len(".exe")] + " "
                    self.assertIn(usage.encode(), result.stdout)

    def test_text_files_have_crlf_line_ends(self):
        for name, data in self.text_files().items():
            with self.subTest(name=name):
                self.assertIn(b"\r\n", data)
                self.assertEqual(data.count(b"\n"), data.count(b"\r\n"))

    def test_an_update_leaves_the_users_help_files_alone(self):
        # The plugin's help folder is the user's: the package only offers examples to copy there.
        self.assertEqual([name for name in self.contents if "/ConsoleHelp/" in name and
                          not name.startswith(HELP_EXAMPLES)], [])
        install = self.contents[USER_FOLDER + "docs/install.txt"].decode("utf-8")
        self.assertRegex(install, r"The first time only.*\s+nativePC\\plugins\\ConsoleRelay\\"
                                  r"examples\\ConsoleHelp into nativePC\\plugins\\")
        self.assertIn("never touches nativePC\\plugins\\ConsoleHelp", install)

    def test_the_help_files_are_the_examples(self):
        for name in os.listdir(EXAMPLES_DIR):
            with self.subTest(name=name):
                packaged = self.contents[HELP_EXAMPLES + name]
                example = read(os.path.join(EXAMPLES_DIR, name))
                self.assertEqual(packaged.replace(b"\r\n", b"\n"), example)
                self.assertEqual(json.loads(packaged), json.loads(example))

    def test_the_licence_is_the_repository_s(self):
        self.assertEqual(self.contents[USER_FOLDER + "LICENSE.txt"].replace(b"\r\n", b"\n"),
                         read(os.path.join(SOURCE_DIR, "LICENSE")))

    def test_the_guide_is_written_for_players(self):
        guide = {name: self.contents[USER_FOLDER + name].decode("utf-8")
                 for name in ["README.txt"] + ["docs/%s.txt" % doc for doc in DOCS]}
        shipped_docs = {"%s.txt" % doc for doc in DOCS} | {"README.txt", "LICENSE.txt"}
        for name, text in guide.items():
            with self.subTest(name=name):
                self.assertIsNone(re.search(REPOSITORY_TRACES, text))
                for mentioned in re.findall(r"[\w-]+\.txt\b", text):
                    self.assertIn(mentioned, shipped_docs)
                for example in re.findall(r"examples[/\\]([\w.]+\.(?:py|rules|json))", text):
                    self.assertIn(USER_FOLDER + "examples/" + example, self.contents)
        install = guide["docs/install.txt"]
        for topic in ("Installing", "Updating", "Removing it", "The loader's log",
                      "When nothing happens"):
            self.assertRegex(install, r"\n%s\r\n-+\r\n" % topic)

    def test_the_guide_explains_every_log_line(self):
        # Every line of the developers' list, and every reason a help file is not shown, is in
        # the guide: a new one must be explained to players too.
        def listed(doc, after=""):
            with open(os.path.join(SOURCE_DIR, "docs", doc)) as f:
                text = f.read()
            return re.findall(r"^\| `([^`]+)` \|", text[text.index(after):], re.MULTILINE)

        def words(text):
            return " ".join(text.split())

        for guide, lines in (("log-lines", listed("log-lines.md")),
                             ("help-files", listed("help-files.md", "## In the game's log"))):
            text = words(self.contents[USER_FOLDER + "docs/%s.txt" % guide].decode("utf-8"))
            self.assertGreater(len(lines), 3)
            for line in lines:
                known_part = words(re.split(r"<|\.\.\.$", line)[0])  # "<...>", "...": any text
                with self.subTest(guide=guide, line=line):
                    self.assertIn(known_part, text)

    def test_the_readme_lists_what_the_package_holds(self):
        note = self.contents[USER_FOLDER + "README.txt"].decode("utf-8")
        self.assertIn(PLUGINS + "ConsoleRelay.dll", note)
        self.assertIn(PLUGINS + "ConsoleHelp/", note)
        for name in self.contents:
            if name.startswith(USER_FOLDER) and not name.startswith(HELP_EXAMPLES):
                self.assertIn(name[len(USER_FOLDER):], note)
        self.assertIn(HELP_EXAMPLES[len(USER_FOLDER):], note)
        self.assertIn("127.0.0.1, TCP port 50382", note)
        self.assertNotIn("@VERSION@", note)

    def test_a_second_link_of_the_dll_gives_the_same_bytes(self):
        # The link the build made, run again into a folder of its own: no time stamp or checksum
        # of the moment may tell the two apart.
        with open(os.path.join(BUILD_DIR, "CMakeFiles", "ConsoleRelay.dir", "link.txt")) as f:
            link = next(line for line in f if " -o bin/ConsoleRelay.dll " in line)
        with tempfile.TemporaryDirectory() as folder:
            again = os.path.join(folder, "ConsoleRelay.dll")
            words = [again if word == "bin/ConsoleRelay.dll" else word for word in link.split()]
            words = [re.sub(r"^-Wl,--out-implib,.*", "-Wl,--out-implib," + again + ".a", word)
                     for word in words]
            subprocess.run(words, cwd=BUILD_DIR, check=True, capture_output=True)
            self.assertEqual(sha256(read(again)), sha256(read(self.built["ConsoleRelay.dll"])))

    def test_the_source_with_the_demo_is_packed_beside_it(self):
        found = source_archives()
        self.assertEqual(len(found), 1, found)
        with zipfile.ZipFile(found[0]) as source:
            names = set(source.namelist())
            demo_mode = source.getinfo("scripts/demo.sh").external_attr >> 16
        self.assertIn("README.md", names)
        self.assertTrue(demo_mode & 0o100, "scripts/demo.sh runs as unpacked")
        self.assertEqual([name for name in names if name.startswith("build/") or name == ".git"], [])
        # The guide names it as the build names it, for any version.
        version = re.search(r"ConsoleRelay-(.*)-win64\.zip$", self.path).group(1)
        install = " ".join(self.contents[USER_FOLDER + "docs/install.txt"].decode().split())
        self.assertIn(os.path.basename(found[0]).replace(version, "<version>"), install)

    def test_one_commit_packs_to_the_same_bytes_in_another_folder_later(self):
        # Packed again later from a copy of the tree (its files younger, in another folder, built
        # by another configure) with the binaries of this build: a second link shows that those
        # are the same bytes (above), so what may differ here is all the rest.
        first = packed(BUILD_DIR)
        self.assertEqual(len(first), 2, list(first))
        with tempfile.TemporaryDirectory() as folder:
            tree = os.path.join(folder, "tree")
            build = os.path.join(folder, "build")
            shutil.copytree(SOURCE_DIR, tree, symlinks=True, copy_function=shutil.copy,
                            ignore=lambda where, names: ["build"] if where == SOURCE_DIR else [])
            # As a clone made under umask 007 has them: group-writable, nothing for others.
            for where, folders, files in os.walk(tree):
                for name in folders + files:
                    path = os.path.join(where, name)
                    if not os.path.islink(path):
                        os.chmod(path, (os.stat(path).st_mode | 0o020) & ~0o007)
            toolchain = cached("CMAKE_TOOLCHAIN_FILE")
            if toolchain and toolchain.startswith(SOURCE_DIR + os.sep):
                toolchain = tree + toolchain[len(SOURCE_DIR):]
            configure = [cached("CMAKE_COMMAND"), "-S", tree, "-B", build,
                         "-G", cached("CMAKE_GENERATOR"), "-DCONSOLE_RELAY_TESTS=OFF",
                         # cpack would build every target first, which takes minutes.
                         "-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON",
                         "-DCMAKE_BUILD_TYPE=" + (cached("CMAKE_BUILD_TYPE") or "Release")]
            if toolchain:
                configure.append("-DCMAKE_TOOLCHAIN_FILE=" + toolchain)
            subprocess.run(configure, check=True, capture_output=True)
            subprocess.run([cached("CMAKE_COMMAND"), "--build", build, "--target", "release_text"],
                           check=True, capture_output=True)
            for path in self.built.values():
                shutil.copy(path, os.path.join(build, "bin"))
            pack(build)
            again = packed(build)
        self.assertEqual(set(again), set(first))
        for name in first:
            with self.subTest(name=name):
                self.assertEqual(sha256(again[name]), sha256(first[name]))

    def test_every_entry_is_dated_at_the_commit_in_the_order_of_the_names(self):
        dated = time.gmtime(expected_entry_time())[:6]
        dated = dated[:5] + (dated[5] // 2 * 2,)  # a ZIP keeps even seconds
        for path in packages() + source_archives():
            with self.subTest(zip=os.path.basename(path)), zipfile.ZipFile(path) as archive:
                entries = archive.infolist()
                self.assertEqual([info.filename for info in entries],
                                 sorted(info.filename for info in entries))
                for info in entries:
                    self.assertEqual(info.date_time, dated, info.filename)
                    self.assertIn(info.external_attr >> 16, (0o100644, 0o100755, 0o40755),
                                  info.filename)

    def test_is_named_for_the_version(self):
        with open(os.path.join(SOURCE_DIR, "CMakeLists.txt")) as f:
            version = re.search(r"project\(ConsoleRelay VERSION ([0-9.]+)", f.read()).group(1)
        self.assertEqual(os.path.basename(self.path), "ConsoleRelay-%s-win64.zip" % version)


if __name__ == "__main__":
    unittest.main()
