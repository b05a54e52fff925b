#!/usr/bin/env bash
# The bench demo: builds the receivers, the stand-in controller and the motion source, runs both
# receivers under a 10-second motion from brenik-send with a 3-second silence in it, stops them
# as an operator would, and plots what they commanded. The run lands in build/demo/.
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
mkdir -p "$run"
# The ride-safety rules on, so that the run shows them: a gentle ramp after homing and after the
# silence, the seat levelled a second into the silence and again before closing.
cat > "$run/brenik.ini" <<'INI'
[actuator]
gentleSpeedPercent=10
rampSeconds=2
idleLevelSeconds=1
stopLevelSeconds=1
INI
echo
echo "Bench run: pitch 12 degrees at 0.2 Hz, roll 8 degrees at 0.1 Hz, 10 seconds, silent from"
echo "4 s to 7 s (the receivers level after 1 s of it and ramp back in when angles resume)."
tools/bench-run.sh build/default/bin "$run" \
  --sine-pitch 12,0.2 --sine-roll 8,0.1 --rate 100 --duration 10 --pause-after 4 --pause-for 3
echo "Traces, the sent log and the plot (run.png) are in $run/."
