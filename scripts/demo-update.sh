#!/usr/bin/env bash
# Loads new firmware into the built-in virtual receiver: makes a firmware
# image, registers it in a firmware catalogue of its own, and runs "Load GPS
# software" against the simulated QZ710 on COM1 in virtual time. Everything
# it writes stays in build/demo/, so a real setup is left alone.
#   scripts/demo-update.sh [BUILD_DIR]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
bin=$build/bin
demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/data/talvern/Firmware" "$demo/data/talvern/Devices"
export TALVERN_REGISTRY=$demo/registry.reg XDG_DATA_HOME=$demo/data

image=$demo/data/talvern/Firmware/fw_v420.timg
"$bin/qz7xx-mkimg" timg "$image" --platform KELVOR --version 420

key='HKLM\SOFTWARE\Korvane\Talvern\Firmware\QZ710 Version 4.20'
"$bin/talvern" reg add 'HKLM\SOFTWARE\Korvane\Talvern' /v InstallDirectory /d "$demo/data/talvern" /f >/dev/null
"$bin/talvern" reg add "$key" /v Description /d "Version 4.20" /f >/dev/null
"$bin/talvern" reg add "$key" /v DeviceType /d "QZ710" /f >/dev/null
"$bin/talvern" reg add "$key" /v FirmwarePath /d "$image" /f >/dev/null
"$bin/talvern" reg add "$key" /v OriginalInstall /t REG_DWORD /d 1 /f >/dev/null

# The receiver keeps logged files, and the update asks before it may lose
# them: this demo has none worth keeping.
"$bin/talvern" --batch --answer 'Ensure all files have been downloaded=ok' run "Load GPS software" --simulate \
  --port 1 --transcript "$demo/update-transcript.txt"
echo "The line's transcript is in $demo/update-transcript.txt."
