#!/usr/bin/env bash
# Fails when any C++ source differs from what clang-format makes of it (the repository's
# .clang-format); lists the differences. Run by CI; `clang-format -i FILE` fixes a file.
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) \
    -print)
fi
((${#files[@]})) || { echo "No C++ sources found." >&2; exit 1; }
clang-format --dry-run --Werror "${files[@]}"
echo "Format: ${#files[@]} C++ sources, all as clang-format makes them."
