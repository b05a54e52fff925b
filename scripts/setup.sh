#!/usr/bin/env bash
# Installs what building and testing the receivers needs on Debian or Ubuntu, if missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config      # native build
  libgtest-dev libgmock-dev             # unit and program tests
  g++-mingw-w64-x86-64-posix            # Windows build (threads in the C++ runtime: posix flavour)
  googletest                            # GoogleTest sources, compiled for the Windows tests
  wine wine64                           # runs the Windows tests; wine64 is the 64-bit loader
  clang libclang-rt-14-dev              # fuzzing: clang with libFuzzer and the sanitizer runtimes
  libbenchmark-dev                      # benchmarks (bench/)
  gnuplot-nox                           # bench run plot (tools/plot-run.sh)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
