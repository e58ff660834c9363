#!/usr/bin/env bash
# Builds both configurations and runs every test: the unit tests, a short fuzz run and the Windows
# suite. Each stage runs even when one before it failed, and the run ends on one line that gives
# each stage's count and the verdict; the exit status is 0 only when every stage passed.
# What build/ already holds (the demo's build, an earlier run) is reused, not built again:
# rm -rf build first for a build from nothing.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1
mkdir -p build
logs=build/test-logs
rm -rf "$logs"
mkdir -p "$logs"

summaries=()
failed=false

# "57 of 57 passed" from ctest's closing line in the log, or why there is none.
ctest_count() {
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then
    echo "did not run"
    return
  fi
  local failed_count total
  failed_count=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  echo "$((total - failed_count)) of $total passed"
}

# Runs one stage, its output shown and kept in build/test-logs/NAME.log.
stage() {
  local name=$1
  shift
  echo "== $name"
  "$@" 2>&1 | tee "$logs/$name.log"
  return "${PIPESTATUS[0]}"
}

native() {
  cmake --preset native -DCONSOLE_RELAY_TESTS=ON && # the demo may have left them out
    cmake --build --preset native -j2 &&
    scripts/ctest_heartbeat.py --preset native -j2
}
if stage unit-tests native; then
  summaries+=("unit tests: $(ctest_count "$logs/unit-tests.log")")
else
  failed=true
  summaries+=("unit tests: FAILED ($(ctest_count "$logs/unit-tests.log"))")
fi

# A bounded run of every fuzz target, 300000 inputs each: 235 s for the four on a busy 2-core
# machine, after 98 s to build them the first time. Longer runs: scripts/fuzz.sh 600.
fuzzed() {
  grep -c '^Fuzzing ' "$logs/fuzz.log"
}
if stage fuzz scripts/fuzz.sh; then
  summaries+=("fuzzing: $(fuzzed) targets, no crash")
else
  failed=true
  summaries+=("fuzzing: FAILED ($(fuzzed) targets run)")
fi

# The end-to-end sessions run side by side, each on a loopback of its own, where network
# namespaces may be made; elsewhere they share the console port and take turns.
windows() {
  rm -rf build/windows/reports
  cmake --preset windows &&
    cmake --build --preset windows -j2 &&
    scripts/ctest_heartbeat.py --preset windows
}
if stage windows-suite windows; then
  summaries+=("Windows suite: $(ctest_count "$logs/windows-suite.log")")
else
  failed=true
  summaries+=("Windows suite: FAILED ($(ctest_count "$logs/windows-suite.log"))")
fi
cat build/windows/reports/*.txt 2>/dev/null

verdict=PASSED
$failed && verdict=FAILED
summary=$(printf '%s; ' "${summaries[@]}")
echo
echo "scripts/test.sh: $verdict: ${summary%; } (logs in $logs/)"
! $failed
