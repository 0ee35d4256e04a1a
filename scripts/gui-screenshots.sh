#!/usr/bin/env bash
# Takes the pictures of talvern-gui in docs/gui/ anew: every wizard step and
# the main dialogs, clicked through on the virtual receiver, drawn offscreen
# (no display needed). Run it after a change to the window.
#   scripts/gui-screenshots.sh [BUILD_DIR]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
cmake --build "$build" --target gui_screenshots -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A store and data folder of its own, so that a real setup is left alone.
export TALVERN_REGISTRY=$work/registry.reg XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=offscreen
mkdir -p docs/gui
"$build/bin/gui_screenshots" docs/gui 2> >(grep -v "does not support" >&2)
