#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh [--retry-unstarted] program.exe [arguments...]
# or only prepares the prefix and the server: wine-run.sh --prepare
# The Wine prefix is $WINEPREFIX when set, else wine-prefix/ beside the program's bin/ folder
# (inside the build folder). A persistent wine server is started first so that the many short
# program starts of a test run do not each pay for starting one.
# The program runs as a child of this script, which passes it the signals it gets and ends with
# its status. Every exit other than the program's own says why in one line on standard error, and
# what the launcher decided (prefix made, server started or stopped, wineboot, each run with its
# status and duration, what Wine itself said on its standard error in a run that failed) goes to
# a short log beside the prefix, $WINEPREFIX.log. --retry-unstarted is for programs that create
# the file named by BRENIK_START_MARKER when their main begins: a run that failed without it never
# reached the program, and is started once more. BRENIK_WINE_DIR names the folder of Wine's
# loaders and server (default /usr/lib/wine, then PATH).
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

retry_unstarted=false
if [ "${1:-}" = "--retry-unstarted" ]; then
  retry_unstarted=true
  shift
fi
if [ $# -eq 0 ]; then
  explained=true
  echo "usage: $0 [--retry-unstarted] program.exe [arguments...]" >&2
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

# Wine writes its own messages on the program's standard error. When that is a file or a pipe
# they are split off: Wine's errors (WINEDEBUG err, and the loader's "wine: ..." lines) go to a
# file of the run, kept in the log when the run fails; everything else passes on as it came.
# A terminal gets the program alone, as before; a closed standard error stays closed.
wine_line='^(([0-9a-f]{4,8}:)?(err|fixme|warn|trace):|wine(server|-preloader)?: |wine client error)'
split_wine_messages=false
if [ -e /proc/self/fd/2 ] && ! [ -t 2 ]; then split_wine_messages=true; fi
# A closed standard input stays closed; an open one is handed on (a program started in the
# background would get /dev/null).
stdin_open=false
if [ -e /proc/self/fd/0 ]; then
  stdin_open=true
  exec 7<&0
fi

# The signals a console program's tests and users send; the program gets each as this script
# does, except one that a terminal sent to the whole process group: the program has it already.
child=""
caught=false
pending=""     # a signal that came before the program was started, passed on once it is
signalled=false  # a run that was sent a signal is never taken for a failed start
from_terminal() {
  read -r stat 2>/dev/null </proc/$$/stat || return 1
  set -- ${stat##*) }
  [ "$3" = "$6" ]  # the process group, the terminal's foreground group
}
forward() {
  caught=true
  signalled=true
  if [ -z "$child" ]; then pending=$1; return 0; fi
  case $1 in INT|QUIT) ! from_terminal || return 0 ;; esac
  kill -s "$1" "$child" 2>/dev/null || true
}
for signal in INT TERM HUP QUIT USR1 USR2 ALRM; do
  trap "forward $signal" "$signal"
done

now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds() { printf '%d.%03d s' $(($1 / 1000)) $(($1 % 1000)); }

# One run of the program. Sets run_status, run_ms and started (false: it never reached main).
run_dir=""
run_once() {
  run_dir=$(mktemp -d "${TMPDIR:-/tmp}/brenik-wine-run.XXXXXX") ||
    fail "cannot make a folder for the run in ${TMPDIR:-/tmp}"
  : >"$run_dir/wine-said"
  filter=""
  if $split_wine_messages; then
    mkfifo "$run_dir/stderr" || fail "cannot make a pipe in $run_dir"
    sed -E -u -n -e "/$wine_line/w $run_dir/wine-said" -e "/$wine_line/!p" \
      <"$run_dir/stderr" >&2 7<&- &
    filter=$!
  fi
  started_at=$(now_ms)
  # Started in the background so that this script can pass signals on; env gives the program
  # back SIGINT and SIGQUIT, which a shell ignores in a background command.
  (
    if $retry_unstarted; then export BRENIK_START_MARKER="Z:$run_dir/started"; fi
    if $split_wine_messages; then
      export WINEDEBUG=-all,err+all
      exec 2>"$run_dir/stderr"
    fi
    if $stdin_open; then exec 0<&7 7<&-; else exec 0<&-; fi
    exec env --default-signal=INT,QUIT "$loader" "$@"
  ) &
  child=$!
  if [ -n "$pending" ]; then kill -s "$pending" "$child" 2>/dev/null || true; pending=""; fi
  run_status=""
  while :; do
    caught=false
    status=0
    wait "$child" || status=$?
    # 127: the child was reaped while a signal broke the previous wait, whose status stands.
    if [ "$status" -eq 127 ] && [ -n "$run_status" ]; then break; fi
    run_status=$status
    # A signal's trap ends the wait early; the program may still run.
    $caught && [ "$status" -gt 128 ] || break
  done
  child=""
  run_ms=$(($(now_ms) - started_at))
  if [ -n "$filter" ]; then
    # Wine's background programs could hold the pipe: wait for the end of the output a while.
    tries=0
    while [ "$tries" -lt 100 ]; do
      read -r filter_stat 2>/dev/null </proc/"$filter"/stat || break
      case ${filter_stat##*) } in Z*) break ;; esac
      sleep 0.02
      tries=$((tries + 1))
    done
    if [ "$tries" -ge 100 ]; then
      kill "$filter" 2>/dev/null || true
      note "the program's standard error was still open 2 s after it ended (held by a Wine background program?)"
    fi
    wait "$filter" || true
  fi
  started=true
  if $retry_unstarted && [ ! -e "$run_dir/started" ]; then started=false; fi
}

# What Wine said in a failed run, a line of the log each (the first 40).
note_wine_said() {
  [ -s "$run_dir/wine-said" ] || return 0
  head -n 40 "$run_dir/wine-said" | tr -d '\r' | while IFS= read -r line; do
    note "  wine said: $line"
  done
}

# The program and its first arguments (a unit test's filter names the test).
arguments=$(shift; [ $# -eq 0 ] || printf ' %s' "$@" | cut -c1-160)
note "running $(basename "$1")$arguments under $(basename "$loader")"
step="running $loader"
run_once "$@"
if [ "$run_status" -ne 0 ] && ! $started && ! $signalled; then
  note "ended: status $run_status after $(seconds "$run_ms"), before the program's main began: a failed start; retrying once"
  note_wine_said
  rm -rf "$run_dir"
  note "running $(basename "$1")$arguments under $(basename "$loader") again"
  run_once "$@"
fi
if [ "$run_status" -eq 0 ]; then
  note "ended: status 0 after $(seconds "$run_ms")"
else
  ended="ended: status $run_status after $(seconds "$run_ms")"
  $started || ended="$ended, before the program's main began"
  note "$ended"
  note_wine_said
fi
rm -rf "$run_dir"
explained=true
# A program ended by a signal ends this script by the same signal, as if Wine had been run in
# its place.
if [ "$run_status" -gt 128 ] && [ "$run_status" -lt 160 ]; then
  signal=$((run_status - 128))
  case $signal in 17|18|19|20|21|22|23|28) ;; *)
    trap - "$signal"
    kill -"$signal" $$ ;;
  esac
fi
exit "$run_status"
