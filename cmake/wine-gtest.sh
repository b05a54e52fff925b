#!/bin/sh
# A Windows test program's cases under Wine from one start of the program, each still a ctest
# test of its own (cmake/wine-gtest.cmake registers them):
#   wine-gtest.sh --run program.exe    runs every case, keeping the output beside the program;
#                                      fails only when the program did not run its cases to the end
#   wine-gtest.sh program.exe --gtest_list_tests             lists the cases (one start)
#   wine-gtest.sh program.exe --gtest_filter=Suite.Case ...  that case's part of the run's output,
#                                      and its verdict: passed, failed or skipped
set -u
launcher="$(cd "$(dirname "$0")" && pwd)/wine-run.sh"

if [ $# -lt 2 ]; then
  echo "usage: $0 --run program.exe | program.exe --gtest_list_tests | program.exe --gtest_filter=NAME" >&2
  exit 2
fi

if [ "$1" = --run ]; then
  program=$2
  output=${program%.exe}.wine-output.txt
  rm -f "$output" "$output.status"
  { "$launcher" --retry-unstarted "$program" 2>&1; echo $? >"$output.status"; } | tee "$output"
  status=$(cat "$output.status" 2>/dev/null || echo "unknown")
  rm -f "$output.status"
  # gtest's last lines: "[==========] 226 tests from 40 test suites ran. (…)", then the verdicts.
  if tr -d '\r' <"$output" | grep -qE '^\[==========\] [0-9]+ tests? from [0-9]+ test suites? ran\.' &&
     { [ "$status" = 0 ] || [ "$status" = 1 ]; }; then
    exit 0
  fi
  last=$(tr -d '\r' <"$output" | sed -n 's/^\[ RUN      \] //p' | tail -n 1)
  echo "$0: $(basename "$program") ended with status $status${last:+ during $last} before it had run" \
       "all its cases; their tests are not run"
  exit 1
fi

program=$1
shift
case $1 in
  --gtest_filter=*) name=${1#--gtest_filter=} ;;
  *) exec "$launcher" --retry-unstarted "$program" "$@" ;;
esac

output=${program%.exe}.wine-output.txt
if [ ! -f "$output" ]; then
  echo "$0: no output of a run of $(basename "$program") ($output): the test that runs it failed or did not run"
  exit 1
fi
# The case's lines from "[ RUN      ] name" to its verdict, "[       OK ] name (3 ms)" or
# "[  FAILED  ] name, where GetParam() = … (3 ms)".
tr -d '\r' <"$output" | awk -v name="$name" '
  $0 == "[ RUN      ] " name { on = 1 }
  on { print }
  on && /^\[ *(OK|FAILED|SKIPPED) *\] / {
    rest = substr($0, 14)
    if (substr(rest, 1, length(name)) == name && substr(rest, length(name) + 1, 1) ~ /[ ,]/) {
      verdict = $0 ~ /^\[  FAILED  \]/ ? "failed" : "passed"
      exit
    }
  }
  END {
    if (!on) print "not in the output of the run: " name
    else if (verdict == "") print "the run ended during this case: " name
    exit verdict == "passed" ? 0 : 1
  }'
