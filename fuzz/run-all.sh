#!/usr/bin/env bash
# Runs every fuzz target for SECONDS (default 60), two at a time, each from a
# copy of its seed corpus so that the repository's corpus stays as committed.
# Any crash, leak or input slower than 1 s fails the run; the offending input
# is left in build/fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bin=build/fuzz/bin
out=build/fuzz/findings
mkdir -p "$out"

run_one() {
  local target=$1 seconds=$2 bin=$3 out=$4
  local name=${target#fuzz_}
  local work
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  mkdir -p "$out/$target"
  if "$bin/$target" "$work" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 \
       -artifact_prefix="$out/$target/" -print_final_stats=1 >"$out/$target.log" 2>&1; then
    echo "$target: $(grep -m1 'stat::number_of_executed_units' "$out/$target.log" | awk '{print $2}') executions, no findings"
  else
    echo "$target: FAILED, see $out/$target.log"
    tail -20 "$out/$target.log"
    rm -rf "$work"
    return 1
  fi
  rm -rf "$work"
}
export -f run_one

ls "$bin" | grep '^fuzz_' | xargs -P 2 -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$bin" "$out"
