"""The shipped DLL imports only Windows system DLLs and the loader, under the names that the
loader, built by MSVC, exports; and it exports only Load. The loader's names are those of its
declarations (src/host/loader_names.cpp) as clang decorates them for the MSVC ABI, and both .def
files write exactly these."""

import os
import re
import subprocess
import tempfile
import unittest

from harness import BIN_DIR

OBJDUMP = os.environ.get("CONSOLE_RELAY_OBJDUMP", "x86_64-w64-mingw32-objdump")
SYSTEM_DLLS = {"kernel32.dll", "ws2_32.dll", "msvcrt.dll", "ucrtbase.dll", "user32.dll",
               "advapi32.dll", "ntdll.dll"}
SYSTEM_DLL_PATTERN = re.compile(r"api-ms-win-.*\.dll")
CLANG = os.environ.get("CONSOLE_RELAY_CLANG", "clang")
NM = os.environ.get("CONSOLE_RELAY_NM", "x86_64-w64-mingw32-nm")
SOURCE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
LOADER_DECLARATIONS = os.path.join(SOURCE_DIR, "src", "host", "loader_names.cpp")
DEF_FILES = [os.path.join(SOURCE_DIR, "src", "host", "loader.def"),
             os.path.join(SOURCE_DIR, "sim", "loader", "loader.def")]


def declared_loader_names():
    """The names that the loader's declarations refer to, decorated as MSVC does."""
    with tempfile.TemporaryDirectory() as folder:
        obj = os.path.join(folder, "loader_names.obj")
        subprocess.run([CLANG, "--target=x86_64-pc-windows-msvc", "-c", LOADER_DECLARATIONS,
                        "-o", obj], check=True)
        out = subprocess.run([NM, "-u", obj], check=True, capture_output=True, text=True).stdout
    return {line.split()[-1] for line in out.splitlines() if line.strip()}


def def_file_names(path):
    """The decorated names that a .def file binds: MSVC's decoration begins with a "?"."""
    with open(path, encoding="utf-8") as f:
        exports = f.read().split("EXPORTS", 1)[1]
    return {word for word in exports.split() if word.startswith("?")}


LOADER_IMPORTS = declared_loader_names()


def tables(path):
    """({dll: [imported names]}, [exported names]) of a PE file."""
    out = subprocess.run([OBJDUMP, "-p", path], check=True, capture_output=True, text=True).stdout
    imports = {}
    for block in re.split(r"^\s*DLL Name: ", out, flags=re.M)[1:]:
        name, rest = block.split("\n", 1)
        names = []
        for row in rest.split("\n"):
            if not row.strip():
                break
            match = re.match(r"^\s*[0-9a-f]+\s+\d+\s+(\S+)", row)
            if match:
                names.append(match.group(1))
        imports.setdefault(name.strip(), []).extend(names)
    section = out.split("[Ordinal/Name Pointer] Table", 1)
    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)", section[1], re.M) if len(section) > 1 else []
    return imports, exports


class DllTables(unittest.TestCase):
    def setUp(self):
        self.imports, self.exports = tables(os.path.join(BIN_DIR, "ConsoleRelay.dll"))

    def test_imports_only_system_dlls_and_the_loader(self):
        self.assertIn("loader.dll", self.imports)
        for name in self.imports:
            with self.subTest(dll=name):
                self.assertTrue(name == "loader.dll" or name.lower() in SYSTEM_DLLS
                                or SYSTEM_DLL_PATTERN.fullmatch(name.lower()), name)

    def test_imports_exactly_the_loaders_four_decorated_names(self):
        self.assertEqual(sorted(self.imports["loader.dll"]), sorted(LOADER_IMPORTS))

    def test_imports_no_name_that_only_a_gnu_built_loader_would_export(self):
        for dll, names in self.imports.items():
            for name in names:
                with self.subTest(dll=dll, name=name):
                    self.assertFalse(name.startswith("_Z"), name)

    def test_the_stand_in_loader_exports_the_same_four_names(self):
        _, exports = tables(os.path.join(BIN_DIR, "loader.dll"))
        self.assertLessEqual(LOADER_IMPORTS, set(exports))
        self.assertFalse([name for name in exports if name.startswith("_Z")])

    def test_both_def_files_write_exactly_the_declared_names(self):
        self.assertEqual(len(LOADER_IMPORTS), 4, LOADER_IMPORTS)
        for path in DEF_FILES:
            with self.subTest(path=path):
                self.assertEqual(def_file_names(path), LOADER_IMPORTS)

    def test_exports_only_the_decorated_load(self):
        self.assertEqual(self.exports, ["?Load@@YA_NXZ"])


if __name__ == "__main__":
    unittest.main()
