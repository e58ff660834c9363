#!/usr/bin/env bash
# Shows how far a build has come, from CMake's and make's output on stdin, so that a first build
# (minutes long) is never one silent line. On a terminal: one line, rewritten, with one bar from 0
# to 100% over the whole build and the target being built beside it; elsewhere make's own lines,
# with that same percentage. The caller keeps the whole output (in a log); a build with nothing to
# do shows nothing.
#
# make counts each goal from 0 to 100% anew, so a build of several goals runs one "cmake --build
# --target" per goal and names each on stdin first: "== K/N WHAT", the K-th of N steps, which
# builds WHAT ("ConsoleRelay for Windows"). "== WHAT" alone is a build of one step.
#
#   some_build 2>&1 | tee build.log | scripts/build_progress.sh build.log
set -uo pipefail
log=${1:-the log}

on_terminal=false
[ -t 1 ] && on_terminal=true
columns=$(tput cols 2>/dev/null || echo 80)
what="the build"
step=1
steps=1
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
}

# The whole build's percentage, from make's percentage of the current step.
overall() {
  echo $((((step - 1) * 100 + $1) / steps))
}

bar() {
  local done_width=$(($1 * 30 / 100))
  printf '%s%s' "$(printf '%*s' "$done_width" "" | tr ' ' '#')" \
    "$(printf '%*s' $((30 - done_width)) "" | tr ' ' '.')"
}

while IFS= read -r line; do
  case "$line" in
    "== "[0-9]*/[0-9]*" "*)
      numbers=${line#== }
      numbers=${numbers%% *}
      step=${numbers%/*}
      steps=${numbers#*/}
      what=${line#== * }
      ;;
    "== "*)
      what=${line#== }
      step=1
      steps=1
      ;;
    "-- Configuring done"* | "-- Generating done"* | "-- Build files have"*) ;;
    "-- "*)
      # CMake's first look at the compilers: tens of seconds on a first run.
      announce
      percent=$(overall 0)
      $on_terminal || echo "  [$(printf '%3d' "$percent")%] Configuring for $what: ${line#-- }"
      status "$(printf 'Building [%s] %3d%% configuring for %s: %s' "$(bar "$percent")" \
        "$percent" "$what" "${line#-- }")"
      ;;
    "["*"%] Building "* | "["*"%] Linking "*)
      percent=${line:1:3}
      percent=$(overall "${percent// /}")
      announce
      # The target: "CMakeFiles/<target>.dir/" in a compile line; the file in a link line.
      file=${line##* }
      target=${line#*CMakeFiles/}
      if [ "$target" != "$line" ]; then
        target=${target%%.dir/*}
        file=${file##*/}
        file=${file%.o*}
      else
        target=${file##*/}
        file=""
      fi
      if $on_terminal; then
        status "$(printf 'Building [%s] %3d%% %s%s' "$(bar "$percent")" "$percent" "$target" \
          "${file:+ ($file)}")"
      else
        echo "  [$(printf '%3d' "$percent")%]${line#*%]}"
      fi
      ;;
  esac
done
if $shown && $on_terminal; then
  printf '\r\033[K'
fi
exit 0
