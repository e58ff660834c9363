#!/usr/bin/env python3
"""Rolls dice for console-server's /roll: "roll.py 2d6" prints "Rolled 2d6: 3 + 5 = 8".

What the player typed arrives as one argument, which is only ever compared, never run.
"""

import random
import re
import sys


def main(arguments: list[str]) -> int:
    text = arguments[0].strip() if arguments else ""
    match = re.fullmatch(r"(\d{1,2})?d(\d{1,4})", text or "1d6")
    if not match or not 1 <= int(match.group(1) or 1) <= 20 or int(match.group(2)) < 1:
        print("Roll what? Try /roll 2d6 (up to 20 dice).")
        return 0
    count, sides = int(match.group(1) or 1), int(match.group(2))
    rolls = [random.randint(1, sides) for _ in range(count)]
    total = " = %d" % sum(rolls) if count > 1 else ""
    print("Rolled %dd%d: %s%s" % (count, sides, " + ".join(map(str, rolls)), total))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
