"""The release ZIP: laid out as the game folder expects, and holding the DLL the tests ran.

Makes the package with cpack when there is none, or when the DLL is newer than it. The build
folder is CONSOLE_RELAY_BUILD, or the parent of CONSOLE_RELAY_BIN.
"""

import glob
import hashlib
import os
import re
import shutil
import subprocess
import unittest
import zipfile

BIN_DIR = os.environ.get("CONSOLE_RELAY_BIN", "")
BUILD_DIR = os.environ.get("CONSOLE_RELAY_BUILD") or (os.path.dirname(BIN_DIR) if BIN_DIR else "")
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLES_DIR = os.path.join(SOURCE_DIR, "examples", "ConsoleHelp")


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def cpack_program():
    """The cpack beside the cmake that configured the build, else the one on the PATH."""
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt")) as f:
        found = re.search(r"^CMAKE_CPACK_COMMAND:INTERNAL=(.*)$", f.read(), re.MULTILINE)
    return found.group(1) if found else shutil.which("cpack")


def packages():
    return glob.glob(os.path.join(BUILD_DIR, "package", "ConsoleRelay-*-win64.zip"))


def make_package_if_needed(dll):
    found = packages()
    if found and all(os.path.getmtime(p) >= os.path.getmtime(dll) for p in found):
        return
    subprocess.run([cpack_program(), "--config", "CPackConfig.cmake"], cwd=BUILD_DIR, check=True,
                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


@unittest.skipUnless(BUILD_DIR, "CONSOLE_RELAY_BUILD or CONSOLE_RELAY_BIN names the build")
class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dll = os.path.join(BUILD_DIR, "bin", "ConsoleRelay.dll")
        make_package_if_needed(cls.dll)
        found = packages()
        if len(found) != 1:
            raise AssertionError("expected one package, found %s" % found)
        cls.path = found[0]
        with zipfile.ZipFile(cls.path) as package:
            cls.bad_member = package.testzip()
            cls.contents = {info.filename: package.read(info) for info in package.infolist()
                            if not info.is_dir()}

    def test_archive_is_sound(self):
        self.assertIsNone(self.bad_member)

    def test_holds_the_plugin_its_help_files_and_the_install_note(self):
        expected = {"INSTALL.txt", "nativePC/plugins/ConsoleRelay.dll"}
        expected |= {"nativePC/plugins/ConsoleHelp/" + name for name in os.listdir(EXAMPLES_DIR)
                     if name.endswith(".json")}
        self.assertEqual(set(self.contents), expected)

    def test_the_plugin_is_the_dll_the_tests_ran(self):
        with open(self.dll, "rb") as f:
            built = f.read()
        self.assertEqual(sha256(self.contents["nativePC/plugins/ConsoleRelay.dll"]), sha256(built))

    def test_the_help_files_are_the_examples(self):
        for name in os.listdir(EXAMPLES_DIR):
            with self.subTest(name=name), open(os.path.join(EXAMPLES_DIR, name), "rb") as f:
                self.assertEqual(self.contents["nativePC/plugins/ConsoleHelp/" + name], f.read())

    def test_the_install_note_says_where_the_files_go(self):
        note = self.contents["INSTALL.txt"].decode("utf-8")
        self.assertIn("nativePC/plugins/ConsoleRelay.dll", note)
        self.assertIn("127.0.0.1, TCP port 50382", note)

    def test_is_named_for_the_version(self):
        with open(os.path.join(SOURCE_DIR, "CMakeLists.txt")) as f:
            version = re.search(r"project\(ConsoleRelay VERSION ([0-9.]+)", f.read()).group(1)
        self.assertEqual(os.path.basename(self.path), "ConsoleRelay-%s-win64.zip" % version)


if __name__ == "__main__":
    unittest.main()
