#!/usr/bin/env bash
# Loads new firmware into the built-in virtual receiver: makes a firmware
# image, registers it with `talvern firmware add` in a setup of its own, and
# runs "Load GPS software" against the simulated QZ710 in virtual time.
# Everything it writes stays in BUILD_DIR/demo/, so a real setup is left alone.
#   scripts/demo-update.sh [BUILD_DIR]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/release}" && pwd)
bin=$build/bin
demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo"
export TALVERN_REGISTRY=$demo/registry.reg XDG_DATA_HOME=$demo/data

"$bin/qz7xx-mkimg" timg "$demo/fw_v420.timg" --platform KELVOR --version 420
"$bin/talvern" --batch firmware add "$demo/fw_v420.timg" --description "Version 4.20"
# The receiver keeps logged files, and the update asks before it may lose
# them: this demo has none worth keeping.
"$bin/talvern" --batch --answer 'Ensure all files have been downloaded=ok' run "Load GPS software" --simulate \
  --transcript "$demo/update-transcript.txt"
echo "The line's transcript is in $demo/update-transcript.txt."
