#!/bin/sh
# A launcher for receiver_benchmark (BRENIK_LAUNCHER) that gives L_BrenikReceiver, in the folder
# the driver starts it in, a copy of the settings file BRENIK_BENCH_SETTINGS as brenik.ini and the
# extra arguments BRENIK_BENCH_ARGS; every other program runs as it is. It replaces itself with
# the program (or with the launcher after it on the line, such as wine64), so signals reach it.
#   BRENIK_LAUNCHER="$PWD/benchmarks/receiver-launcher.sh" BRENIK_BENCH_ARGS=--status ...
#   BRENIK_LAUNCHER="$PWD/benchmarks/receiver-launcher.sh /usr/lib/wine/wine64" ...
set -eu
case "$*" in
  *L_BrenikReceiver*)
    if [ -n "${BRENIK_BENCH_SETTINGS:-}" ]; then cp "$BRENIK_BENCH_SETTINGS" brenik.ini; fi
    # shellcheck disable=SC2086  # the arguments are words
    exec "$@" ${BRENIK_BENCH_ARGS:-} ;;
esac
exec "$@"
