#!/usr/bin/env bash
# Builds the receivers and starts the left one on the stand-in controller, its trace shown.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default
cmake --build --preset default

scratch=$(mktemp -d)
echo "Left receiver listening on UDP port 11111 in $scratch; Ctrl+C stops it."
cd "$scratch"
: > trace.txt
tail -f trace.txt &
tailer=$!
trap 'kill $tailer 2>/dev/null' EXIT
AXCLCOM_TRACE=trace.txt "$OLDPWD/build/default/bin/L_BrenikReceiver" || true
sleep 0.2
