#!/usr/bin/env bash
# The Wine launcher and the test command's closing lines, against a stand-in Wine (through
# BRENIK_WINE_DIR) whose "programs" are shell scripts: a start that never reaches the program is
# retried once and shows in the log and the closing lines, a program that ran and failed is not,
# Wine's own lines go to the log and not to the caller, Ctrl+C reaches the program; and a failing
# suite's closing line counts what passed before it.
#   wine_run_test.sh SOURCE_DIR
set -u
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf 'FAILED: %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

mkdir -p "$work/wine" "$work/build/windows/bin"
cat >"$work/wine/wineserver" <<'EOF'
#!/bin/sh
case $1 in -p*) [ -e "$WINEPREFIX/.up" ] && exit 2; : >"$WINEPREFIX/.up" ;; esac
EOF
# wineboot makes the system folders; anything else runs as a script, as Wine runs a program.
cat >"$work/wine/wine64" <<'EOF'
#!/bin/sh
case $1 in
  wineboot) for dir in system32 syswow64; do
              mkdir -p "$WINEPREFIX/drive_c/windows/$dir" && : >"$WINEPREFIX/drive_c/windows/$dir/kernel32.dll"
            done; exit 0 ;;
  cmd.exe) exit 0 ;;
esac
exec sh "$@"
EOF
cp "$work/wine/wine64" "$work/wine/wine"
chmod +x "$work/wine/"*
bin=$work/build/windows/bin
# Fails its first start as the loader would, saying so on standard error; then starts.
cat >"$bin/flaky.exe" <<'EOF'
if [ ! -e "$0.tried" ]; then
  : >"$0.tried"
  echo "0024:err:module:import_dll Library KERNEL32.dll not found" >&2
  exit 53
fi
: >"${BRENIK_START_MARKER#Z:}"
echo "[  PASSED  ] 1 test."
echo "a line of its own on standard error" >&2
EOF
cat >"$bin/broken.exe" <<'EOF'
: >"${BRENIK_START_MARKER#Z:}"
echo "[  FAILED  ] StrokeGeometry.ZeroTiltIsExactlyZero"
exit 1
EOF
cat >"$bin/silent.exe" <<'EOF'
exit 1
EOF
cat >"$bin/waits.exe" <<'EOF'
trap 'echo "Ctrl+C"; exit 7' INT
: >"$0.ready"
i=0
while [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
exit 9
EOF

cd "$work"
export BRENIK_WINE_DIR=$work/wine
unset WINEPREFIX
run=$source_dir/cmake/wine-run.sh
log=build/windows/wine-prefix.log
since=$(date '+%F %T.%3N')

"$run" --retry-unstarted "$bin/flaky.exe" >out 2>err
check "a failed start retried: status" 0 $?
check "a failed start retried: what the program wrote" "[  PASSED  ] 1 test." "$(cat out)"
check "a failed start retried: the program's standard error, without Wine's line" \
      "a line of its own on standard error" "$(cat err)"
check "a failed start retried: its runs in the log" 2 "$(grep -c 'running flaky.exe' "$log")"
check "a failed start retried: the retry in the log" \
      "ended: status 53 after" "$(grep -o 'ended: status 53 after' "$log")"
check "a failed start retried: the reason in the log" 1 \
      "$(grep -c 'before the program.s main began: a failed start; retrying once$' "$log")"
check "a failed start retried: what Wine said, in the log" 1 \
      "$(grep -c 'wine said: 0024:err:module:import_dll Library KERNEL32.dll not found$' "$log")"

"$run" --retry-unstarted "$bin/broken.exe" >out 2>err
check "a program that ran and failed: status" 1 $?
check "a program that ran and failed: not retried" 1 "$(grep -c 'running broken.exe' "$log")"
check "a program that ran and failed: what it wrote" \
      "[  FAILED  ] StrokeGeometry.ZeroTiltIsExactlyZero" "$(cat out)"

"$run" "$bin/silent.exe" >out 2>err
check "a program that cannot say it started: status" 1 $?
check "a program that cannot say it started: not retried" 1 "$(grep -c 'running silent.exe' "$log")"

env --default-signal=INT "$run" "$bin/waits.exe" >out 2>err &
launcher=$!
for _ in $(seq 100); do [ -e "$bin/waits.exe.ready" ] && break; sleep 0.05; done
kill -INT "$launcher"
wait "$launcher"
check "Ctrl+C to the launcher: the program's status" 7 $?
check "Ctrl+C to the launcher: the program had it" "Ctrl+C" "$(cat out)"

# The closing lines, from test.sh's own functions.
source "$source_dir/scripts/test.sh"
set -o pipefail  # as the test command runs
check "the Wine line of the test command" \
      "Wine starts: 5 in the 64-bit Windows suite; 1 Wine start retried (it never reached the program; build/<preset>/wine-prefix.log says what Wine said)" \
      "$(wine_starts_line "$since")"
cmake() {  # a stand-in workflow: its ctest lines and status
  case $3 in
    default) printf '%s\n' "100% tests passed, 0 tests failed out of 294" "" \
                            "The following tests did not run:" "	 17 - Locale.Missing (Skipped)" ;;
    windows) printf '%s\n' "99% tests passed, 1 tests failed out of 231" "" \
                            "The following tests FAILED:" "	 13 - StrokeGeometry.ZeroTilt (Failed)"
             return 8 ;;
  esac
}
closing=$({ suite default native && suite windows "64-bit Windows"; } | tail -n 1)
check "a failing suite's closing line" \
      "all: 293 passed, 1 failed (64-bit Windows suite, where 230 others passed); later suites not run; 1 skipped before it" \
      "$closing"

[ "$failures" -eq 0 ] && echo "all checks passed" || exit 1
