#!/usr/bin/env python3
"""Runs the native benchmarks of a non-sanitized build and writes their figures as JSON:

- heap allocations of idle passes (idle_pass_alloc_test, which also fails if there are any);
- instructions per idle pass under callgrind, against a loop that only zeroes a 1024-byte buffer:
  each mode runs twice with different pass counts, and the difference of the totals divided by
  the difference of the counts leaves out the program's start-up;
- time per help request (help_request_bench, Google Benchmark), against parsing the file alone.

    python3 bench/native_measure.py --build build/bench --out build/bench/results/native.json
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

PASS_COUNTS = (100_000, 200_000)


def run_alloc_test(program, scratch):
    report = os.path.join(scratch, "alloc.json")
    completed = subprocess.run([program, "--gtest_output=json:" + report],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    figures = {"passed": completed.returncode == 0, "output": completed.stdout[-4000:]}
    with open(report) as f:
        for suite in json.load(f)["testsuites"]:
            for test in suite["testsuite"]:
                for key, value in test.items():
                    if key.endswith("_passes") or key.endswith("_allocations"):
                        figures[key] = int(value)
    return figures


def callgrind_totals(program, mode, passes, scratch):
    out = os.path.join(scratch, "callgrind.%s.%d" % (mode, passes))
    subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, program, mode,
                    str(passes)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out) as f:
        for line in f:
            if line.startswith(("totals:", "summary:")):
                total = int(line.split()[1])
    return total, out


def self_cost_by_function(callgrind_file):
    listing = subprocess.run(["callgrind_annotate", "--inclusive=no", "--threshold=100",
                              callgrind_file], check=True, stdout=subprocess.PIPE, text=True).stdout
    costs = {}
    for line in listing.splitlines():
        match = re.match(r"\s*([\d,]+)\s+\([^)]*\)\s+(?:\S*?:)?(.+?)(?: \[.*\])?$", line)
        if match and "PROGRAM TOTALS" not in line:
            name = match.group(2)
            costs[name] = costs.get(name, 0) + int(match.group(1).replace(",", ""))
    return costs


def run_callgrind(program, scratch):
    figures = {"pass_counts": list(PASS_COUNTS)}
    low, high = PASS_COUNTS
    for mode in ("relay", "baseline"):
        (total_low, file_low), (total_high, file_high) = (
            callgrind_totals(program, mode, n, scratch) for n in PASS_COUNTS)
        per_pass = (total_high - total_low) / (high - low)
        costs_low, costs_high = self_cost_by_function(file_low), self_cost_by_function(file_high)
        by_function = {name: (cost - costs_low.get(name, 0)) / (high - low)
                       for name, cost in costs_high.items()}
        figures[mode] = {
            "totals": [total_low, total_high],
            "per_pass": per_pass,
            "per_pass_by_function": {name: cost for name, cost in sorted(
                by_function.items(), key=lambda item: -item[1]) if cost >= 0.5},
        }
    figures["ratio"] = figures["relay"]["per_pass"] / figures["baseline"]["per_pass"]
    return figures


def run_help_bench(program, scratch):
    report = os.path.join(scratch, "help.json")
    subprocess.run([program, "--benchmark_repetitions=5", "--benchmark_enable_random_interleaving",
                    "--benchmark_out=" + report, "--benchmark_out_format=json"],
                   check=True, stdout=subprocess.DEVNULL)
    with open(report) as f:
        runs = json.load(f)["benchmarks"]
    figures = {}
    for run in runs:
        name = run["run_name"]
        entry = figures.setdefault(name, {"runs_ms": []})
        if run["run_type"] == "iteration":
            entry["runs_ms"].append(run["real_time"])
        elif run["aggregate_name"] == "median":
            entry["median_ms"] = run["real_time"]
    figures["ratio"] = (figures["ShowHelpRequest"]["median_ms"] /
                        figures["ParseHelpFile"]["median_ms"])
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True, help="a build folder made without sanitizers")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    programs = os.path.join(args.build, "bench")

    results = {}
    with tempfile.TemporaryDirectory(prefix="console-relay-bench-") as scratch:
        alloc_test = os.path.join(args.build, "tests", "idle_pass_alloc_test")
        results["allocations"] = run_alloc_test(alloc_test, scratch)
        results["instructions"] = run_callgrind(os.path.join(programs, "idle_pass_bench"), scratch)
        help_bench = os.path.join(programs, "help_request_bench")
        if os.path.exists(help_bench):
            results["help_request"] = run_help_bench(help_bench, scratch)

    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w") as f:
        json.dump(results, f, indent=1)
    print("native_measure: wrote %s" % args.out)
    if not results["allocations"]["passed"]:
        print(results["allocations"]["output"], file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
