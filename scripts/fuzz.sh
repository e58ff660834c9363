#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each one, starting from its committed
# corpus, then prints what each run did. Exits non-zero when any target found a crash.
#
#   scripts/fuzz.sh            300000 executions per target (235 s for all four, busy 2 cores)
#   scripts/fuzz.sh 600        600 seconds per target
#   scripts/fuzz.sh runs=N     N executions per target
#
# New inputs that reach new code go to build/fuzz/scratch/<target>/corpus (kept between runs, so
# each run goes on from the last; delete the folder to start over), never to fuzz/corpus/.
# Findings go to build/fuzz/scratch/<target>/findings/; a finding that was fixed belongs in
# fuzz/corpus/<target>/regression-<name>, where every test run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

limit=(-runs=300000)
case "${1:-}" in
  "") ;;
  runs=*[!0-9]* | runs=) usage ;;
  runs=*) limit=(-runs="${1#runs=}") ;;
  *[!0-9]*) usage ;;
  *) limit=(-max_total_time="$1") ;;
esac
(($# <= 1)) || usage

targets=(fuzz_console_receive fuzz_command_line fuzz_help_file fuzz_help_selection)
# Somewhat longer than the longest input each target can meet: a full receive is 1024 bytes, a
# chat command line at most 4099.
declare -A max_len=([fuzz_console_receive]=1100 [fuzz_command_line]=4200 [fuzz_help_file]=4096
  [fuzz_help_selection]=4096)

# Installs clang with its libFuzzer runtime among the rest of the build's packages.
scripts/setup.sh

build=build/fuzz
mkdir -p "$build"
if ! cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCONSOLE_RELAY_FUZZ=ON -DCONSOLE_RELAY_SANITIZE=OFF >"$build/configure.log" 2>&1; then
  cat "$build/configure.log"
  exit 1
fi
# One "cmake --build" per target: one progress bar over them all.
build_targets() {
  local number=0
  for target in "${targets[@]}"; do
    number=$((number + 1))
    echo "== $number/${#targets[@]} $target"
    cmake --build "$build" -j2 --target "$target" || return 1
  done
}
if ! build_targets 2>&1 | tee "$build/build.log" | scripts/build_progress.sh "$build/build.log"; then
  cat "$build/build.log"
  exit 1
fi

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

# The last "cov:" status line of a libFuzzer log: "#N DONE cov: C ft: F corp: U/Bb ...".
status_field() {
  grep -E '^#[0-9]+.* cov: ' "$1" | tail -n 1 | sed -nE "s/.* $2: ([^ ]+).*/\\1/p"
}
final_stat() {
  sed -nE "s/^stat::$2: *([0-9]+).*/\\1/p" "$1" | tail -n 1
}
count_files() {
  find "$1" -maxdepth 1 -type f | wc -l
}

rows=()
failed=()
for target in "${targets[@]}"; do
  scratch=$root/$build/scratch/$target
  mkdir -p "$scratch/corpus" "$scratch/findings"
  log=$scratch/last-run.log
  findings_before=$(count_files "$scratch/findings")
  corpus_before=$(count_files "$scratch/corpus")
  echo "Fuzzing $target (${limit[*]}, -max_len=${max_len[$target]}); log: ${log#$root/}"

  status=0
  # Run inside the scratch folder, so nothing a fuzzer writes lands anywhere else.
  (cd "$scratch" && "$root/$build/fuzz/$target" corpus "$root/fuzz/corpus/$target" \
    -dict="$root/fuzz/$target.dict" -max_len="${max_len[$target]}" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$scratch/findings/" "${limit[@]}") >"$log" 2>&1 &
  fuzzer=$!
  # A run is never silent for long: every 20 s, how far the fuzzer has come.
  started=$SECONDS
  next_note=$((started + 20))
  while kill -0 "$fuzzer" 2>/dev/null; do
    sleep 1
    if ((SECONDS >= next_note)); then
      echo "  still fuzzing $target after $((SECONDS - started)) s:" \
        "$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#') executions"
      next_note=$((next_note + 20))
    fi
  done
  wait "$fuzzer" || status=$?

  executions=$(final_stat "$log" number_of_executed_units)
  per_second=$(final_stat "$log" average_exec_per_sec)
  crashes=$(($(count_files "$scratch/findings") - findings_before))
  if ((status != 0 && crashes == 0)); then crashes=1; fi
  new_inputs=$(($(count_files "$scratch/corpus") - corpus_before))
  rows+=("$(printf '%-22s %11s %8s %6s %7s %11s %6s %8s' "$target" "${executions:-?}" \
    "${per_second:-?}" "$(status_field "$log" cov)" "$(status_field "$log" ft)" \
    "$(status_field "$log" corp)" "$new_inputs" "$crashes")")
  if ((crashes > 0)); then
    failed+=("$target")
    echo "  $target FOUND A CRASH (exit status $status); findings in ${scratch#$root/}/findings/:"
    grep -E 'ERROR|check failed|SUMMARY|#[0-9]+ 0x|Test unit written' "$log" | head -n 40 |
      sed 's/^/    /'
  fi
done

echo
printf '%-22s %11s %8s %6s %7s %11s %6s %8s\n' target executions exec/s cov ft corpus new crashes
printf '%s\n' "${rows[@]}"
echo "(cov, ft: code edges and features reached; corpus: inputs/bytes kept at the end of the run;"
echo " new: inputs added to build/fuzz/scratch/<target>/corpus by this run)"

if ((${#failed[@]})); then
  echo "Crashes found by: ${failed[*]}"
  exit 1
fi
echo "No crashes."
