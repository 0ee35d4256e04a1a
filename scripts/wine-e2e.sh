#!/usr/bin/env bash
# talvern.exe under Wine against the virtual receiver, with the Windows
# registry of a Wine prefix of its own: "Verify receiver software version" on
# COM21, which Wine maps to the pseudo-terminal that the Linux qz7xx-sim
# serves in real time, and a firmware update of the in-process receiver.
# (An update through qz7xx-sim's pseudo-terminal stops at the receiver's
# restart on Linux as under Wine, so it is not run here.)
#   scripts/wine-e2e.sh [WINDOWS_BUILD_DIR] [LINUX_BUILD_DIR]   (default build/windows build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
win=$(cd "${1:-build/windows}" && pwd)
linux=$(cd "${2:-build/release}" && pwd)
work=$win/e2e
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEARCH=win64
unset TALVERN_REGISTRY
talvern=(wine "$win/bin/talvern.exe" --batch)
com=21
serve=(scripts/wine-pty-com.py $com --serve "$linux/bin/qz7xx-sim" --transcript "$work/receiver.txt" --)

wineboot --init >/dev/null 2>&1
wine "$win/bin/qz7xx-mkimg.exe" timg "$work/fw_v420.timg" --platform KELVOR --version 420
"${talvern[@]}" firmware add "$work/fw_v420.timg" --description "Version 4.20"

"${serve[@]}" "${talvern[@]}" run "Verify receiver software version" --port $com | tee "$work/version.txt"
grep -q "The version was retrieved successfully." "$work/version.txt"

"${talvern[@]}" --answer 'Ensure all files have been downloaded=ok' run "Load GPS software" --simulate \
  | tee "$work/update.txt"
grep -q "Operation succeeded" "$work/update.txt"

# What the runs left in the Windows registry, through talvern's own reg command.
"${talvern[@]}" reg query 'HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\Talvern' /v LastUsedCOM | tee "$work/registry.txt"
grep -q "0x$(printf %x $com)" "$work/registry.txt"
wineserver -k >/dev/null 2>&1 || true
echo "talvern.exe under Wine: the version on COM$com and the update passed."
