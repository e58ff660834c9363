#!/usr/bin/env bash
# Runs the whole Windows test suite N times in a row (default 5) while every core is kept busy,
# to show that no test depends on the machine being idle. One line per run, then
# "N passed, M failed"; exits non-zero when any run failed. The log of each run is kept in
# build/windows/soak/. Uses the windows build as it is (configured and built first if need be).
#
#   scripts/soak.sh [N]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

cmake --preset windows >/dev/null
cmake --build --preset windows -j2 >/dev/null

# The load: one busy loop per core, at the tests' own priority, stopped however the script ends.
busy=()
stop_load() {
  ((${#busy[@]})) && kill "${busy[@]}" 2>/dev/null
  busy=()
}
trap stop_load EXIT
trap 'exit 130' INT TERM
for ((core = 0; core < $(nproc); core++)); do
  (while :; do :; done) &
  busy+=($!)
done
echo "Load: ${#busy[@]} busy loops, one per core."

logs=build/windows/soak
mkdir -p "$logs"
passed=0
failed=0
for ((run = 1; run <= runs; run++)); do
  log=$logs/run-$run.log
  started=$SECONDS
  if ctest --preset windows >"$log" 2>&1; then
    passed=$((passed + 1))
    echo "run $run of $runs: passed ($((SECONDS - started)) s)"
  else
    failed=$((failed + 1))
    # ctest lists the failed tests as "  15 - e2e.relay_session (Failed)".
    names=$(sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+) .*/\1/p' "$log" | paste -sd ' ' -)
    echo "run $run of $runs: FAILED ${names:-(see the log)} ($((SECONDS - started)) s); log: $log"
  fi
done
stop_load
echo "$passed passed, $failed failed"
((failed == 0))
