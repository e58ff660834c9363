#!/usr/bin/env bash
# Installs what building and testing need (Debian packages) and prepares the Wine prefix.
# With --demo, only what scripts/demo.sh needs: no test, fuzz, benchmark or format tools.
set -euo pipefail

demo_packages=(cmake make g++ python3 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64
               nlohmann-json3-dev)
test_packages=(googletest libgtest-dev libbenchmark-dev clang libclang-rt-dev valgrind
               clang-format)
packages=("${demo_packages[@]}")
[ "${1:-}" = --demo ] || packages+=("${test_packages[@]}")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]} (with what they need, this can take minutes)"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  # apt's own lines (fetching, unpacking, setting up each package) show how far it has come.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
if [ ! -f "${WINEPREFIX:-$HOME/.wine}/system.reg" ]; then
  echo "Preparing the Wine prefix (once)..."
  "$wine" wineboot --init >/dev/null 2>&1 || true
  # The prefix is ready only when wineboot's server has finished.
  "$(dirname "$wine")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
fi
