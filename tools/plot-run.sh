#!/usr/bin/env bash
# Draws one bench run: the angles brenik-send sent, and the position and speed each receiver
# commanded, from the sender's --log file and the stand-in controller's traces.
set -euo pipefail
# awk and gnuplot read and write numbers with a point whatever the user's locale.
export LC_ALL=C

usage() {
  cat <<'USAGE'
Usage: plot-run.sh SENT.csv LEFT-TRACE RIGHT-TRACE OUT.png

  SENT.csv     brenik-send --log output: time,pitch,roll
  LEFT-TRACE   AXCLCOM_TRACE file of L_BrenikReceiver
  RIGHT-TRACE  AXCLCOM_TRACE file of R_BrenikReceiver
  OUT.png      the picture to write

Times on all three share the monotonic clock and are shown from the first datagram sent.
Positions are drawn in mm (the controller counts 0.01 mm with the sign reversed).
Needs gnuplot (Debian package gnuplot-nox).
USAGE
}

if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then usage; exit 0; fi
if [ $# -ne 4 ]; then
  echo "plot-run.sh: expected SENT.csv LEFT-TRACE RIGHT-TRACE OUT.png (try --help)" >&2
  exit 2
fi
sent=$1 left=$2 right=$3 out=$4
for f in "$sent" "$left" "$right"; do
  [ -r "$f" ] || { echo "plot-run.sh: cannot read $f" >&2; exit 2; }
done
command -v gnuplot >/dev/null || { echo "plot-run.sh: gnuplot not found (apt-get install gnuplot-nox)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Time zero is the first datagram sent.
start=$(awk -F, 'NR == 2 { print $1; exit }' "$sent")
[ -n "$start" ] || { echo "plot-run.sh: $sent holds no datagrams" >&2; exit 1; }
# A blank line where nothing was sent for over half a second: the plot shows the silence as a gap.
awk -F, -v t0="$start" 'NR > 1 {
    if (NR > 2 && $1 - last > 0.5) print ""
    printf "%.6f %s %s\n", $1 - t0, $2, $3
    last = $1
  }' "$sent" > "$work/sent.dat"
# Angles on a scale symmetric about level that shows the working range of +-20 degrees.
angle_scale=$(awk '{ for (i = 2; i <= 3; i++) { a = $i < 0 ? -$i : $i; if (a > m) m = a } }
                   END { print (m * 1.1 > 25 ? int(m * 1.1) + 1 : 25) }' "$work/sent.dat")

# One row per move_abs: seconds, position in mm, and the speed written just before it.
commands() {
  awk -v t0="$start" '
    $2 == "write_velocity" { speed = $4 }
    $2 == "move_abs" { printf "%.6f %.2f %s\n", $1 - t0, -$4 / 100, speed }
  ' "$1"
}
commands "$left" > "$work/left.dat"
commands "$right" > "$work/right.dat"
for side in left right; do
  [ -s "$work/$side.dat" ] || echo "# no commands" > "$work/$side.dat"
done

gnuplot <<GNUPLOT
set terminal pngcairo noenhanced size 1200,1000 font "Sans,10"
set output "$out"
set multiplot layout 3,1 title "Bench run: angles sent, and what each receiver commanded"
set grid
set key outside right top
set xlabel "time since the first datagram (s)"
set lmargin 12
set rmargin 30

set title "Angles sent (degrees, before the receivers' reversal)"
set ylabel "degrees"
set yrange [-$angle_scale:$angle_scale]
plot "$work/sent.dat" using 1:2 with lines lw 2 title "pitch", \
     "" using 1:3 with lines lw 2 title "roll"

set title "Commanded position (move_abs, mm)"
set ylabel "stroke (mm)"
set yrange [0:300]
plot "$work/left.dat" using 1:2 with steps lw 2 title "left (L_BrenikReceiver)", \
     "$work/right.dat" using 1:2 with steps lw 2 title "right (R_BrenikReceiver)"

set title "Commanded speed (write_velocity)"
set ylabel "speed (full scale 20000)"
set yrange [-500:21000]
plot "$work/left.dat" using 1:3 with steps lw 2 title "left (L_BrenikReceiver)", \
     "$work/right.dat" using 1:3 with steps lw 2 title "right (R_BrenikReceiver)"
unset multiplot
GNUPLOT
