#!/usr/bin/env bash
# Builds comm_probe.exe (32-bit console exe, static) from the installer's own
# serial channel, Win32 platform and Win32 framework sources, compiled the
# way the installer's are. Usage: tools/comm-probe/build.sh [OUTPUT.exe]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:-$root/build-win/comm_probe.exe}
objects=$(dirname "$out")/comm-probe-objects
mkdir -p "$objects"
cxx=(i686-w64-mingw32-g++ -std=c++17 -O1 -I"$root/src" -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wformat=2 -Werror)

# Units that implement the boundary see the real Windows headers.
backend=("$root"/src/platform/win32/*.cpp "$root"/src/framework/win32/*.cpp "$here/comm_probe.cpp")
core=("$root/src/platform/platform.cpp" "$root/src/framework/cstring.cpp" "$root/src/framework/wnd.cpp"
  "$root/src/serial/SerialPort.cpp")
pids=()
compile() { # SOURCE [FLAG...]
  local source=$1 object
  shift
  object=$objects/$(basename "$(dirname "$source")")_$(basename "$source" .cpp).o
  # Up to date: newer than its source and than every header.
  if [[ $object -nt $source && -z $(find "$root/src" -name '*.h' -newer "$object" -print -quit) ]]; then
    return 0
  fi
  "${cxx[@]}" "$@" -c "$source" -o "$object"
}
for source in "${backend[@]}"; do
  [[ $(basename "$source") == winmain.cpp ]] && continue # the probe has its own main
  compile "$source" -DINSTALLER_WIN32_BACKEND &
  pids+=($!)
done
for source in "${core[@]}"; do
  compile "$source" &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
((failed == 0)) || exit 1
"${cxx[@]}" -static -o "$out" "$objects"/*.o -lcomctl32 -lwinspool -ladvapi32 -luser32 -lgdi32 -lkernel32
echo "built $out"
