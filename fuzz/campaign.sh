#!/usr/bin/env bash
# A long campaign: each named target (default: all) in turn, one at a time,
# until RUNS executions (default 10 million) or GUARD seconds (default 5 h),
# from a copy of its seed corpus, at low priority (NICE, default 10; on a
# machine that is busy with other work, a starved fuzzer can overrun the 1 s
# time-out on an input that takes milliseconds: use NICE=0 there). A 1 s time-out per input,
# leak detection on, libFuzzer's default memory limit. Afterwards every input
# of the grown corpus is run once more on its own and the slowest is noted.
# RESUME=1 goes on from the corpus a previous sitting grew (its executions add
# to that sitting's) instead of starting again from the seeds.
# One line per target goes to build/fuzz/campaign/summary.txt:
#   target executions exec/s result slowest-corpus-input-ms fresh|resumed
#   RUNS=10000000 GUARD=18000 fuzz/campaign.sh [fuzz_target ...]
set -uo pipefail
cd "$(dirname "$0")/.."
bin=build/fuzz/bin
out=build/fuzz/campaign
runs=${RUNS:-10000000}
guard=${GUARD:-18000}
niceness=${NICE:-10}
mkdir -p "$out"
targets=("$@")
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < <(ls "$bin" | grep '^fuzz_')
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  work=$out/$name.corpus
  if [ "${RESUME:-0}" = 1 ] && [ -d "$work" ]; then
    mkdir -p "$out/$target"
  else
    rm -rf "$work" && mkdir -p "$work" "$out/$target"
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  fi
  nice -n "$niceness" "$bin/$target" "$work" -runs="$runs" -max_total_time="$guard" -timeout=1 \
    -artifact_prefix="$out/$target/" -print_final_stats=1 >"$out/$target.log" 2>&1
  status=$?
  executed=$(grep -m1 'stat::number_of_executed_units' "$out/$target.log" | awk '{print $2}')
  rate=$(grep -m1 'stat::average_exec_per_sec' "$out/$target.log" | awk '{print $2}')
  findings=$(ls "$out/$target" | wc -l)
  result=clean
  [ "$status" -ne 0 ] || [ "$findings" -ne 0 ] && result="FAILED(rc=$status,findings=$findings)"
  # An empty input goes first in each batch so that start-up is not counted against an input.
  : >"$out/warm-up"
  slowest=$(find "$work" -type f -print0 | xargs -0 -r -n 500 nice -n "$niceness" "$bin/$target" -timeout=1 "$out/warm-up" 2>&1 |
            grep -v '^Executed .*/warm-up in' | sed -n 's/^Executed .* in \([0-9]*\) ms$/\1/p' | sort -n | tail -1)
  sitting=fresh
  [ "${RESUME:-0}" = 1 ] && sitting=resumed
  echo "$target ${executed:-?} ${rate:-?} $result ${slowest:-?} $sitting" | tee -a "$out/summary.txt"
done
