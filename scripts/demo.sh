#!/usr/bin/env bash
# The demo: the real plugin in the simulated game under Wine, with a console program attached.
# Installs what is missing, builds, plays a short scripted session and then leaves you at the
# game's chat. Ctrl-C ends it and everything it started. scripts/demo.sh --help lists the
# options (scripts/demo.py defines them).
set -euo pipefail
cd "$(dirname "$0")/.."

command -v python3 >/dev/null || scripts/setup.sh
# --help, or a bad option, is answered before anything is installed or built.
for option in "$@"; do
  case "$option" in
    -h | --help) exec python3 scripts/demo.py --help ;;
  esac
done
python3 scripts/demo.py --check-options "$@"

scripts/setup.sh

# What the demo runs, and what the README has you run next: the plugin, the loader, the game
# and both tools for Windows; both tools for Linux. Configure output goes to a log; errors show.
echo "Building (the first time takes a few minutes)..."
mkdir -p build
cmake --preset windows >build/demo-configure-windows.log
cmake --build --preset windows -j2 --target ConsoleRelay Zandrel console-server console-help-check
cmake --preset native >build/demo-configure-native.log
cmake --build --preset native -j2 --target console-server console-help-check

exec python3 scripts/demo.py "$@"
