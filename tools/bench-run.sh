#!/usr/bin/env bash
# One bench run: both receivers on the stand-in controller, driven by brenik-send, stopped the
# way an operator stops them, then a summary and a plot of what they commanded.
set -euo pipefail
# awk and gnuplot read and write numbers with a point whatever the user's locale.
export LC_ALL=C

usage() {
  cat <<'USAGE'
Usage: bench-run.sh BIN-DIR OUT-DIR [brenik-send options...]

Starts L_BrenikReceiver and R_BrenikReceiver from BIN-DIR in OUT-DIR (with OUT-DIR/brenik.ini
if there is one, else an empty one: the defaults) with the stand-in
controller tracing to left-trace.txt and right-trace.txt, runs brenik-send with the given
options (default: --sine-pitch 12,0.2 --sine-roll 8,0.1 --duration 10) logging to sent.csv,
stops both receivers with SIGINT, checks they closed the controller and exited with 0,
prints a summary and draws run.png (when gnuplot is installed).

Needs UDP ports 11111 and 22222 free.
USAGE
}

if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then usage; exit 0; fi
if [ $# -lt 2 ]; then
  echo "bench-run.sh: expected BIN-DIR OUT-DIR [brenik-send options...] (try --help)" >&2
  exit 2
fi
bin=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2
[ $# -gt 0 ] || set -- --sine-pitch 12,0.2 --sine-roll 8,0.1 --duration 10
tools=$(cd "$(dirname "$0")" && pwd)

# Bounds on every wait, in tenths of a second.
readonly kStartTenths=50 kStopTenths=50

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

cd "$out"
rm -f left-trace.txt right-trace.txt left.err right.err sent.csv run.png
# The receivers read their settings here; a run without them uses the defaults, said plainly.
[ -e brenik.ini ] || printf '[actuator]\n' > brenik.ini

start_receiver() {  # side program
  AXCLCOM_TRACE="$out/$1-trace.txt" "$bin/$2" < /dev/null 2> "$out/$1.err" &
  pids+=($!)
}
start_receiver left L_BrenikReceiver
start_receiver right R_BrenikReceiver

# Ready once homing was commanded; the UDP port is bound right after.
for side in left right; do
  for ((i = 0; i < kStartTenths; i++)); do
    grep -q move_org "$side-trace.txt" 2>/dev/null && break
    sleep 0.1
  done
  grep -q move_org "$side-trace.txt" 2>/dev/null || {
    echo "bench-run.sh: the $side receiver did not start (see $out/$side.err)" >&2; exit 1; }
done
sleep 0.3
for side in left right; do
  if [ -s "$side.err" ]; then
    echo "bench-run.sh: the $side receiver reports: $(head -n 1 "$side.err")" >&2
    exit 1
  fi
done

# Whatever becomes of the run (Ctrl+C included), the receivers are still stopped cleanly below.
status=0
"$bin/brenik-send" --log "$out/sent.csv" "$@" || status=$?
sleep 0.3  # the last datagrams are still being planned

# Stop as an operator would and expect a clean close and exit code 0 from both. A Ctrl+C on
# the terminal may have reached them already.
kill -INT "${pids[@]}" 2>/dev/null || true
for i in 0 1; do
  pid=${pids[$i]}
  side=$([ "$i" = 0 ] && echo left || echo right)
  for ((t = 0; t < kStopTenths; t++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "bench-run.sh: the $side receiver did not stop on SIGINT" >&2
    status=1
    continue
  fi
  code=0
  wait "$pid" || code=$?
  if [ "$code" -ne 0 ]; then
    echo "bench-run.sh: the $side receiver exited with $code" >&2
    status=1
  fi
  if [ "$(tail -n 1 "$side-trace.txt" | awk '{ print $2 }')" != close_axcl ]; then
    echo "bench-run.sh: the $side receiver did not close the controller last" >&2
    status=1
  fi
done
pids=()

sent=$( [ -f sent.csv ] && awk 'NR > 1' sent.csv | wc -l || echo 0)
echo "Datagrams sent to each receiver: $sent"
for side in left right; do
  awk -v side="$side" '
    $2 == "move_abs" {
      mm = -$4 / 100
      if (n == 0 || mm < low) low = mm
      if (n == 0 || mm > high) high = mm
      n++
    }
    END {
      if (n == 0) { printf "%-5s receiver: no commands\n", side; exit }
      printf "%-5s receiver: %d commands, position %.2f .. %.2f mm\n", side, n, low, high
    }' "$side-trace.txt"
done

if [ "$sent" -eq 0 ]; then
  echo "No plot: nothing was sent"
elif command -v gnuplot >/dev/null; then
  "$tools/plot-run.sh" sent.csv left-trace.txt right-trace.txt run.png
  echo "Plot: $out/run.png"
else
  echo "No plot: gnuplot is not installed (apt-get install gnuplot-nox)"
fi
exit "$status"
