#!/usr/bin/env bash
# The mutation scores in docs/TESTING.md, from the planting tool's own reports.
#
#   scripts/mutation-scores.sh run LABEL [SEEDS]   plant 40 faults per seed (default 1,2,3) in this
#                                                  tree's product code, in build/mut, and keep the
#                                                  reports as docs/mutation/LABEL-SEED.txt
#   scripts/mutation-scores.sh write               rewrite the scores section of docs/TESTING.md
#                                                  from every report in docs/mutation/ (and what
#                                                  each label's LABEL.about says the run was)
#
# The tool edits product files in place and puts them back; run it on a clean
# tree. A run of 40 takes 30 to 60 minutes on two busy cores. The seed picks
# the sites from the list of all sites, so two trees sample the same sites
# only while their product code is the same: compare labels whose commits
# differ in tests alone.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${MUTANTS:-/work/shared/tools/mutants.py}
dirs=afx,res,port,protocol,device,firmware,operations,plugin
out=docs/mutation

case "${1:-}" in
  run)
    label=${2:?a label, e.g. before or after}
    seeds=${3:-1,2,3}
    mkdir -p "$out"
    [ -f build/mut/CMakeCache.txt ] ||
      cmake -S . -B build/mut -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_BENCH=OFF >/dev/null
    commit=$(git rev-parse --short HEAD)
    for seed in ${seeds//,/ }; do
      nice -n 10 "$tool" --build build/mut --count 40 --seed "$seed" --dirs "$dirs" --ctest-args=-j2 \
        --report "$out/$label-$seed.txt"
      { echo "commit $commit, $(date -u +%Y-%m-%d)"; cat "$out/$label-$seed.txt"; } >"$out/$label-$seed.tmp"
      mv "$out/$label-$seed.tmp" "$out/$label-$seed.txt"
    done
    ;;
  write)
    doc=docs/TESTING.md
    table=$(mktemp)
    trap 'rm -f "$table"' EXIT
    {
      echo "| Run | Seed | Commit | Date | Killed | Survived | Not built | Score |"
      echo "|---|---|---|---|---|---|---|---|"
      for report in $(ls "$out"/*-[0-9]*.txt | sort -t- -k2,2n -k1,1r); do
        name=$(basename "$report" .txt)
        # First line: "commit C, DATE"; second: "seed N: K killed, S survived, U not built; score P%".
        head -2 "$report" | tr '\n' ' ' |
          sed -E "s/^commit ([0-9a-f]+), ([0-9-]+) seed ([0-9]+): ([0-9]+) killed, ([0-9]+) survived, ([0-9]+) not built; score ([0-9]+%).*/| ${name%-*} | \3 | \1 | \2 | \4 | \5 | \6 | \7 |/"
        echo
      done
    } >"$table"
    # Everything from the scores heading on is this script's.
    sed -i '/^## Scores$/,$d' "$doc"
    {
      echo "## Scores"
      echo
      echo "Written by \`scripts/mutation-scores.sh write\` from the reports in"
      echo "\`docs/mutation/\` (each lists its surviving faults with their diffs)."
      echo "Score = killed / (killed + survived)."
      echo
      cat "$table"
      for about in "$out"/*.about; do
        [ -e "$about" ] || continue
        echo
        echo "$(basename "$about" .about): $(cat "$about")"
      done
    } >>"$doc"
    ;;
  *)
    sed -n "2,15p" "$0" | sed 's/^# \{0,1\}//'
    [ "${1:-}" = --help ] && exit 0
    exit 64
    ;;
esac
