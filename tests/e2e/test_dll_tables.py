"""The shipped DLL imports only Windows system DLLs and the loader, under the names that the
loader, built by the platform compiler, exports; and it exports only Load."""

import os
import re
import subprocess
import unittest

from harness import BIN_DIR

OBJDUMP = os.environ.get("CONSOLE_RELAY_OBJDUMP", "x86_64-w64-mingw32-objdump")
SYSTEM_DLLS = {"kernel32.dll", "ws2_32.dll", "msvcrt.dll", "ucrtbase.dll", "user32.dll",
               "advapi32.dll", "ntdll.dll"}
SYSTEM_DLL_PATTERN = re.compile(r"api-ms-win-.*\.dll")
LOADER_IMPORTS = {
    "??0LOG@loader@@QEAA@W4LogLevel@1@@Z",    # loader::LOG::LOG(loader::LogLevel)
    "??1LOG@loader@@QEAA@XZ",                 # loader::LOG::~LOG()
    "?MinLogLevel@loader@@3W4LogLevel@1@A",   # loader::LogLevel loader::MinLogLevel
    "?GameVersion@loader@@3QEBDEB",           # const char* const loader::GameVersion
}


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

    def test_exports_only_the_decorated_load(self):
        self.assertEqual(self.exports, ["?Load@@YA_NXZ"])


if __name__ == "__main__":
    unittest.main()
