#!/usr/bin/env bash
# Every test: installs what is missing, builds and runs the native suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --workflow --preset default
# The Windows build under Wine: its unit tests, the program tests above against the .exe files,
# settings parity with Windows' own reader, and the ZIP.
cmake --workflow --preset windows
# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then a bounded fuzzing run.
cmake --workflow --preset asan
scripts/fuzz.sh
