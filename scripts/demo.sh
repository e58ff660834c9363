#!/usr/bin/env bash
# The demo: the real plugin in the simulated game under Wine, with a console program attached.
# Installs what is missing, builds, plays a short scripted session and then leaves you at the
# game's chat. Ctrl-C ends it and everything it started. scripts/demo.sh --help lists the
# options (scripts/demo.py defines them).
set -euo pipefail
# Paths given as options, and paths in the demo's hints, are relative to where you stand.
export CONSOLE_RELAY_DEMO_CALLER_DIR="$PWD"
cd "$(dirname "$0")/.."

command -v python3 >/dev/null || scripts/setup.sh --demo
# --help, or a bad option, is answered before anything is installed or built.
for option in "$@"; do
  case "$option" in
    -h | --help) exec python3 scripts/demo.py --help ;;
  esac
done
python3 scripts/demo.py --check-options "$@"

scripts/setup.sh --demo

# What the demo runs, and what its hints have you run: the plugin, the loader, the game and both
# tools for Windows; both tools for Linux. Without GoogleTest (scripts/test.sh installs it) the
# native build leaves out the unit tests.
native_options=()
dpkg-query -W -f='${Status}' libgtest-dev 2>/dev/null | grep -q "install ok installed" ||
  native_options+=(-DCONSOLE_RELAY_TESTS=OFF)
# With --plugin, the demo runs that DLL: the one of this tree is not built.
plugin=(ConsoleRelay)
for option in "$@"; do
  case "$option" in
    --plugin | --plugin=*) plugin=() ;;
  esac
done
# One "cmake --build" per target, so that the progress bar runs from 0 to 100% once over all of
# them (make counts each target it is given from 0 anew).
steps=()
for target in "${plugin[@]}" Zandrel console-server console-help-check; do
  steps+=("windows $target")
done
steps+=("native console-server" "native console-help-check")
build() {
  local number=0 preset target options
  for step in "${steps[@]}"; do
    number=$((number + 1))
    preset=${step% *}
    target=${step#* }
    echo "== $number/${#steps[@]} $target for $([ "$preset" = windows ] && echo Windows || echo Linux)"
    options=()
    [ "$preset" = native ] && options=("${native_options[@]}")
    [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" "${options[@]}" || return 1
    cmake --build --preset "$preset" -j2 --target "$target" || return 1
  done
}
# The build's output goes to a log, shown whole when it fails; scripts/build_progress.sh shows how
# far it has come, and nothing when there is nothing to compile.
mkdir -p build
log=build/demo-build.log
if ! build 2>&1 | tee "$log" | scripts/build_progress.sh "$log"; then
  cat "$log" >&2
  echo "The build failed; its output is above and in $log." >&2
  exit 1
fi

exec python3 scripts/demo.py "$@"
