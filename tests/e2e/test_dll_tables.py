"""The shipped DLL imports only Windows system DLLs and the loader, and exports only Load."""

import os
import re
import subprocess
import unittest

from harness import BIN_DIR

OBJDUMP = os.environ.get("CONSOLE_RELAY_OBJDUMP", "x86_64-w64-mingw32-objdump")
SYSTEM_DLLS = {"kernel32.dll", "ws2_32.dll", "msvcrt.dll", "ucrtbase.dll", "user32.dll",
               "advapi32.dll", "ntdll.dll"}
SYSTEM_DLL_PATTERN = re.compile(r"api-ms-win-.*\.dll")


def tables(path):
    out = subprocess.run([OBJDUMP, "-p", path], check=True, capture_output=True, text=True).stdout
    imports = re.findall(r"^\s*DLL Name: (\S+)", out, re.M)
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

    def test_exports_only_the_decorated_load(self):
        self.assertEqual(self.exports, ["?Load@@YA_NXZ"])


if __name__ == "__main__":
    unittest.main()
