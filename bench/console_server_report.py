#!/usr/bin/env python3
"""Writes the console-server section of docs/benchmarks.md from console_server_measure.py's
figures: console-server-native.json and console-server-wine.json in a results folder, and, when
scripts/bench.sh measured a build from before a change too (BENCH_BEFORE), the same with
-before. write_report.py puts the section in the whole report; alone, this script replaces the
section of an existing report:

    python3 bench/console_server_report.py --results build/bench/results --update docs/benchmarks.md
"""

import argparse
import json
import os

HEADING = "## console-server under load"
NEXT_HEADING = "## Running"
# The game's reply, at most (p99), under every flood.
REPLY_TARGET_MS = 50
# A reply that did not come within this many seconds is missed (console_server_measure.py).
REPLY_TIMEOUT_S = 2
# Printed lines of a flood of 2,000 cycles or lines, at most: a few hundred.
PRINTED_TARGET = 300
SETUPS = [("native", "before", "native, before"), ("native", "after", "native"),
          ("wine", "before", "Wine, before"), ("wine", "after", "Wine")]


def load(results):
    figures = {}
    for system, when, _ in SETUPS:
        name = "console-server-%s%s.json" % (system, "-before" if when == "before" else "")
        path = os.path.join(results, name)
        if os.path.exists(path):
            with open(path) as f:
                figures[(system, when)] = json.load(f)
    return figures


def ms(value):
    return "-" if value is None else ("%.1f" % value if value < 100 else "%.0f" % value)


def phase(report, prefix):
    for one in report["phases"]:
        if one["name"].startswith(prefix):
            return one
    return None


def section(results):
    figures = load(results)
    columns = [((system, when), title) for system, when, title in SETUPS
               if (system, when) in figures]
    if not columns:
        return []
    out = []
    w = out.append
    w(HEADING)
    w("")
    w("`bench/console_server_measure.py` runs one console-server on a free port with the rules "
      "`kick -> Kicked {args}.`, `say -> {args}` and `flood => print_megabytes 50`, natively "
      "(a Release build without sanitizers) and as `console-server.exe` under Wine. Two clients "
      "play the game: each sends `kick gN` and times the reply `console Kicked gN.` on its "
      "connection, a little over the 100 ms reply pacing apart, first with no attack and then "
      "under each flood; the floods run in a process of their own. Wake-ups are the voluntary "
      "context switches of all its threads (under Wine also Wine's own) over a window with "
      "nothing connected, and of the first thread alone, where its loop runs; CPU is its "
      "threads' on-CPU time over the same window. Printed lines are all the lines it printed "
      "from a flood's start until its folded counts were out. \"Before\" is the build of "
      "`BENCH_BEFORE`, measured in the same run.")
    w("")
    w("Measured on %s, %d CPUs." % (figures[columns[-1][0]].get("measured", "-"),
                                    figures[columns[-1][0]]["cpus"]))
    w("")
    header = "| Figure | " + " | ".join(title for _, title in columns) + " | Target |"
    w(header)
    w("|---" * (len(columns) + 2) + "|")

    def row(label, cell, target=""):
        w("| %s | %s | %s |" % (label, " | ".join(cell(figures[key]) for key, _ in columns),
                                target))

    row("Wake-ups a second, idle", lambda r: "%.1f" % r["idle"]["wakeups_per_second"],
        "about 1")
    row("of which the loop's thread", lambda r: "%.1f" % r["idle"]["loop_wakeups_per_second"]
        if "loop_wakeups_per_second" in r["idle"] else "-", "")
    row("CPU, idle", lambda r: "%.3f %%" % r["idle"]["cpu_percent"], "")
    names = [("no attack", "no attack"), ("100 idle", "100 idle clients"),
             ("200 one-byte", "200 clients sending one-byte pieces"),
             ("4 programs", "4 programs printing 50 MB"),
             ("2000 connect", "2,000 connect, send, reset cycles"),
             ("2000 lines", "2,000 lines of 8 KiB to `say`")]
    for prefix, label in names:
        def reply(report, prefix=prefix):
            one = phase(report, prefix)
            if one is None:
                return "-"
            missed = ", %d missed" % one["missed"] if one["missed"] else ""
            return "%s / %s ms%s" % (ms(one["p50_ms"]), ms(one["p99_ms"]), missed)
        row("Game's reply p50 / p99, " + label, reply, "p99 at most %d ms" % REPLY_TARGET_MS)
    for prefix, label in names[2:]:
        def printed(report, prefix=prefix):
            one = phase(report, prefix)
            return "-" if one is None else "{:,}".format(one["printed_lines"])
        target = "at most %d" % PRINTED_TARGET if prefix.startswith("2000") else "reported"
        row("Printed lines, " + label, printed, target)
    w("")
    for key, title in columns:
        for one in figures[key]["phases"]:
            if one["p99_ms"] is not None and one["p99_ms"] > REPLY_TARGET_MS:
                w("- %s, %s: the p99 is above %d ms; meanwhile the machine was %s %% busy, and "
                  "console-server's threads%s waited %s ms a second for a CPU (its slowest "
                  "replies: %s ms)." % (title, one["name"], REPLY_TARGET_MS,
                                       one["machine_busy_percent"],
                                       " and the wineserver's" if "wineserver_cpu_percent" in one
                                       else "", one.get("waited_for_cpu_ms_per_s", "-"),
                                       ", ".join(ms(x) for x in one.get("slowest_ms", []))))
            if one["missed"]:
                last = []
                for line in one["last_printed"]:
                    text = line.split(" ", 1)[-1].rstrip("\r")
                    if text not in last:
                        last.append(text)
                w("- %s, %s: %d replies missed (none within %d s, or the game could not "
                  "connect); its last lines: %s." % (title, one["name"], one["missed"],
                                                     REPLY_TIMEOUT_S,
                                                     "; ".join("`%s`" % x for x in last)))
    w("")
    w("What the two shared cores gave meanwhile, per phase: how busy the machine was in all "
      "(other work runs beside the benchmark), the load average, how long console-server's "
      "threads (and under Wine the wineserver's, which every Wine process shares) were ready to "
      "run but waited for a CPU, per second of the phase, and the CPU of console-server and of "
      "the flooding process. A slow reply while the threads waited long for a CPU is starvation, "
      "not console-server's work.")
    w("")
    w("| Setup | Phase | Machine busy | Load | Waited for a CPU | console-server CPU | "
      "Flood's CPU | wineserver CPU | Slowest replies (ms) |")
    w("|---|---|---|---|---|---|---|---|---|")
    for key, title in columns:
        for one in figures[key]["phases"]:
            w("| %s | %s | %s %% | %s | %s ms/s | %s %% | %s %% | %s | %s |" % (
                title, one["name"], one["machine_busy_percent"], one.get("loadavg", "-"),
                one.get("waited_for_cpu_ms_per_s", "-"), one["server_cpu_percent"],
                one["attacker_cpu_percent"],
                "%s %%" % one["wineserver_cpu_percent"] if "wineserver_cpu_percent" in one
                else "", ", ".join(ms(x) for x in one.get("slowest_ms", []))))
    w("")
    return out


def update(path, lines):
    with open(path) as f:
        text = f.read().split("\n")
    if HEADING in text:
        start = text.index(HEADING)
        end = next((i for i in range(start + 1, len(text)) if text[i].startswith("## ")),
                   len(text))
    else:
        start = end = text.index(NEXT_HEADING) if NEXT_HEADING in text else len(text)
    text[start:end] = lines
    with open(path, "w") as f:
        f.write("\n".join(text))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--results", required=True)
    parser.add_argument("--update", required=True)
    args = parser.parse_args()
    lines = section(args.results)
    if not lines:
        raise SystemExit("console_server_report: no figures in %s" % args.results)
    update(args.update, lines)
    print("console_server_report: wrote its section of %s" % args.update)


if __name__ == "__main__":
    main()
