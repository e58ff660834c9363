"""Collects the outcome of each fault scenario and prints them as one table."""

import os
import sys

ROWS = []


def record(scenario, survived, passing, lost_bytes="-"):
    ROWS.append((scenario, survived, passing, str(lost_bytes)))


def print_table(title):
    if not ROWS:
        return
    width = max(len(r[0]) for r in ROWS)
    out = ["", title, "%-*s  %-8s  %-14s  %s" % (width, "scenario", "host", "worker passing",
                                                  "bytes lost while connected")]
    for scenario, survived, passing, lost in ROWS:
        out.append("%-*s  %-8s  %-14s  %s" % (width, scenario, "survived" if survived else "DIED",
                                              "yes" if passing else "NO", lost))
    text = "\n".join(out) + "\n"
    sys.stderr.write(text)
    # The test script prints the collected tables after the run.
    report_dir = os.environ.get("CONSOLE_RELAY_REPORT_DIR")
    if report_dir:
        os.makedirs(report_dir, exist_ok=True)
        name = title.lower().replace(" ", "-").replace("(", "").replace(")", "")
        with open(os.path.join(report_dir, name + ".txt"), "w") as f:
            f.write(text)
    ROWS.clear()
