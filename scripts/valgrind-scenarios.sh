#!/usr/bin/env bash
# Runs the scenario suite (the plug-in's operations against the virtual
# receiver) under valgrind's memcheck, in a build without sanitizers.
# Fails on any memory error and on any block definitely lost.
#   scripts/valgrind-scenarios.sh [BUILD_DIR] [gtest filter]   (default build/release, all)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
filter=${2:-*}
if [ ! -x "$build/bin/scenario" ]; then
  cmake --preset release
  cmake --build --preset release -j2 --target scenario
fi
log=$build/valgrind-scenarios.log
status=0
valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
  --error-exitcode=1 --track-origins=yes --log-file="$log" \
  "$build/bin/scenario" --gtest_filter="$filter" --gtest_brief=1 || status=$?
grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable|All heap blocks' "$log" || true
exit $status
