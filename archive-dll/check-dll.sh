#!/usr/bin/env bash
# Checks the built 7-zip32.dll: a 32-bit DLL exporting the three entry
# points by their plain names and importing only system DLLs.
set -euo pipefail
objdump="$1"
dll="$2"
allowed=(kernel32.dll msvcrt.dll user32.dll advapi32.dll)

dump="$("$objdump" -p "$dll" | tr -d '\r')"
if ! grep -q '^Magic.*010b' <<<"$dump"; then
  echo "error: $dll is not a 32-bit PE" >&2
  exit 1
fi
for name in SevenZip SevenZipSetOwnerWindowEx SevenZipKillOwnerWindowEx; do
  if ! grep -Eq "^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+${name}\$" <<<"$dump"; then
    echo "error: $dll does not export $name" >&2
    exit 1
  fi
done
bad=0
while read -r dll_name; do
  lower="${dll_name,,}"
  ok=0
  for a in "${allowed[@]}"; do [[ "$lower" == "$a" ]] && ok=1; done
  if [[ $ok -eq 0 ]]; then
    echo "error: $dll imports $dll_name, which is not a system DLL" >&2
    bad=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump")
exit $bad
