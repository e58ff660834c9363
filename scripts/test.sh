#!/usr/bin/env bash
# Builds both configurations from nothing and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

cmake --preset native
cmake --build --preset native -j2
ctest --preset native -j2

# A short bounded run of every fuzz target (about a minute); longer runs: scripts/fuzz.sh 600.
scripts/fuzz.sh

cmake --preset windows
cmake --build --preset windows -j2
# The end-to-end tests share the console port and run one at a time (RESOURCE_LOCK).
rm -rf build/windows/reports
ctest --preset windows -j2
cat build/windows/reports/*.txt 2>/dev/null || true
