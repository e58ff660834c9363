#!/usr/bin/env bash
# The demo: the real plugin in the simulated game under Wine, with console-server attached.
# Installs what is missing, builds, plays a short scripted session and then leaves you at the
# game's chat. Ctrl-C ends it and everything it started.
#   --no-interactive  stop after the scripted session (exit status 0 if it went as expected)
#   --own-console     start no console-server and play no script: the plugin connects to your
#                     console program, which must be listening on 127.0.0.1:50382 already
set -euo pipefail
cd "$(dirname "$0")/.."

for option in "$@"; do
  case "$option" in
    --no-interactive | --own-console) ;;
    *) echo "Usage: scripts/demo.sh [--no-interactive] [--own-console]" >&2; exit 2 ;;
  esac
done

scripts/setup.sh

# Only what the demo runs: the plugin, the loader and the game for Windows, console-server for
# Linux. Configure output goes to a log; errors still show.
echo "Building (the first time takes a few minutes)..."
mkdir -p build
cmake --preset windows >build/demo-configure-windows.log
cmake --build --preset windows -j2 --target ConsoleRelay Zandrel
cmake --preset native >build/demo-configure-native.log
cmake --build --preset native -j2 --target console-server

exec python3 scripts/demo.py "$@"
