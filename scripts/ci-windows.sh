#!/usr/bin/env bash
# CI's Windows part: the MinGW-w64 build, the DLL's exports and the DLLs
# everything needs, every suite under Wine, and talvern.exe under Wine
# against the Linux virtual receiver (built already in LINUX_BUILD_DIR).
# Says how long the build and the tests took.
#   scripts/ci-windows.sh [LINUX_BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build/release}
start=$SECONDS
cmake --preset windows
cmake --build --preset windows -j2
built=$SECONDS
scripts/check-windows-exports.sh build/windows
(
  export WINEPREFIX=$PWD/build/windows/wine WINEARCH=win64 WINEDEBUG=-all
  mkdir -p "$WINEPREFIX"
  # One server for every test program, not one per start. Quiet: it lists
  # its objects on SIGHUP, which it gets when a COM port's pseudo-terminal
  # that it holds is closed.
  wineserver -p >/dev/null 2>&1
  wineboot --init >/dev/null 2>&1
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  ctest --preset windows
)
scripts/wine-e2e.sh build/windows "$linux"
echo "The Windows part took $((SECONDS - start)) s: the build $((built - start)) s, the checks and tests $((SECONDS - built)) s."
