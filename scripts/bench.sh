#!/usr/bin/env bash
# Measures what the plugin costs the game and how fast it relays, and console-server under load,
# and writes docs/benchmarks.md. Builds what it needs. The Wine part holds the console port for
# about two and a half minutes; BENCH_IDLE_SECONDS (60) and BENCH_SAMPLES (250) shorten it for a
# quick look. console-server's part takes about two minutes a build (it listens on a free port).
#
#   scripts/bench.sh                  everything, and rewrites docs/benchmarks.md
#   scripts/bench.sh console-server   console-server alone, and rewrites its section only
#   BENCH_BEFORE=<revision>           also measures that revision's console-server, side by side
set -euo pipefail
cd "$(dirname "$0")/.."
export PYTHONDONTWRITEBYTECODE=1
only="${1:-}"

scripts/setup.sh

results=build/bench/results
mkdir -p "$results"
wine=/usr/lib/wine/wine64

# Figures of the native code come from a Release build without sanitizers, kept apart;
# console-server's from one without the tests, which it would otherwise build first.
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DCONSOLE_RELAY_SANITIZE=OFF >/dev/null
cmake -S . -B build/bench-console-server -DCMAKE_BUILD_TYPE=Release \
  -DCONSOLE_RELAY_SANITIZE=OFF -DCONSOLE_RELAY_TESTS=OFF >/dev/null
cmake --preset windows >/dev/null

# One build's console-server, natively and under Wine: $1 native build, $2 Windows bin folder,
# $3 the results' suffix. The flood's program is this tree's.
measure_console_server() {
  python3 bench/console_server_measure.py --server "$1/tools/console-server/console-server" \
    --printer build/bench-console-server/bench/print_megabytes --label "native$3" \
    --out "$results/console-server-native$3.json"
  python3 bench/console_server_measure.py --server "$2/console-server.exe" --emulator "$wine" \
    --printer build/windows/bin/print_megabytes.exe --label "wine$3" \
    --out "$results/console-server-wine$3.json"
}

cmake --build build/bench-console-server -j2 --target console-server print_megabytes
cmake --build --preset windows -j2 --target console-server print_megabytes
rm -f "$results"/console-server-*-before.json
if [ -n "${BENCH_BEFORE:-}" ]; then
  before=build/bench-before
  rm -rf "$before/src"
  mkdir -p "$before/src"
  git archive "$BENCH_BEFORE" | tar -x -C "$before/src"
  cmake -S "$before/src" -B "$before/native" -DCMAKE_BUILD_TYPE=Release \
    -DCONSOLE_RELAY_SANITIZE=OFF -DCONSOLE_RELAY_TESTS=OFF >/dev/null
  cmake --build "$before/native" -j2 --target console-server
  cmake -S "$before/src" -B "$before/windows" \
    --toolchain "$PWD/$before/src/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCONSOLE_RELAY_TESTS=OFF >/dev/null
  cmake --build "$before/windows" -j2 --target console-server
  measure_console_server "$before/native" "$before/windows/bin" -before
fi
measure_console_server build/bench-console-server build/windows/bin ""

if [ "$only" = console-server ]; then
  python3 bench/console_server_report.py --results "$results" --update docs/benchmarks.md
  exit 0
fi

cmake --build build/bench -j2 --target idle_pass_alloc_test idle_pass_bench help_request_bench
python3 bench/native_measure.py --build build/bench --out "$results/native.json"

cmake --build --preset windows -j2 --target ConsoleRelay Zandrel BaselineRelay BaselineRelaySleep
flock /tmp/console-relay-port.lock \
  python3 bench/wine_measure.py --bin build/windows/bin --out "$results/wine.json" \
  --idle-seconds "${BENCH_IDLE_SECONDS:-60}" --samples "${BENCH_SAMPLES:-250}"

python3 bench/write_report.py --native "$results/native.json" --wine "$results/wine.json" \
  --bin build/windows/bin --out docs/benchmarks.md --console-server-results "$results"
