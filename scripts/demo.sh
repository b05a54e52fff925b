#!/usr/bin/env bash
# The bench demo: builds, runs both receivers on the stand-in controller under a 10-second
# motion from brenik-send, stops them as an operator would, and plots what they commanded.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default
cmake --build --preset default

scratch=$(mktemp -d)
echo
echo "Bench run in $scratch: pitch 12 degrees at 0.2 Hz, roll 8 degrees at 0.1 Hz, 10 seconds."
tools/bench-run.sh build/default/bin "$scratch" \
  --sine-pitch 12,0.2 --sine-roll 8,0.1 --rate 100 --duration 10
echo "Traces, the sent log and the plot stay in $scratch."
