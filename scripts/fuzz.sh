#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz, build/fuzz) and runs each for a bounded time; a
# crash, a hang or any sanitizer report fails. FUZZ_SECONDS sets the time per target (25).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-25}
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz

# Longest input per target: a datagram beyond the 1024-byte receive size; a settings file.
declare -A max_len=([angle_message]=2100 [settings]=4096)

for target in angle_message settings; do
  work=build/fuzz/corpus/$target          # grows across runs; the seeds in fuzz/ stay as they are
  artifacts=build/fuzz/artifacts/$target/ # a failing input lands here
  log=build/fuzz/$target.log
  mkdir -p "$work" "$artifacts"
  echo "fuzzing $target for ${seconds}s"
  # libFuzzer stops itself after max_total_time; the outer timeout only catches a stuck run.
  if ! timeout --kill-after=10 $((seconds + 60)) \
      "build/fuzz/bin/${target}_fuzzer" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
      -max_len="${max_len[$target]}" -artifact_prefix="$artifacts" -print_final_stats=1 \
      "$work" "fuzz/corpus/$target" > "$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzzing $target failed; the input is in $artifacts" >&2
    exit 1
  fi
  grep -E '^(Done|stat::(number_of_executed_units|new_units_added))' "$log" | sed "s/^/  /"
done
