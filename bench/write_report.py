#!/usr/bin/env python3
"""Writes docs/benchmarks.md from the figures of native_measure.py and wine_measure.py.

    python3 bench/write_report.py --native native.json --wine wine.json \\
        --bin build/windows/bin --out docs/benchmarks.md
"""

import argparse
import datetime
import json
import math
import os
import platform
import statistics
import subprocess
import tempfile

import console_server_report

PLUGIN = "ConsoleRelay.dll"
BASELINE = "BaselineRelay.dll"


def command_output(arguments):
    try:
        return subprocess.run(arguments, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True).stdout.strip().splitlines()[0]
    except (OSError, IndexError):
        return "unknown"


def cpu_model():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.processor() or "unknown"


def percentile(values, fraction):
    """Nearest rank: the smallest value with at least `fraction` of all values at or below it."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(fraction * len(ordered)) - 1)]


def met(condition):
    return "yes" if condition else "**no**"


def kib(value):
    return "%s KiB" % format(int(value), ",") if value is not None else "n/a"


def dll_sizes(path):
    with tempfile.TemporaryDirectory() as scratch:
        stripped = os.path.join(scratch, "stripped.dll")
        subprocess.run(["x86_64-w64-mingw32-strip", "-o", stripped, path], check=True)
        stripped_size = os.path.getsize(stripped)
    # Berkeley format: text, data, bss, total (decimal), total (hex), file.
    lines = subprocess.run(["x86_64-w64-mingw32-size", path], stdout=subprocess.PIPE, check=True,
                           text=True).stdout.splitlines()
    text, data, bss = (int(x) for x in lines[1].split()[:3])
    return {"file": os.path.getsize(path), "stripped": stripped_size, "text": text, "data": data,
            "bss": bss}


def shape_growth_kib(shape):
    return max(0, shape["peak_resident_kib"] - shape["resident_kib"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--native", required=True)
    parser.add_argument("--wine", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--console-server-results", default="",
                        help="the folder of console_server_measure.py's figures, if measured")
    args = parser.parse_args()
    with open(args.native) as f:
        native = json.load(f)
    with open(args.wine) as f:
        wine = json.load(f)

    alloc = native["allocations"]
    instr = native["instructions"]
    helpb = native.get("help_request")
    idle = wine["idle"]
    period = wine["period"]["period_ms"]
    take, chat = wine["take_latency_ms"], wine["chat_latency_ms"]
    memory = wine["memory"]
    sizes = {name: dll_sizes(os.path.join(args.bin, name)) for name in (PLUGIN, BASELINE)}

    cpu_ratio = idle["plugin"]["cpu_ms"] / idle["baseline"]["cpu_ms"]
    cpu_percent = idle["plugin"]["percent_of_one_core"]
    latency_limit = period + 2.0
    rows = [
        ("Heap allocations per idle pass", "%d in %d passes" % (alloc["idle_allocations"],
                                                               alloc["idle_passes"]),
         "", "", "0", met(alloc["idle_allocations"] == 0)),
        ("Heap allocations per pass, armed but not taken",
         "%d in %d passes" % (alloc["armed_allocations"], alloc["armed_passes"]), "", "", "0",
         met(alloc["armed_allocations"] == 0)),
        ("Instructions per idle pass (callgrind)", "%.0f" % instr["relay"]["per_pass"],
         "%.0f (zeroing 1024 bytes)" % instr["baseline"]["per_pass"], "%.2fx" % instr["ratio"],
         "at most 1.5x", met(instr["ratio"] <= 1.5)),
        ("Idle CPU of the game with the plugin (Wine)", "%.3f %% of one core" % cpu_percent,
         "%.3f %% (baseline DLL)" % idle["baseline"]["percent_of_one_core"],
         "%.2fx" % cpu_ratio, "at most 1.2x, under 1 %",
         met(cpu_ratio <= 1.2 and cpu_percent < 1.0)),
        ("Take latency, sent state to console program, p99",
         "%.2f ms" % percentile(take, 0.99), "pass period %.2f ms" % period, "",
         "at most %.2f ms" % latency_limit, met(percentile(take, 0.99) <= latency_limit)),
        ("Console latency, send to chat line, p99", "%.2f ms" % percentile(chat, 0.99),
         "pass period %.2f ms" % period, "", "at most %.2f ms" % latency_limit,
         met(percentile(chat, 0.99) <= latency_limit)),
    ]
    unlinked = wine.get("idle_unlinked")
    if unlinked:
        unlinked_ratio = unlinked["plugin"]["cpu_ms"] / unlinked["baseline"]["cpu_ms"]
        take_unlinked = wine["take_unlinked_ms"]
        found = wine["link_found_ms"]
        rows += [
            ("Heap allocations per idle pass, no console program (retries failing)",
             "%d in %d passes" % (alloc["idle_unlinked_allocations"],
                                  alloc["idle_unlinked_passes"]),
             "", "", "0", met(alloc["idle_unlinked_allocations"] == 0)),
            ("Idle CPU, no console program, retries every 2 s (Wine)",
             "%.3f %% of one core" % unlinked["plugin"]["percent_of_one_core"],
             "%.3f %% (baseline DLL)" % unlinked["baseline"]["percent_of_one_core"],
             "%.2fx" % unlinked_ratio, "at most 1.2x", met(unlinked_ratio <= 1.2)),
            ("Take latency while retries fail, Enter to the taken line's log line, p99",
             "%.0f ms" % percentile(take_unlinked, 0.99), "pass period %.2f ms" % period, "",
             "at most %.2f ms" % latency_limit,
             met(percentile(take_unlinked, 0.99) <= latency_limit)),
            ("Console program's listen to Connected again, median and worst of %d" % len(found),
             "%.0f ms, %.0f ms" % (statistics.median(found), max(found)),
             "retry every 2,000 ms", "", "at most 2,500 ms", met(max(found) <= 2500)),
        ]
    if helpb:
        rows.append(("Help request, 1 MiB file of 20,000 lines (100 shown)",
                     "%.2f ms" % helpb["ShowHelpRequest"]["median_ms"],
                     "%.2f ms (parsing alone)" % helpb["ParseHelpFile"]["median_ms"],
                     "%.2fx" % helpb["ratio"], "at most 0.7x", met(helpb["ratio"] <= 0.7)))
    shapes = wine.get("help_shapes")
    if shapes:
        worst_pause = max(shapes, key=lambda shape: max(shape["pause_ms"]))
        worst_growth = max(shapes, key=shape_growth_kib)
        rows.append(("Worker's longest pause, help files of every shape up to the size allowed",
                     "%.0f ms" % max(worst_pause["pause_ms"]), worst_pause["shape"], "",
                     "at most 100 ms", met(all(max(s["pause_ms"]) <= 100 for s in shapes))))
        rows.append(("Game's peak private memory over idle, the same requests",
                     kib(shape_growth_kib(worst_growth)), worst_growth["shape"], "",
                     "at most 16,384 KiB",
                     met(all(shape_growth_kib(s) <= 16 << 10 for s in shapes))))
    rows.append(("DLL size", "%s bytes" % format(sizes[PLUGIN]["file"], ","),
                 "%s bytes stripped" % format(sizes[PLUGIN]["stripped"], ","), "", "reported", ""))
    rows.append(("Private memory of the game, idle, with the plugin",
                 kib(memory["plugin"]["proc_status_kib"]["RssAnon"]),
                 "%s without a plugin" % kib(memory["bare"]["proc_status_kib"]["RssAnon"]),
                 "", "reported", ""))

    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    out = []
    w = out.append
    w("# Benchmarks")
    w("")
    w("Written by `scripts/bench.sh` on %s; do not edit by hand. Each figure is set against a "
      "baseline measured in the same run, because the machines these run on are noisy." % now)
    w("")
    w("Machine: %d CPUs (`nproc`), %s; Linux %s; %s; %s (native), %s (plugin)." % (
        os.cpu_count(), cpu_model(), platform.release(),
        command_output([os.environ.get("CONSOLE_RELAY_WINE", "/usr/lib/wine/wine64"), "--version"]),
        command_output(["g++", "--version"]),
        command_output(["x86_64-w64-mingw32-g++-posix", "--version"])))
    w("")
    w("| Figure | Measured | Baseline | Ratio | Target | Met |")
    w("|---|---|---|---|---|---|")
    for row in rows:
        w("| " + " | ".join(row) + " |")
    w("")

    w("## Idle pass: heap allocations")
    w("")
    w("`tests/native/idle_pass_alloc_test.cpp` replaces every global `operator new` and `operator delete` "
      "of its own executable with counting ones and runs `RunRelayPass` through the unit tests' "
      "fakes: %d passes with nothing received and nothing typed, then %d passes with a `/` line "
      "armed but never taken (typing, first byte gone, sent state without the first byte cleared, "
      "idle again). It is an ordinary test of the `native` preset (under the sanitizers there) "
      "and fails if any of these passes allocates." % (alloc["idle_passes"],
                                                        alloc["armed_passes"]))
    w("")
    w("## Idle pass: instructions")
    w("")
    w("`bench/idle_pass_bench.cpp`, built without sanitizers (Release), runs idle passes through "
      "the fakes, or a baseline loop that only zeroes a 1024-byte buffer. Each runs under "
      "`valgrind --tool=callgrind` with %s and %s passes; the difference of the totals over the "
      "difference of the counts is the cost of one pass without start-up. Callgrind counts each "
      "iteration of a `rep` string instruction as one instruction." % tuple(
          format(n, ",") for n in instr["pass_counts"]))
    w("")
    w("| Per pass | Relay | Baseline |")
    w("|---|---|---|")
    w("| Instructions | %.1f | %.1f |" % (instr["relay"]["per_pass"],
                                           instr["baseline"]["per_pass"]))
    w("| Beyond the zeroing | %.1f | |" % (instr["relay"]["per_pass"] -
                                          instr["baseline"]["per_pass"]))
    w("")
    w("Where the relay pass's instructions go (self cost per pass; `main` is the loop, "
      "`ReceiveFromServer` the fake socket):")
    w("")
    w("| Function | Instructions |")
    w("|---|---|")
    for name, cost in instr["relay"]["per_pass_by_function"].items():
        w("| `%s` | %.1f |" % (name.replace("|", "\\|"), cost))
    w("")

    w("## Idle CPU under Wine")
    w("")
    w("`bench/wine_measure.py` starts four hosts side by side: the simulated game with the "
      "plugin; the same host with `BaselineRelay.dll`, whose entry starts one thread that loops "
      "over a connected non-blocking socket's `recv` and a 10 ms pause taken as the plugin takes "
      "it (`std::this_thread::sleep_for`); the same with `BaselineRelaySleep.dll`, which pauses "
      "with `Sleep(10)` instead; and the host alone. The three DLLs are connected to one silent "
      "console program. After the plugin's set-up (%.0f s from the "
      "first start) the on-CPU time of every thread of each process is read from "
      "`/proc/<pid>/task/*/schedstat` (nanoseconds) at both ends of one %.0f s window; "
      "`utime + stime` from `/proc/<pid>/stat` (clock ticks) is shown as a check." % (
          wine["setup_seconds"], idle["window_seconds"]))
    w("")
    w("| Process | CPU time | Of one core | From ticks | Threads |")
    w("|---|---|---|---|---|")
    labels = {"plugin": "game + plugin", "baseline": "game + baseline DLL (the reference)",
              "baseline_sleep": "game + baseline DLL pausing with `Sleep`",
              "bare": "game alone", "wineserver": "wineserver (shared by all Wine processes)"}
    for name in ("plugin", "baseline", "baseline_sleep", "bare", "wineserver"):
        if name in idle:
            entry = idle[name]
            w("| %s | %.1f ms | %.3f %% | %.0f ms | %s |" % (
                labels[name], entry["cpu_ms"], entry["percent_of_one_core"],
                entry["cpu_ms_from_ticks"], "%d, %d" % tuple(entry["threads"])))
    w("")
    w("## Latency under Wine")
    w("")
    w("One clock for both sides: Wine's performance counter is `CLOCK_MONOTONIC_RAW` in 100 ns "
      "ticks. The run checks that with the game's `clock` command (the round trip with the "
      "shortest time; its midpoint is taken as the host's reading) and subtracts whatever offset "
      "it finds: %+.1f µs (round trip %.1f µs) before the samples, %+.1f µs after." % (
          wine["clock"]["before"]["offset_ns"] / 1000,
          wine["clock"]["before"]["round_trip_ns"] / 1000,
          wine["clock"]["after"]["offset_ns"] / 1000))
    w("")
    w("- Take: the game's `timedtype` command types `/bench N`, waits for the plugin to blank it, "
      "waits 0 to 10 ms more at random (so Enter falls anywhere between two passes), sets the "
      "sent state and reads the counter; the console program notes when the bytes `bench N` "
      "arrive.")
    w("- Console: the console program waits 0 to 11 ms at random, reads the clock and sends "
      "`console mN`; the game's chat display routine notes the counter when the plugin calls it "
      "(the `lastchat` command).")
    w("- Pass period: the game keeps a `/` line typed and writes its first byte back whenever the "
      "plugin blanks it (`watchblank`, %d ms before and after the samples): the window over the "
      "number of blanks." % wine["period"]["before"]["window_ms"])
    w("")
    w("| Direction | Samples | p50 | p99 | Max | Missed |")
    w("|---|---|---|---|---|---|")
    for label, values, missed in (("Take (sent state to console program)", take,
                                   wine["take_missed"]),
                                  ("Console (send to chat line)", chat, wine["chat_missed"])):
        w("| %s | %d | %.2f ms | %.2f ms | %.2f ms | %d |" % (
            label, len(values), percentile(values, 0.5), percentile(values, 0.99), max(values),
            missed))
    w("")
    w("Pass period: %.2f ms (%d passes in %d ms before, %d in %d ms after). A line that arrives "
      "just after a pass waits one whole period, so the target is one period plus 2 ms." % (
          period, wine["period"]["before"]["passes"], wine["period"]["before"]["window_ms"],
          wine["period"]["after"]["passes"], wine["period"]["after"]["window_ms"]))
    w("")

    if helpb:
        w("## Help requests")
        w("")
        w("`bench/help_request_bench.cpp` (Google Benchmark, 5 repetitions interleaved at random, "
          "medians) writes a help file of exactly 1 MiB, 20,000 lines of one chat line each, into "
          "a temporary folder, and times `ShowHelp` through the fakes (opening, parsing, picking "
          "the entry, showing the first 100 of the 20,000 lines, as many as a request shows, "
          "and freeing them) against opening and parsing the same file with nlohmann json alone.")
        w("")
        w("| Benchmark | Median | Repetitions |")
        w("|---|---|---|")
        for name, label in (("ShowHelpRequest", "`ShowHelp` (the plugin)"),
                            ("ParseHelpFile", "parse from the file stream (baseline)"),
                            ("ParseHelpFileFromMemory", "read whole, then parse (comparison)")):
            if name in helpb:
                w("| %s | %.2f ms | %s |" % (label, helpb[name]["median_ms"], ", ".join(
                    "%.2f" % t for t in helpb[name]["runs_ms"])))
        w("")
        request = wine.get("help_request")
        if request:
            w("In the game under Wine, the same request took %.0f ms from Enter to the last of "
              "the %s chat lines it shows." % (request["enter_to_last_line_ms"],
                                               format(request["lines"], ",")))
            w("")
    if shapes:
        w("### Help files of every shape")
        w("")
        w("A request reads at most %s bytes of a help file, and keeps only the lines it shows. "
          "`bench/wine_measure.py` asks in the game under Wine for the help of files of shapes "
          "that once made a request costly, each as large as allowed, and right after each "
          "request types a `/` line. The worker's pause runs from the log line it writes on "
          "taking the request to the moment it blanks that `/` line (reading, parsing, showing, "
          "logging and freeing all lie between); a `/` line typed meanwhile waits at most that "
          "long for its blank. Memory is how far the game's resident memory rose over what it "
          "was just before the shape's requests, from the kernel's exact peak (`VmHWM`, started "
          "anew for each shape through `/proc/<pid>/clear_refs`): the requests map no files, so "
          "all of the rise is private memory."
          % format(max(shape["file_bytes"] for shape in shapes), ","))
        w("")
        w("| Help file | Bytes | Pauses | Peak memory over idle | Lines shown | Logged |")
        w("|---|---|---|---|---|---|")
        for shape in shapes:
            logged = "; ".join(line.split(": ", 1)[-1][:90] for line in shape["logged"])
            w("| %s | %s | %s ms | %s | %d | %s |" % (
                shape["shape"], format(shape["file_bytes"], ","),
                ", ".join("%.0f" % p for p in shape["pause_ms"]),
                kib(shape_growth_kib(shape)), shape["lines_shown"], logged.replace("|", "\\|")))
        w("")

    w("## Size and memory")
    w("")
    w("| Module | File | Stripped | Text (code and read-only data) | Data | BSS |")
    w("|---|---|---|---|---|---|")
    for name in (PLUGIN, BASELINE):
        entry = sizes[name]
        w("| `%s` | %s | %s | %s | %s | %s |" % (name, *(format(entry[k], ",") for k in (
            "file", "stripped", "text", "data", "bss"))))
    w("")
    w("Private memory is the process's resident anonymous memory (`RssAnon` in "
      "`/proc/<pid>/status`), which is also what Wine reports as the process's pagefile usage to "
      "`GetProcessMemoryInfo` (its `PrivateUsage` stays 0; the game's `memory` command shows "
      "both). Peaks are the highest of samples taken every 50 ms over the whole run; the plugin's "
      "includes one request for the 1 MiB help file.")
    w("")
    w("| Game host | Private, idle | Peak private | Peak resident (VmHWM) | Of which the DLL image "
      "| Threads |")
    w("|---|---|---|---|---|---|")
    for name, label in (("bare", "alone"), ("baseline", "with the baseline DLL"),
                        ("plugin", "with the plugin")):
        entry = memory[name]
        w("| %s | %s | %s | %s | %s | %d |" % (
            label, kib(entry["proc_status_kib"]["RssAnon"]),
            kib(entry.get("peak_before_largest_kib", entry.get("peak_rss_anon_kib"))),
            kib(entry["proc_status_kib"]["VmHWM"]),
            kib(entry.get("module_image_private_kib")) if name != "bare" else "",
            entry["threads"]))
    w("")
    w("Wine loads a PE image whose file alignment is below the page size (mingw-w64's default is "
      "512 bytes) by reading its sections into private pages, where Windows would map them from "
      "the file and share them; the image column is that part.")
    w("")
    if args.console_server_results:
        out.extend(console_server_report.section(args.console_server_results))
    w("## Running")
    w("")
    w("`scripts/bench.sh` builds what it needs (a Release build without sanitizers in "
      "`build/bench`, and the `windows` preset), runs everything above (the Wine part under "
      "`flock /tmp/console-relay-port.lock`) and rewrites this file; `scripts/bench.sh "
      "console-server` measures console-server alone and rewrites its section only, and "
      "`BENCH_BEFORE=<revision>` measures that revision's console-server beside it. CI builds "
      "the benchmark "
      "programs but does not judge their figures; only `idle_pass_alloc_test` is a test.")
    w("")

    with open(args.out, "w") as f:
        f.write("\n".join(out))
    print("write_report: wrote %s" % args.out)


if __name__ == "__main__":
    main()
