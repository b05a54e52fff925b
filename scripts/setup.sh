#!/usr/bin/env bash
# Installs what building and testing the receivers needs on Debian or Ubuntu, if missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config      # native build
  libgtest-dev libgmock-dev             # unit and program tests
  g++-mingw-w64-x86-64-posix            # 64-bit Windows build (posix flavour: threads in the C++ runtime)
  g++-mingw-w64-i686-posix              # 32-bit Windows build
  googletest                            # GoogleTest sources, compiled for the Windows tests
  wine wine64                           # runs the 64-bit Windows tests; wine64 is the 64-bit loader
  wine32:i386                           # runs the 32-bit Windows tests
  clang libclang-rt-14-dev              # fuzzing: clang with libFuzzer and the sanitizer runtimes
  libbenchmark-dev                      # benchmarks (benchmarks/)
  gnuplot-nox                           # bench run plot (tools/plot-run.sh)
  locales                               # the comma-decimal locale below
)

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

# Debian's 32-bit Wine comes from the i386 architecture, which dpkg must know first.
if [ "$(dpkg --print-architecture)" = amd64 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture for 32-bit Wine"
  $sudo_cmd dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

# A locale that writes "10,5": the tests put the process in it, as a controller library may, and
# the receivers must still read "10.5" as ten and a half.
comma_locale="de_DE.UTF-8"
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the locale $comma_locale"
  if grep -q "^# *$comma_locale UTF-8" /etc/locale.gen; then
    $sudo_cmd sed -i "s/^# *\($comma_locale UTF-8\)/\1/" /etc/locale.gen
  elif ! grep -q "^$comma_locale UTF-8" /etc/locale.gen; then
    echo "$comma_locale UTF-8" | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  fi
  $sudo_cmd locale-gen
fi
