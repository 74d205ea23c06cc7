#!/usr/bin/env bash
# Builds the Wine benchmark programs and the size floors into a folder (default build-win/bench):
# startup_time.exe, spooler_restart.exe, label_replace.exe (32-bit console programs), floor.exe
# and floor.dll (built with installer.exe's and 7-zip32.dll's release flags).
# Usage: tools/bench/build.sh [FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$(cd "$here/../.." && pwd)/build-win/bench}
mkdir -p "$out"
cc="i686-w64-mingw32-gcc -std=c99 -O2 -Wall -Wextra -Werror -static"
$cc -municode -o "$out/startup_time.exe" "$here/startup_time.c" -luser32 -lkernel32
$cc -o "$out/spooler_restart.exe" "$here/spooler_restart.c" -ladvapi32 -lkernel32
$cc -municode -o "$out/label_replace.exe" "$here/label_replace.c" -lwinspool -ladvapi32 -lkernel32
cxx="i686-w64-mingw32-g++ -std=c++17 -O3 -DNDEBUG -Wall -Wextra -Werror -static -static-libgcc -static-libstdc++ -s"
$cxx -mwindows -o "$out/floor.exe" "$here/floor_exe.cpp"
$cxx -shared -o "$out/floor.dll" "$here/floor_dll.cpp"
echo "built $out"
