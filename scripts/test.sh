#!/usr/bin/env bash
# Every test: installs what is missing, builds and runs the native suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --workflow --preset default
# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then a bounded fuzzing run.
cmake --workflow --preset asan
scripts/fuzz.sh
