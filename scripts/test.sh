#!/usr/bin/env bash
# Every test: installs what is missing, then the native suite, the 64-bit and 32-bit Windows
# builds under Wine, the native suite again under the sanitizers, and a bounded fuzzing run.
# Ends with one count line.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

log=$(mktemp)
trap 'rm -f "$log"' EXIT
cmake --workflow --preset default | tee -a "$log"
# The Windows builds under Wine, 64-bit and 32-bit: their unit tests, the program tests above
# against the .exe files, settings parity with Windows' own reader, and each one's ZIP.
cmake --workflow --preset windows | tee -a "$log"
cmake --workflow --preset windows32 | tee -a "$log"
# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --workflow --preset asan | tee -a "$log"
scripts/fuzz.sh

# Every suite above stopped the script had anything failed: add up what ran.
passed=$(sed -nE 's/^[0-9]+% tests passed, [0-9]+ tests failed out of ([0-9]+)$/\1/p' "$log" |
         awk '{ total += $1 } END { print total + 0 }')
# ctest counts a skipped test among the passed ones; say how many there were.
skipped=$(grep -cE '^\s+[0-9]+ - .*\(Skipped\)$' "$log" || true)
echo "Native, Windows (64-bit and 32-bit) and sanitizer suites: $passed tests; fuzzing: 2 targets."
echo "all: $((passed - skipped + 2)) passed, 0 failed, $skipped skipped"
