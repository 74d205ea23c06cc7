#!/usr/bin/env bash
# Builds the Wine runs' TCP/IP port monitor: a 32-bit DLL for a 32-bit prefix's system32.
# Usage: tests/wine/tcpip-monitor/build.sh OUTPUT.dll
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: build.sh OUTPUT.dll}
mkdir -p "$(dirname "$out")"
# --kill-at: the spooler looks the entry point up by its plain name.
i686-w64-mingw32-gcc -std=c99 -O2 -Wall -Wextra -Werror -shared -static -Wl,--kill-at \
  -o "$out" "$here/tcpipmon.c" -ladvapi32
echo "built $out"
