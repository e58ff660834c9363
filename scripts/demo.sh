#!/usr/bin/env bash
# The demo: the real plugin in the simulated game under Wine, with a console program attached.
# Installs what is missing, builds, plays a short scripted session and then leaves you at the
# game's chat. Ctrl-C ends it and everything it started. scripts/demo.sh --help lists the
# options (scripts/demo/options.py defines them).
set -euo pipefail
# Paths given as options, and paths in the demo's hints, are relative to where you stand.
export CONSOLE_RELAY_DEMO_CALLER_DIR="$PWD"
cd "$(dirname "$0")/.."

command -v python3 >/dev/null || scripts/setup.sh --demo
# --help, or a bad option, is answered before anything is installed or built.
for option in "$@"; do
  case "$option" in
    -h | --help) exec python3 scripts/demo --help ;;
  esac
done
python3 scripts/demo --check-options "$@"

scripts/setup.sh --demo

# Builds what the demo runs (scripts/demo/building.py), then runs it.
exec python3 scripts/demo --build "$@"
