#!/usr/bin/env bash
# Every test: installs what is missing, then the native suite, the 64-bit and 32-bit Windows
# builds under Wine, the native suite again under the sanitizers, and a bounded fuzzing run.
# Ends with one count line. `scripts/test.sh --fresh` first makes the tree as on a new machine:
# the wine servers of its prefixes stopped, the prefixes and every build folder removed.

# Counts of the suites that passed so far: tests passed (skipped ones not among them), skipped.
passed=0
skipped=0
# Lines of the launcher's logs from this run on are this run's Wine starts.
started_at=""

# Stops the wine server of each of this tree's prefixes, then removes the build folders (the
# prefixes are inside them). Servers of other trees and other users are left alone.
fresh() {
  local wineserver prefix
  wineserver=${BRENIK_WINE_DIR:-/usr/lib/wine}/wineserver
  [ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
  for prefix in build/*/wine-prefix; do
    [ -d "$prefix" ] || continue
    if [ -n "$wineserver" ]; then
      WINEPREFIX="$PWD/$prefix" "$wineserver" -k </dev/null >/dev/null 2>&1 || true
      WINEPREFIX="$PWD/$prefix" timeout 30 "$wineserver" -w </dev/null >/dev/null 2>&1 || true
    fi
    echo "test.sh --fresh: stopped the wine server of $prefix"
  done
  rm -rf build
  echo "test.sh --fresh: removed build/"
}

# The Wine starts of this run in each Windows suite's launcher log, and those retried because
# the program never started, for the line before the closing one.
wine_starts_line() {
  local since=$1 preset log starts retried total_retried=0 counts=()
  for preset in windows windows32; do
    log=build/$preset/wine-prefix.log
    [ -f "$log" ] || continue
    starts=$(awk -v since="$since" '$1 " " $2 >= since && / running / { n++ } END { print n + 0 }' "$log")
    retried=$(awk -v since="$since" '$1 " " $2 >= since && /a failed start; retrying once$/ { n++ }
                                     END { print n + 0 }' "$log")
    total_retried=$((total_retried + retried))
    counts+=("$starts in the $([ "$preset" = windows ] && echo 64 || echo 32)-bit Windows suite")
  done
  [ ${#counts[@]} -gt 0 ] || return 0
  local said="no Wine start retried"
  if [ "$total_retried" -eq 1 ]; then
    said="1 Wine start retried"
  elif [ "$total_retried" -gt 1 ]; then
    said="$total_retried Wine starts retried"
  fi
  [ "$total_retried" -eq 0 ] ||
    said="$said (it never reached the program; build/<preset>/wine-prefix.log says what Wine said)"
  local joined=${counts[0]}
  [ ${#counts[@]} -eq 1 ] || joined="$joined, ${counts[1]}"
  echo "Wine starts: $joined; $said"
}

# The closing line when a suite failed: what passed in the suites before it, what failed in it.
closing_line_failed() {
  local failed=$1 what=$2 also_passed=$3
  local line="all: $passed passed, $failed failed ($what"
  [ "$also_passed" -eq 0 ] || line="$line, where $also_passed others passed"
  line="$line)"
  [ "$what" = fuzzing ] || line="$line; later suites not run"
  [ "$skipped" -eq 0 ] || line="$line; $skipped skipped before it"
  echo "$line"
}

# Runs one workflow preset, its output shown (a failing test's output is printed by ctest: every
# test preset has outputOnFailure). On a failure it says which suite failed, which tests, and the
# command that runs one of them again, then stops the script.
suite() {
  local preset=$1 what=$2 part status total failed skipped_here
  part=$(mktemp)
  status=0
  cmake --workflow --preset "$preset" 2>&1 | tee "$part" || status=$?
  # ctest ends with "99% tests passed, 1 tests failed out of 231"; skipped tests are listed as
  # "	 13 - Name (Skipped)" and counted among the passed ones.
  total=$(sed -nE 's/^[0-9]+% tests passed, [0-9]+ tests failed out of ([0-9]+)$/\1/p' "$part" | tail -n 1)
  failed=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests failed out of [0-9]+$/\1/p' "$part" | tail -n 1)
  skipped_here=$(grep -cE '^\s+[0-9]+ - .*\(Skipped\)$' "$part" || true)
  if [ "$status" -ne 0 ]; then
    echo
    echo "test.sh: the $what suite (preset $preset) failed."
    # ctest lists them after "The following tests FAILED:" as "	 13 - Name (Failed)".
    local list
    list=$(awk '/^The following tests FAILED:/ { on = 1; next }
                on && /^[[:space:]]+[0-9]+ - / { sub(/^[[:space:]]+/, ""); print; next }
                on { on = 0 }' "$part")
    if [ -n "$list" ]; then
      echo "Failed tests (number - name):"
      printf '%s\n' "$list" | head -n 20 | sed 's/^/  /'
      local count
      count=$(printf '%s\n' "$list" | wc -l)
      [ "$count" -le 20 ] || echo "  and $((count - 20)) more"
      local first
      first=$(printf '%s\n' "$list" | head -n 1 | sed -E 's/^([0-9]+) - .*/\1/')
      echo "Run one again, with its output (here the first):"
      echo "  ctest --preset $preset --output-on-failure -I $first,$first"
      wine_starts_line "$started_at"
      closing_line_failed "${failed:-$count}" "$what suite" $((${total:-0} - ${failed:-0} - skipped_here))
    else
      echo "No test failed: the configure, build or package step did. Run it again:"
      echo "  cmake --workflow --preset $preset"
      wine_starts_line "$started_at"
      closing_line_failed 1 "$what suite's configure, build or package step" \
                          $((${total:-0} - skipped_here))
    fi
    rm -f "$part"
    exit 1
  fi
  passed=$((passed + ${total:-0} - skipped_here))
  skipped=$((skipped + skipped_here))
  rm -f "$part"
}

main() {
  set -euo pipefail
  cd "$(dirname "$0")/.."
  case ${1:-} in
    --fresh) fresh ;;
    "") ;;
    *) echo "usage: scripts/test.sh [--fresh]" >&2; exit 2 ;;
  esac

  scripts/setup.sh
  started_at=$(date '+%F %T.%3N')

  suite default "native"
  # The Windows builds under Wine, 64-bit and 32-bit: their unit tests, the program tests above
  # against the .exe files, settings parity with Windows' own reader, and each one's ZIP.
  suite windows "64-bit Windows"
  suite windows32 "32-bit Windows"
  # The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
  suite asan "sanitizer"
  if ! scripts/fuzz.sh; then
    echo "test.sh: the fuzzing run failed (scripts/fuzz.sh above says which target and input)."
    wine_starts_line "$started_at"
    closing_line_failed 1 fuzzing 0
    exit 1
  fi

  echo "Native, Windows (64-bit and 32-bit) and sanitizer suites: $((passed + skipped)) tests; fuzzing: 2 targets."
  wine_starts_line "$started_at"
  echo "all: $((passed + 2)) passed, 0 failed, $skipped skipped"
}

# Sourced (by the launcher's test) it only defines the functions above.
if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  main "$@"
fi
