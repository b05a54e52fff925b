#!/bin/sh
# Measures the .exe files under Wine the way receiver_benchmark measures the native programs:
# L_BrenikReceiver.exe against reference_receiver.exe (the minimal receiver) in one run, then
# cycle_steps.exe for one text's turn, step by step. As root: the run gets a loopback of its own,
# and the wine server is started inside it, since the server creates the programs' sockets.
#   benchmarks/wine-benchmarks.sh [receiver_benchmark options]
# Needs build/windows-benchmarks (cmake --preset windows-benchmarks && cmake --build --preset windows-benchmarks)
# and build/benchmarks (cmake --preset benchmarks && cmake --build --preset benchmarks).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${BRENIK_WINDOWS_BENCHMARKS_BIN:-$root/build/windows-benchmarks/bin}
driver=${BRENIK_BENCHMARKS_DRIVER:-$root/build/benchmarks/bin/receiver_benchmark}
# Debian keeps the 64-bit loader and the server off PATH; plain wine would start a 64-bit
# program as a separate process when 32-bit Wine is installed, so that signals miss it.
wine_dir=/usr/lib/wine

for file in "$bin/L_BrenikReceiver.exe" "$bin/reference_receiver.exe" "$bin/cycle_steps.exe" \
            "$bin/AXCLCOM.dll" "$driver"; do
  [ -f "$file" ] || { echo "$0: $file is missing; build it first" >&2; exit 2; }
done

export WINEPREFIX="$(dirname "$bin")/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

if [ "${BRENIK_WINE_BENCH_INSIDE:-}" != 1 ]; then
  # A server of this prefix still running elsewhere would take the programs' ports there.
  "$wine_dir/wineserver" -k 2>/dev/null || true
  exec env BRENIK_WINE_BENCH_INSIDE=1 unshare -n "$0" "$@"
fi

ip link set lo up
mkdir -p "$WINEPREFIX"
"$wine_dir/wineserver" -p
trap '"$wine_dir/wineserver" -k 2>/dev/null || true' EXIT
# Creates the prefix on first use, and starts Wine's background programs before anything is timed.
"$wine_dir/wine64" wineboot --init </dev/null >/dev/null 2>&1

echo "$("$wine_dir/wine64" --version) ($wine_dir/wine64), prefix $WINEPREFIX"
BRENIK_LAUNCHER="$wine_dir/wine64" BRENIK_PROGRAM_DIR="$bin" BRENIK_PROGRAM_SUFFIX=.exe \
  "$driver" "$@"
