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
WINEPREFIX=${WINEPREFIX%/}
export WINEPREFIX
export WINEDEBUG=-all
# No desktop integration or Gecko/Mono prompts while the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

# Debian keeps the loaders and the server in /usr/lib/wine, not all of them on PATH.
wine_tool() {
  if [ -x "/usr/lib/wine/$1" ]; then echo "/usr/lib/wine/$1"; else command -v "$1" || true; fi
}
wine64=$(wine_tool wine64)
wine32=$(wine_tool wine)
wineserver=$(wine_tool wineserver)
if [ -z "$wineserver" ] || { [ -z "$wine64" ] && [ -z "$wine32" ]; }; then
  echo "$0: Wine is not installed; run scripts/setup.sh" >&2
  exit 1
fi

# The machine field of a PE file's header: 8664 (x86-64), aa64 (ARM64), 014c (x86); empty if
# the file is not one.
pe_machine() {
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$offset" ] && od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' ' || true
}

# A 64-bit program through wine64: with 32-bit Wine installed, plain wine starts it as a process
# of its own, which a signal sent to the started pid (the test's Ctrl+C) never reaches.
loader=${wine64:-$wine32}
if ! $prepare_only && [ "$(pe_machine "$1")" = 014c ]; then
  if [ -z "$wine32" ]; then
    echo "$0: $1 is a 32-bit program and 32-bit Wine (wine32:i386) is missing; run scripts/setup.sh" >&2
    exit 1
  fi
  loader=$wine32
fi

# How long the server stays after its last program ends: longer than any pause in a test run.
server_linger_seconds=600
# The Wine architectures a prefix was made for: one made before 32-bit Wine came has no 32-bit
# system folder and fails to start anything (status 53).
architectures="wine64=${wine64:+yes} wine32=${wine32:+yes}"
marker="$WINEPREFIX/.brenik-ready"

prefix_is_sound() {
  [ "$(cat "$marker" 2>/dev/null)" = "$architectures" ] &&
    [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] &&
    { [ -z "$wine32" ] || [ -z "$wine64" ] || [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; }
}

# True when the server of this prefix runs in another network namespace: the sockets of Wine
# programs are made by the server, so they would open in its namespace, not the caller's.
server_elsewhere() {
  # The server works in a folder named after the prefix's device and inode.
  server_dir=$(stat -c '%d %i' "$WINEPREFIX" |
               { read -r dev ino; printf 'server-%x-%x' "$dev" "$ino"; })
  own_namespace=$(readlink /proc/self/ns/net)
  for pid in $(ls -l /proc/[0-9]*/cwd 2>/dev/null |
               sed -n "s|.* /proc/\([0-9]*\)/cwd -> /.*/$server_dir\$|\1|p"); do
    # A process that ended meanwhile says nothing of where the server is.
    namespace=$(readlink "/proc/$pid/ns/net" 2>/dev/null) || continue
    [ "$namespace" != "$own_namespace" ] && return 0
  done
  return 1
}

stop_server() {
  "$wineserver" -k </dev/null >/dev/null 2>&1 9>&- || true
  "$wineserver" -w </dev/null >/dev/null 2>&1 9>&- || true
}

mkdir -p "$WINEPREFIX"
# One caller at a time starts the server and, on first use, creates the prefix; the others wait.
# A fresh server also needs Wine's own background programs, started here with no terminal or pipe
# of the caller's: started by the program under test they would keep its output pipes (and so
# ctest) waiting for as long as the server lingers. (The prefix is marked ready by a file of our
# own: a persistent server writes the registry files only when it ends.)
{
  flock 9
  if server_elsewhere; then
    stop_server
  fi
  if ! prefix_is_sound; then
    if [ -n "$(ls -A "$WINEPREFIX")" ] && [ ! -f "$marker" ]; then
      echo "$0: $WINEPREFIX is not a prefix this script made; remove it or set another WINEPREFIX" >&2
      exit 1
    fi
    # Made for other Wine architectures, or left half made: made again from nothing.
    stop_server
    find "$WINEPREFIX" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
    echo "making" > "$marker"
  fi
  if "$wineserver" -p"$server_linger_seconds" </dev/null >/dev/null 2>&1 9>&-; then
    fresh_server=true
  else
    fresh_server=false  # already running
  fi
  if [ "$(cat "$marker")" = making ]; then
    "${wine64:-$wine32}" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
    # A prefix is sound when a program of every installed bitness starts in it.
    for check_loader in $wine64 $wine32; do
      if ! "$check_loader" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-; then
        echo "$0: programs do not start in the new prefix $WINEPREFIX under $check_loader" >&2
        exit 1
      fi
    done
    echo "$architectures" > "$marker"
    prefix_is_sound || { echo "$0: the new prefix $WINEPREFIX lacks Windows' system files" >&2; exit 1; }
  elif $fresh_server; then
    "${wine64:-$wine32}" wineboot </dev/null >/dev/null 2>&1 9>&- ||
      echo "$0: wineboot failed in $WINEPREFIX; going on" >&2
  fi
} 9>"$WINEPREFIX.lock"

if $prepare_only; then
  exit 0
fi
exec "$loader" "$@"
