#!/usr/bin/env bash
# Every test: installs what is missing, then the native suite, the 64-bit and 32-bit Windows
# builds under Wine, the native suite again under the sanitizers, and a bounded fuzzing run.
# Ends with one count line.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Runs one workflow preset, its output shown and kept (a failing test's output is printed by
# ctest: every test preset has outputOnFailure). On a failure it says which suite failed, which
# tests, and the command that runs one of them again, then stops the script.
suite() {
  local preset=$1 what=$2 part status
  part=$(mktemp)
  status=0
  cmake --workflow --preset "$preset" 2>&1 | tee "$part" || status=$?
  cat "$part" >> "$log"
  if [ "$status" -ne 0 ]; then
    echo
    echo "test.sh: the $what suite (preset $preset) failed."
    # ctest lists them after "The following tests FAILED:" as "	 13 - Name (Failed)".
    local failed
    failed=$(awk '/^The following tests FAILED:/ { on = 1; next }
                  on && /^[[:space:]]+[0-9]+ - / { sub(/^[[:space:]]+/, ""); print; next }
                  on { on = 0 }' "$part")
    if [ -n "$failed" ]; then
      echo "Failed tests (number - name):"
      printf '%s\n' "$failed" | sed 's/^/  /'
      local first
      first=$(printf '%s\n' "$failed" | head -n 1 | sed -E 's/^([0-9]+) - .*/\1/')
      echo "Run one again, with its output (here the first):"
      echo "  ctest --preset $preset --output-on-failure -I $first,$first"
    else
      echo "No test failed: the configure, build or package step did. Run it again:"
      echo "  cmake --workflow --preset $preset"
    fi
    echo "all: 0 passed, 1 failed"
    rm -f "$part"
    exit 1
  fi
  rm -f "$part"
}

suite default "native"
# The Windows builds under Wine, 64-bit and 32-bit: their unit tests, the program tests above
# against the .exe files, settings parity with Windows' own reader, and each one's ZIP.
suite windows "64-bit Windows"
suite windows32 "32-bit Windows"
# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
suite asan "sanitizer"
if ! scripts/fuzz.sh; then
  echo "test.sh: the fuzzing run failed (scripts/fuzz.sh above says which target and input)."
  echo "all: 0 passed, 1 failed"
  exit 1
fi

# Each suite above stops the script when anything in it failed: add up what ran.
passed=$(sed -nE 's/^[0-9]+% tests passed, [0-9]+ tests failed out of ([0-9]+)$/\1/p' "$log" |
         awk '{ total += $1 } END { print total + 0 }')
# ctest counts a skipped test among the passed ones; say how many there were.
skipped=$(grep -cE '^\s+[0-9]+ - .*\(Skipped\)$' "$log" || true)
echo "Native, Windows (64-bit and 32-bit) and sanitizer suites: $passed tests; fuzzing: 2 targets."
echo "all: $((passed - skipped + 2)) passed, 0 failed, $skipped skipped"
