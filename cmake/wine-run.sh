#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh program.exe [arguments...]
# or only prepares the prefix and the server: wine-run.sh --prepare
# The Wine prefix is $WINEPREFIX when set, else wine-prefix/ beside the program's bin/ folder
# (inside the build folder). A persistent wine server is started first so that the many short
# program starts of a test run do not each pay for starting one.
set -eu

if [ $# -eq 0 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi

prepare_only=false
if [ "$1" = "--prepare" ]; then
  prepare_only=true
  if [ -z "${WINEPREFIX:-}" ]; then
    echo "$0 --prepare: set WINEPREFIX" >&2
    exit 2
  fi
fi

if [ -z "${WINEPREFIX:-}" ]; then
  program_dir=$(cd "$(dirname "$1")" && pwd)
  WINEPREFIX=$(dirname "$program_dir")/wine-prefix
fi
export WINEPREFIX
export WINEDEBUG=-all
# No desktop integration or Gecko/Mono prompts while the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

# How long the server stays after its last program ends: longer than any pause in a test run.
server_linger_seconds=600

mkdir -p "$WINEPREFIX"
# One caller at a time starts the server and, on first use, creates the prefix; the others wait.
# A fresh server also needs Wine's own background programs, started here with no terminal or pipe
# of the caller's: started by the program under test they would keep its output pipes (and so
# ctest) waiting for as long as the server lingers. (The prefix is marked ready by a file of our
# own: a persistent server writes the registry files only when it ends.)
{
  flock 9
  if wineserver -p"$server_linger_seconds" </dev/null >/dev/null 2>&1 9>&-; then
    fresh_server=true
  else
    fresh_server=false  # already running
  fi
  if [ ! -f "$WINEPREFIX/.brenik-ready" ]; then
    wineboot --init </dev/null >/dev/null 2>&1 9>&- && touch "$WINEPREFIX/.brenik-ready"
  elif $fresh_server; then
    wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
} 9>"$WINEPREFIX/.server.lock"

if $prepare_only; then
  exit 0
fi
exec wine "$@"
