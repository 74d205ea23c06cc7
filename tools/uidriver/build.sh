#!/usr/bin/env bash
# Builds the UI driver for the Wine end-to-end runs: build-win/uidriver.exe (32-bit console exe,
# static, so it runs in any prefix). Usage: tools/uidriver/build.sh [OUTPUT.exe]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$(cd "$here/../.." && pwd)/build-win/uidriver.exe}
mkdir -p "$(dirname "$out")"
i686-w64-mingw32-gcc -std=c99 -O2 -Wall -Wextra -Werror -municode -static \
  -o "$out" "$here/uidriver.c" -luser32 -lwinspool -ladvapi32 -lkernel32
echo "built $out"
