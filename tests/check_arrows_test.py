"""The arrows check reads its rules from the architecture tables and names each include against
them; then the tree itself is held to them."""
import contextlib
import io
import os
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import check_arrows  # noqa: E402

TABLES = """
| Part | Library | Holds | May use |
|---|---|---|---|
| `src/relay/` | `relay_core` | the worker | game, common |
| `src/game/` | `game_access` | game memory | common |
| `src/common/` | `console_common` | helpers | nothing |

Text between the tables.

| Part | Files (in `tools/`) | Library | Holds | May use |
|---|---|---|---|---|
| owner | `server/owner.*` | `server` | the state | rules, common |
| loop | `server/loop.*`, `server/inbox.h` | `server` | the loop | owner |
| rules | `server/rules/` | `server_rules` | the rule file | common |
"""


class Arrows(unittest.TestCase):
    def setUp(self):
        self.parts = check_arrows.read_parts(TABLES)

    def test_reads_each_row_of_each_table(self):
        self.assertEqual(
            {name: (part.paths, part.may_use) for name, part in self.parts.items()}, {
                "relay": (["src/relay/"], {"game", "common"}),
                "game": (["src/game/"], {"common"}),
                "common": (["src/common/"], set()),
                "owner": (["tools/server/owner.*"], {"rules", "common"}),
                "loop": (["tools/server/loop.*", "tools/server/inbox.h"], {"owner"}),
                "rules": (["tools/server/rules/"], {"common"}),
            })

    def test_finds_the_part_of_each_file(self):
        rows = [
            ("src/relay/pass.cpp", "relay"),
            ("src/relay/deeper/pass.h", "relay"),
            ("src/plugin_numbers.h", None),
            ("tools/server/owner.h", "owner"),
            ("tools/server/owner.cpp", "owner"),
            ("tools/server/owner_test.cpp", None),
            ("tools/server/inbox.h", "loop"),
            ("tools/server/rules/owner.h", "rules"),
            ("tools/server/owner.d/part.h", None),  # a pattern matches in its own folder only
            ("tools/server/main.cpp", None),
        ]
        self.assertEqual([(file, check_arrows.part_of(self.parts, file)) for file, _ in rows],
                         rows)

    def test_names_each_include_no_arrow_allows(self):
        rows = [
            ("src/relay/pass.cpp", "src/relay/link.h", False),  # itself
            ("src/relay/pass.cpp", "src/game/memory.h", False),
            ("src/game/memory.cpp", "src/common/bytes.h", False),
            ("src/game/memory.cpp", "src/plugin_numbers.h", False),  # of no folder
            ("src/game/memory.cpp", "src/relay/pass.h", True),  # back up
            ("src/common/bytes.h", "src/game/memory.h", True),  # from a part that may use nothing
            ("src/game/memory.cpp", "src/net/wire.h", True),  # a part the table does not know
            ("src/game/memory.cpp", None, True),  # found nowhere
            ("tools/server/loop.cpp", "tools/server/owner.h", False),
            ("tools/server/loop.cpp", "tools/server/inbox.h", False),  # its own
            ("tools/server/loop.cpp", "tools/server/rules/file.h", True),  # no arrow, though owner's
            ("tools/server/owner.cpp", "tools/server/loop.h", True),  # back up
            ("tools/server/rules/file.cpp", "src/common/bytes.h", False),
            ("tools/server/rules/file.cpp", "src/relay/pass.h", True),  # the plugin's logic
            ("tools/server/rules/file_test.cpp", "tools/other/check.h", False),  # a test
        ]
        wrong = check_arrows.wrong_includes(self.parts, [row[:2] for row in rows])
        self.assertEqual(wrong, [row[:2] for row in rows if row[2]])

    def test_names_an_arrow_to_a_part_no_row_has(self):
        parts = check_arrows.read_parts(TABLES.replace("| owner |\n", "| owner, storage |\n"))
        self.assertEqual(check_arrows.unknown_arrows(parts), [("loop", "storage")])

    def test_looks_for_an_include_as_the_compiler_does_and_names_each_stray_source(self):
        files = {
            "docs/architecture.md": TABLES,
            "src/plugin_numbers.h": "",
            "src/common/bytes.h": "",
            "src/game/memory.h": '#include "common/bytes.h"\n#include "plugin_numbers.h"\n',
            "src/relay/pass.cpp": '#include "relay/pass.h"\n#include "game/memory.h"\n',
            "src/relay/pass.h": "",
            "tools/server/owner.h": '#include "rules/file.h"\n#include "common/bytes.h"\n',
            "tools/server/loop.cpp": '#include "owner.h"\n#include "inbox.h"\n',
            "tools/server/inbox.h": '#include "owner.h"\n',
            "tools/server/rules/file.h": '#include "near.h"\n',  # beside it
            "tools/server/rules/near.h": "",
            "tools/server/rules/file_test.cpp": '#include "check.h"\n',
        }
        rows = [
            ({}, 0, []),
            ({"src/game/memory.h": '#include "relay/pass.h"\n'}, 1,
             ["src/game/memory.h: includes src/relay/pass.h (relay), which no arrow of game "
              "allows"]),
            ({"tools/server/rules/file.h": '#include "owner.h"\n'}, 1,  # in its tool's folder
             ["tools/server/rules/file.h: includes tools/server/owner.h (owner), which no arrow "
              "of rules allows"]),
            ({"tools/server/rules/file.h": '#include "pass.h"\n'}, 1,
             ['tools/server/rules/file.h: includes "pass.h", which is found nowhere']),
            ({"tools/server/rules/near.h": '#include "../inbox.h"\n'}, 1,
             ["tools/server/rules/near.h: includes tools/server/inbox.h (loop), which no arrow "
              "of rules allows"]),
            ({"tools/server/main.cpp": ""}, 1,
             ["tools/server/main.cpp: a source that no row of docs/architecture.md holds"]),
            ({"src/sim/fake.cpp": ""}, 1,
             ["src/sim/fake.cpp: a source that no row of docs/architecture.md holds"]),
        ]
        for changed, status, printed in rows:
            with self.subTest(changed=changed), tempfile.TemporaryDirectory() as root:
                for name, text in dict(files, **changed).items():
                    os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                    with open(os.path.join(root, name), "w", encoding="utf-8") as file:
                        file.write(text)
                out = io.StringIO()
                with contextlib.redirect_stdout(out):
                    self.assertEqual(check_arrows.check(root), status)
                if status:
                    self.assertEqual(out.getvalue().splitlines(), printed)

    def test_the_tree_keeps_its_arrows(self):
        self.assertEqual(check_arrows.check(ROOT), 0)


if __name__ == "__main__":
    unittest.main()
