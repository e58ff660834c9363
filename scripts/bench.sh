#!/usr/bin/env bash
# Measures what the plugin costs the game and how fast it relays, and writes docs/benchmarks.md.
# Builds what it needs. The Wine part holds the console port for about two and a half minutes;
# BENCH_IDLE_SECONDS (60) and BENCH_SAMPLES (250) shorten it for a quick look.
set -euo pipefail
cd "$(dirname "$0")/.."
export PYTHONDONTWRITEBYTECODE=1

scripts/setup.sh

results=build/bench/results
mkdir -p "$results"

# Figures of the native code come from a Release build without sanitizers, kept apart.
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DCONSOLE_RELAY_SANITIZE=OFF >/dev/null
cmake --build build/bench -j2 --target idle_pass_alloc_test idle_pass_bench help_request_bench
python3 bench/native_measure.py --build build/bench --out "$results/native.json"

cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target ConsoleRelay Zandrel BaselineRelay BaselineRelaySleep
flock /tmp/console-relay-port.lock \
  python3 bench/wine_measure.py --bin build/windows/bin --out "$results/wine.json" \
  --idle-seconds "${BENCH_IDLE_SECONDS:-60}" --samples "${BENCH_SAMPLES:-250}"

python3 bench/write_report.py --native "$results/native.json" --wine "$results/wine.json" \
  --bin build/windows/bin --out docs/benchmarks.md
