"""The arrows check reads its rules from the architecture table and names each include against
them; then the tree itself is held to them."""
import os
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import check_arrows  # noqa: E402

TABLE = """
| Part | Library | Holds | May use |
|---|---|---|---|
| `src/relay/` | `relay_core` | the worker | game, common |
| `src/game/` | `game_access` | game memory | common |
| `src/common/` | `console_common` | helpers | nothing |
"""


def includes(pairs):
    return lambda part: [(file, used) for file, used in pairs if file.split("/")[1] == part]


class Arrows(unittest.TestCase):
    def test_reads_each_row_of_the_table(self):
        self.assertEqual(check_arrows.read_arrows(TABLE),
                         {"relay": {"game", "common"}, "game": {"common"}, "common": set()})

    def test_names_each_include_no_arrow_allows(self):
        arrows = check_arrows.read_arrows(TABLE)
        rows = [
            ("src/relay/pass.cpp", "relay", False),  # itself
            ("src/relay/pass.cpp", "game", False),
            ("src/game/memory.cpp", "common", False),
            ("src/game/memory.cpp", "relay", True),  # back up
            ("src/common/bytes.h", "game", True),  # from a part that may use nothing
            ("src/game/memory.cpp", "net", True),  # a part the table does not know
        ]
        wrong = check_arrows.wrong_includes(arrows, includes([row[:2] for row in rows]))
        self.assertEqual(sorted(wrong), sorted(row[:2] for row in rows if row[2]))

    def test_the_tree_keeps_its_arrows(self):
        self.assertEqual(check_arrows.check(ROOT), 0)


if __name__ == "__main__":
    unittest.main()
