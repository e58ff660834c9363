#!/usr/bin/env bash
# Shows how far a build has come, from CMake's and make's output on stdin, so that a first build
# (minutes long) is never one silent line. On a terminal: one line, rewritten, with a bar, make's
# percentage and the file it is on; elsewhere make's own progress lines. The caller keeps the
# whole output (in a log); a build with nothing to do shows nothing.
#
# A line "== WHAT" on stdin names what the lines after it build ("the Windows build").
#
#   some_build 2>&1 | tee build.log | scripts/build_progress.sh build.log
set -uo pipefail
log=${1:-the log}

on_terminal=false
[ -t 1 ] && on_terminal=true
columns=$(tput cols 2>/dev/null || echo 80)
what="the build"
announced=""  # the last heading printed off a terminal
shown=false

status() {
  if $on_terminal; then
    printf '\r\033[K%s' "${1:0:$((columns - 1))}"
  fi
}

announce() {
  if ! $shown; then
    echo "Building (the first time takes a few minutes; the whole output goes to $log)"
    shown=true
  fi
  if ! $on_terminal && [ "$announced" != "$1" ]; then
    echo "$1"
    announced=$1
  fi
}

while IFS= read -r line; do
  case "$line" in
    "== "*)
      what=${line#== }
      ;;
    "-- Configuring done"* | "-- Generating done"* | "-- Build files have"*) ;;
    "-- "*)
      # CMake's first look at the compilers: tens of seconds on a first run.
      announce "Configuring $what..."
      status "Configuring $what: ${line#-- }"
      ;;
    "["*"%] Building "* | "["*"%] Linking "*)
      percent=${line:1:3}
      percent=${percent// /}
      announce "Building $what:"
      if $on_terminal; then
        done_width=$((percent * 30 / 100))
        bar=$(printf '%*s' "$done_width" "" | tr ' ' '#')$(printf '%*s' $((30 - done_width)) "" | tr ' ' '.')
        # The file, without its folders and make's words around it.
        file=${line##* }
        file=${file##*/}
        status "$(printf 'Building %s [%s] %3d%% %s' "$what" "$bar" "$percent" "${file%.o*}")"
      else
        echo "  $line"
      fi
      ;;
  esac
done
if $shown && $on_terminal; then
  printf '\r\033[K'
fi
exit 0
