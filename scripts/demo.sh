#!/usr/bin/env bash
# The bench demo: builds the receivers, the stand-in controller and the motion source, runs both
# receivers under a 10-second motion from brenik-send, stops them as an operator would, and
# plots what they commanded. The run lands in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
mkdir -p build
echo "Building the receivers, the stand-in controller and brenik-send (log: build/demo-build.log)"
{
  cmake --preset default
  cmake --build --preset default --target L_BrenikReceiver R_BrenikReceiver AXCLCOM brenik-send
} > build/demo-build.log 2>&1 || { tail -n 30 build/demo-build.log; exit 1; }

run=build/demo
rm -rf "$run"
echo
echo "Bench run: pitch 12 degrees at 0.2 Hz, roll 8 degrees at 0.1 Hz, 10 seconds."
tools/bench-run.sh build/default/bin "$run" \
  --sine-pitch 12,0.2 --sine-roll 8,0.1 --rate 100 --duration 10
echo "Traces, the sent log and the plot (run.png) are in $run/."
