#!/usr/bin/env bash
# Peak memory of a whole firmware update: talvern runs "Load GPS software"
# against its built-in virtual receiver in virtual time, with a 4 MiB and a
# 64 MiB image (by default), and the kernel's peak resident size of the
# talvern process is read with GNU time. The receiver takes the monitor route
# (erase and program block by block), which has no size limit.
#
# The run has no time limit (a 64 MiB image takes more than batch's default
# hour of receiver time) and no read-back of the version: what is measured
# is the update itself.
#
# The receiver lives in talvern's process. With `flash.keep = false` it keeps
# no programmed bytes, so what grows is the host's; the control run keeps
# them (flash.keep = true) and must show the image's size as growth, or the
# figures say nothing.
#   bench/update_memory.sh [BUILD_DIR] [MiB ...]     (default build/release 4 64)
#   FORMATS="timg srec" bench/update_memory.sh        (default: timg srec elf img)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
shift || true
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(4 64)
bin=$build/bin
[ -x /usr/bin/time ] || { echo "GNU time is needed: apt-get install -y time" >&2; exit 2; }
work=$build/update-memory
rm -rf "$work"
mkdir -p "$work/data/talvern/Firmware"
export TALVERN_REGISTRY=$work/registry.reg XDG_DATA_HOME=$work/data

key='HKLM\SOFTWARE\Korvane\Talvern\Firmware\QZ710 Version 4.20'
"$bin/talvern" reg add 'HKLM\SOFTWARE\Korvane\Talvern' /v InstallDirectory /d "$work/data/talvern" /f >/dev/null
"$bin/talvern" reg add "$key" /v Description /d "Version 4.20" /f >/dev/null
"$bin/talvern" reg add "$key" /v DeviceType /d "QZ710" /f >/dev/null
"$bin/talvern" reg add "$key" /v OriginalInstall /t REG_DWORD /d 1 /f >/dev/null

printf '%-6s %-11s %10s %12s %10s %s\n' "format" "flash" "image MiB" "peak KiB" "CPU s" "result"
status=0
for format in ${FORMATS:-timg srec elf img}; do
  image=$work/data/talvern/Firmware/fw_v420.$format
  "$bin/talvern" reg add "$key" /v FirmwarePath /d "$image" /f >/dev/null
  for keep in false true; do
    printf 'version = 3.50\nproduct.installed = 3,50\nproduct.features = 1:0\nradio.pipe = nak\nflash.keep = %s\n' \
      "$keep" >"$work/receiver.profile"
    for mib in "${sizes[@]}"; do
      "$bin/qz7xx-mkimg" "$format" "$image" --platform KELVOR --version 420 --size $((mib << 20)) >/dev/null
      if /usr/bin/time -o "$work/time.txt" -f '%M %U %S' "$bin/talvern" --batch run "Load GPS software" \
           --simulate="$work/receiver.profile" --port 1 --no-verify --timeout 0 >"$work/run-$format-$keep-$mib.log" 2>&1 &&
         grep -q 'The software was updated successfully' "$work/run-$format-$keep-$mib.log"; then
        result=ok
      else
        result="FAILED (see $work/run-$format-$keep-$mib.log)"
        status=1
      fi
      read -r peak user sys <"$work/time.txt"
      printf '%-6s %-11s %10s %12s %10s %s\n' "$format" "keep=$keep" "$mib" "$peak" "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')" "$result"
    done
    rm -f "$image"
  done
done
exit $status
