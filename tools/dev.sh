#!/usr/bin/env bash
# dev.sh: set up, build and run Talvern Corridor, or build it and run the whole test suite.
#
#   tools/dev.sh run    install what is missing, build (release), run the viewer
#   tools/dev.sh test   install what is missing, build the CI and sanitizer configurations
#                       and the Windows build, run every test in each (the Windows ones
#                       under Wine), then fuzz the BMP decoder for a minute; the Debian
#                       package is installed into a new Debian 12 root and the Windows zip
#                       run from a new folder
#   tools/dev.sh windows
#                       install what is missing, build the Windows programs (.exe, in
#                       build-windows/bin) with mingw-w64 and run their tests under Wine
#
# Packages come from Debian. As root, missing ones are installed; otherwise the one
# `sudo apt-get install ...` line that would install them is printed and nothing else runs.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

jobs=$(nproc 2>/dev/null || echo 2)

# What building and running the viewer needs.
run_packages=(build-essential cmake pkg-config libsdl2-dev libgl-dev libglu1-mesa-dev libegl-dev
  libegl-mesa0 libgl1-mesa-dri libglx-mesa0 zlib1g-dev)
# What the tests, benchmarks and fuzzer need on top.
test_packages=(clang-format libgtest-dev libgmock-dev libbenchmark-dev libstb-dev clang libclang-rt-14-dev
  xvfb xauth xdotool openbox x11-utils x11-xserver-utils xfonts-base imagemagick wmctrl procps
  desktop-file-utils appstream debootstrap dpkg-dev file)
# What the Windows build and its runs under Wine need.
windows_packages=(g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 wine wine64 libgtest-dev
  xvfb xauth xdotool openbox x11-utils xfonts-base imagemagick wmctrl procps)

EnsurePackages() {
  local missing=() package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Some packages are missing. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

Run() {
  EnsurePackages "${run_packages[@]}"
  cmake --preset default -DBUILD_TESTING=OFF -DTALVERN_BENCH=OFF
  cmake --build --preset default -j "$jobs"
  exec "$here/build/bin/talvern-corridor"
}

# Unit and render tests run in parallel; the end-to-end tests, which each start their own X
# server and drive real windows, run one at a time. The package tests (slow) run once, from
# Test.
RunSuite() {
  ctest --preset "$1" -j 2 -LE 'e2e|package' || failed=1
  ctest --preset "$1" -L e2e || failed=1
}

# The Windows build: every test runs under Wine, in a prefix under $TMPDIR made on first
# use (tools/wine-run.sh), with Wine's own diagnostics off.
RunWindowsSuite() {
  export WINEDEBUG=-all
  cmake --preset windows
  cmake --build --preset windows -j "$jobs"
  RunSuite windows
}

Windows() {
  EnsurePackages "${windows_packages[@]}"
  local failed=0
  RunWindowsSuite
  if [ "$failed" -ne 0 ]; then
    echo "Some Windows tests failed." >&2
    exit 1
  fi
  echo "The Windows build passed its tests under Wine."
}

Test() {
  EnsurePackages "${run_packages[@]}" "${test_packages[@]}" "${windows_packages[@]}"
  local failed=0
  # Every C++ file follows the checked-in .clang-format. Files are found by name, not asked
  # of git: a new machine may have no git, and an unpacked source archive has no history.
  find app bench cmake fuzz image platform render tests tools -type f \( -name '*.cpp' -o -name '*.h' \) \
    -print0 | xargs -0 clang-format --dry-run --Werror || failed=1
  cmake --preset ci
  cmake --build --preset ci -j "$jobs"
  RunSuite ci
  cmake --preset asan
  cmake --build --preset asan -j "$jobs"
  RunSuite asan
  RunWindowsSuite
  ctest --preset ci -L package || failed=1
  ctest --preset windows -L package || failed=1
  if [ -x fuzz/run.sh ]; then
    fuzz/run.sh 60 || failed=1
  fi
  if [ "$failed" -ne 0 ]; then
    echo "Some tests failed." >&2
    exit 1
  fi
  echo "All test suites passed."
}

case "${1:-}" in
run) Run ;;
test) Test ;;
windows) Windows ;;
*)
  echo "usage: tools/dev.sh run|test|windows" >&2
  exit 2
  ;;
esac
