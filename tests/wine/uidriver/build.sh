#!/usr/bin/env bash
# Builds the UI driver for the Wine end-to-end runs: build-win/uidriver.exe (32-bit console exe,
# static, so it runs in any prefix). It takes control names from src/res/control_names.h.
# Usage: tests/wine/uidriver/build.sh [OUTPUT.exe]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
out=${1:-$root/build-win/uidriver.exe}
mkdir -p "$(dirname "$out")"
i686-w64-mingw32-gcc -std=c99 -O2 -Wall -Wextra -Werror -municode -static -I "$root/src" \
  -o "$out" "$here/uidriver.c" -luser32 -lwinspool -ladvapi32 -lkernel32
echo "built $out"
