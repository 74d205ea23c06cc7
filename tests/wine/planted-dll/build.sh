#!/usr/bin/env bash
# Builds the planted stand-in DLL for the Wine runs (a 32-bit DLL; its marker file is named after
# the file it is planted as).
# Usage: tests/wine/planted-dll/build.sh OUTPUT   (7-zip32.dll, winspool.drv)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: build.sh OUTPUT}
mkdir -p "$(dirname "$out")"
# --kill-at: a program looks the exports up by their plain names.
i686-w64-mingw32-gcc -std=c99 -O2 -Wall -Wextra -Werror -shared -static -Wl,--kill-at \
  -o "$out" "$here/planted.c"
echo "built $out"
