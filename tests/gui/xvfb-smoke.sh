#!/usr/bin/env bash
# Runs the real talvern-gui on an X server of its own (Xvfb) and checks that
# the picture of the screen with its first page is not blank.
#   xvfb-smoke.sh PATH/TO/talvern-gui
set -euo pipefail
gui=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TALVERN_REGISTRY=$work/registry.reg XDG_DATA_HOME=$work/data
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
xvfb-run -a -s "-screen 0 1024x768x24" "$gui" --simulate --screenshot "$work/first-page.png"
python3 "$(dirname "$0")/png_not_blank.py" "$work/first-page.png"
