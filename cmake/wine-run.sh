#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh program.exe [arguments...]
# or only prepares the prefix and the server: wine-run.sh --prepare
# The Wine prefix is $WINEPREFIX when set, else wine-prefix/ beside the program's bin/ folder
# (inside the build folder). A persistent wine server is started first so that the many short
# program starts of a test run do not each pay for starting one.
# Every exit other than the program's own says why in one line on standard error, and what the
# launcher decided (prefix made, server started or stopped, wineboot) goes to a short log beside
# the prefix, $WINEPREFIX.log. BRENIK_WINE_DIR names the folder of Wine's loaders and server
# (default /usr/lib/wine, then PATH).
set -eu

# What the launcher is doing, named by an exit that nothing else explained (set -e ends the
# script silently on any failed command).
step="starting"
explained=false
log=""
note() {
  [ -n "$log" ] || return 0
  printf '%s [%s] %s\n' "$(date '+%F %T.%3N')" "$$" "$*" >>"$log" 2>/dev/null || true
}
fail() {
  explained=true
  echo "$0: $*" >&2
  note "gave up: $*"
  exit 1
}
said_why() {
  status=$?
  if [ "$status" -ne 0 ] && ! $explained; then
    echo "$0: stopped with status $status while $step" >&2
    note "stopped with status $status while $step"
  fi
}
trap said_why EXIT

if [ $# -eq 0 ]; then
  explained=true
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi

prepare_only=false
if [ "$1" = "--prepare" ]; then
  prepare_only=true
  if [ -z "${WINEPREFIX:-}" ]; then
    explained=true
    echo "$0 --prepare: set WINEPREFIX" >&2
    exit 2
  fi
fi

if [ -z "${WINEPREFIX:-}" ]; then
  step="finding the folder of $1"
  program_dir=$(cd "$(dirname "$1")" && pwd) || fail "no folder $(dirname "$1") for $1"
  WINEPREFIX=$(dirname "$program_dir")/wine-prefix
fi
WINEPREFIX=${WINEPREFIX%/}
export WINEPREFIX
export WINEDEBUG=-all
# No desktop integration or Gecko/Mono prompts while the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

# Debian keeps the loaders and the server in /usr/lib/wine, not all of them on PATH.
wine_dir=${BRENIK_WINE_DIR:-/usr/lib/wine}
wine_tool() {
  if [ -x "$wine_dir/$1" ]; then echo "$wine_dir/$1"; else command -v "$1" || true; fi
}
step="looking for Wine"
wine64=$(wine_tool wine64)
wine32=$(wine_tool wine)
wineserver=$(wine_tool wineserver)
if [ -z "$wineserver" ] || { [ -z "$wine64" ] && [ -z "$wine32" ]; }; then
  fail "Wine is not installed (no wineserver, wine64 or wine in $wine_dir or on PATH); run scripts/setup.sh"
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
    fail "$1 is a 32-bit program and 32-bit Wine (wine32:i386) is missing; run scripts/setup.sh"
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

# The log of what the launcher decided, kept to its last lines.
log_lines=400
trim_log() {
  if [ "$(wc -l 2>/dev/null <"$log" || echo 0)" -gt $((log_lines * 2)) ]; then
    tail -n "$log_lines" "$log" >"$log.new" && mv "$log.new" "$log" || true
  fi
}

step="making the prefix folder $WINEPREFIX"
mkdir -p "$WINEPREFIX" 2>/dev/null && [ -w "$WINEPREFIX" ] ||
  fail "cannot make or write the Wine prefix folder $WINEPREFIX"
log="$WINEPREFIX.log"
step="taking the lock $WINEPREFIX.lock"
{ true >>"$WINEPREFIX.lock"; } 2>/dev/null || fail "cannot write the lock file $WINEPREFIX.lock"
exec 9>"$WINEPREFIX.lock"
# One caller at a time starts the server and, on first use, creates the prefix; the others wait.
# A fresh server also needs Wine's own background programs, started here with no terminal or pipe
# of the caller's: started by the program under test they would keep its output pipes (and so
# ctest) waiting for as long as the server lingers. (The prefix is marked ready by a file of our
# own: a persistent server writes the registry files only when it ends.)
flock 9 || fail "cannot lock $WINEPREFIX.lock"
trim_log
step="looking for this prefix's server in another network namespace"
if server_elsewhere; then
  note "server running in another network namespace: stopping it"
  stop_server
fi
step="checking the prefix"
if ! prefix_is_sound; then
  if [ -n "$(ls -A "$WINEPREFIX")" ] && [ ! -f "$marker" ]; then
    fail "$WINEPREFIX is not a prefix this script made; remove it or set another WINEPREFIX"
  fi
  # Made for other Wine architectures, or left half made: made again from nothing.
  note "prefix missing, half made or for other architectures (marker: $(cat "$marker" 2>/dev/null || echo none)): making it afresh"
  step="emptying the prefix $WINEPREFIX"
  stop_server
  find "$WINEPREFIX" -mindepth 1 -maxdepth 1 -exec rm -rf {} + ||
    fail "cannot empty the prefix $WINEPREFIX"
  echo "making" >"$marker" || fail "cannot write $marker"
fi
step="starting the wine server"
# wineserver -p: status 0 once a new server listens, 2 when one already runs for this prefix.
server_status=0
"$wineserver" -p"$server_linger_seconds" </dev/null >/dev/null 2>&1 9>&- || server_status=$?
case $server_status in
  0) fresh_server=true; note "server started ($wineserver, stays ${server_linger_seconds}s)" ;;
  2) fresh_server=false ;;  # already running
  *) fail "the wine server $wineserver does not start (status $server_status) for $WINEPREFIX" ;;
esac
if [ "$(cat "$marker")" = making ]; then
  step="making the prefix with wineboot --init"
  boot_status=0
  "${wine64:-$wine32}" wineboot --init </dev/null >/dev/null 2>&1 9>&- || boot_status=$?
  note "wineboot --init: status $boot_status"
  # A prefix is sound when a program of every installed bitness starts in it.
  for check_loader in $wine64 $wine32; do
    step="starting cmd.exe under $check_loader in the new prefix"
    check_status=0
    "$check_loader" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || check_status=$?
    note "cmd.exe under $check_loader: status $check_status"
    [ "$check_status" -eq 0 ] ||
      fail "programs do not start in the new prefix $WINEPREFIX under $check_loader (status $check_status)"
  done
  echo "$architectures" >"$marker" || fail "cannot write $marker"
  prefix_is_sound || fail "the new prefix $WINEPREFIX lacks Windows' system files"
  note "prefix made ($architectures)"
elif $fresh_server; then
  step="starting Wine's background programs with wineboot"
  boot_status=0
  "${wine64:-$wine32}" wineboot </dev/null >/dev/null 2>&1 9>&- || boot_status=$?
  note "wineboot: status $boot_status"
  [ "$boot_status" -eq 0 ] || echo "$0: wineboot failed in $WINEPREFIX (status $boot_status); going on" >&2
fi
exec 9>&-

if $prepare_only; then
  note "prepared"
  exit 0
fi
# The program and its first arguments (a unit test's filter names the test).
arguments=$(shift; [ $# -eq 0 ] || printf ' %s' "$@" | cut -c1-160)
note "running $(basename "$1")$arguments under $(basename "$loader")"
step="starting $loader"
exec "$loader" "$@"
