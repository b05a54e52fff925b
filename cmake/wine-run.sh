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
# Fails harmlessly when the server already runs.
wineserver -p"$server_linger_seconds" >/dev/null 2>&1 || true

# Test runs start several programs at once; one of them creates the prefix, the others wait.
# (system.reg cannot tell: a persistent server writes the registry only when it ends.)
if [ ! -f "$WINEPREFIX/.brenik-ready" ]; then
  flock "$WINEPREFIX/.create.lock" sh -c \
    '[ -f "$WINEPREFIX/.brenik-ready" ] || { wineboot --init && touch "$WINEPREFIX/.brenik-ready"; }' \
    >/dev/null 2>&1
fi

if $prepare_only; then
  exit 0
fi
exec wine "$@"
