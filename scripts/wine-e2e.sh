#!/usr/bin/env bash
# talvern.exe under Wine against the virtual receiver, with the Windows
# registry of a Wine prefix of its own: "Verify receiver software version" on
# COM21, which Wine maps to the pseudo-terminal that the Linux qz7xx-sim
# serves in real time, a firmware update of the in-process receiver, and the
# version of two in-process receivers at once, run to its end and stopped
# with Ctrl-C.
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

# The listing names ports as this system does: no device paths of another.
"${talvern[@]}" ports | tr -d "\r" | tee "$work/ports.txt"
grep -q "^Use: talvern run OP --port N for COM N.$" "$work/ports.txt"
! grep -q "/dev/" "$work/ports.txt"

"${serve[@]}" "${talvern[@]}" run "Verify receiver software version" --port $com | tee "$work/version.txt"
grep -q "The version was retrieved successfully." "$work/version.txt"

"${talvern[@]}" --answer 'Ensure all files have been downloaded=ok' run "Load GPS software" --simulate \
  | tee "$work/update.txt"
grep -q "Operation succeeded" "$work/update.txt"

# Two receivers at once: a talvern.exe per port, started through the process
# service; the transcripts' folder has a space, which each command line must keep.
mkdir -p "$work/two ports"
"${talvern[@]}" run 7 --simulate --ports 1,2 --transcript "$work/two ports/run.txt" \
  | tr -d "\r" | tee "$work/several.txt"
grep -q "^2 receivers: 2 succeeded.$" "$work/several.txt"
for port in COM1 COM2; do
  grep -qE "^  $port +5012A00123 +Verify receiver software version +succeeded " "$work/several.txt"
  test -s "$work/two ports/run-$port.txt"
done

# Ctrl-C twice, as Wine hands a console program SIGINT: each run is told
# through its process's semaphore and ends with status 130 at the second.
"${talvern[@]}" run 7 --simulate --realtime --ports 3,4 >"$work/interrupted.txt" 2>&1 &
run=$!
for _ in $(seq 120); do
  [ "$(grep -c "receiver QZ710" "$work/interrupted.txt")" -eq 2 ] && break
  sleep 0.5
done
kill -INT $run
sleep 1
kill -INT $run
status=0
wait $run || status=$?
tr -d "\r" <"$work/interrupted.txt" | tee "$work/interrupted-lines.txt"
[ $status -eq 130 ]
for port in COM3 COM4; do
  grep -q "^$port: Operation failed: aborted by the second Ctrl-C before the run on $port reported its end; " \
    "$work/interrupted-lines.txt"
done

# What the runs left in the Windows registry, through talvern's own reg command.
"${talvern[@]}" reg query 'HKEY_LOCAL_MACHINE\SOFTWARE\Korvane\Talvern' /v LastUsedCOM | tee "$work/registry.txt"
grep -q "0x$(printf %x $com)" "$work/registry.txt"
wineserver -k >/dev/null 2>&1 || true
echo "talvern.exe under Wine: the version on COM$com, the update and the run on two receivers passed."
