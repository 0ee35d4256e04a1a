#!/usr/bin/env bash
# Checks the Windows files of a build: DevQZ710.dll exports exactly the ten
# entry points of plugin/exports.map, and every DLL and program needs no DLL
# but the system's own and libafx.dll (the compiler's runtime is inside).
#   scripts/check-windows-exports.sh [WINDOWS_BUILD_DIR]   (default build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/windows}" && pwd)/bin
objdump=x86_64-w64-mingw32-objdump

want=$(sed -n 's/^ *\([A-Za-z]*\);$/\1/p' plugin/exports.map | sort)
have=$("$objdump" -p "$bin/DevQZ710.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] \(.*\)$/\1/p' | sort)
echo "DevQZ710.dll exports:" $have
if [ "$want" != "$have" ] || [ "$(wc -l <<<"$have")" -ne 10 ]; then
  echo "DevQZ710.dll must export exactly:" $want >&2
  exit 1
fi

# The system's DLLs, and ours.
allowed='^(kernel32|user32|advapi32|msvcrt|ws2_32|version|setupapi|libafx)\.dll$'
status=0
for file in "$bin"/*.dll "$bin"/*.exe; do
  for dll in $("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    if ! grep -qiE "$allowed" <<<"$dll"; then
      echo "$(basename "$file") needs $dll, which does not come with Windows" >&2
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "Every DLL and program needs only the system's DLLs and libafx.dll."
exit $status
