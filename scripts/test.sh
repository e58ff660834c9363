#!/usr/bin/env bash
# Builds both configurations from nothing and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

cmake --preset native -DCONSOLE_RELAY_TESTS=ON  # the demo may have left them out
cmake --build --preset native -j2
ctest --preset native -j2

# A short bounded run of every fuzz target (a minute or two); longer runs: scripts/fuzz.sh 600.
scripts/fuzz.sh

cmake --preset windows
cmake --build --preset windows -j2
# The end-to-end sessions run side by side, each on a loopback of its own, where network
# namespaces may be made; elsewhere they share the console port and take turns.
rm -rf build/windows/reports
ctest --preset windows
cat build/windows/reports/*.txt 2>/dev/null || true
