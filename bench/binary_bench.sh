#!/usr/bin/env bash
# Sizes and imported DLLs of installer.exe and 7-zip32.dll, each beside the smallest program of its
# kind built with the same compiler and flags (tools/bench/floor_*.cpp). Prints a Markdown section.
#
#   bash bench/binary_bench.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
win=$(cd "${BUILD_WIN:-build-win}" && pwd)
build=$(mkdir -p "${BUILD_DIR:-build-bench}" && cd "${BUILD_DIR:-build-bench}" && pwd)
tools=${BENCH_TOOLS:-$build/bench-tools}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
for f in "$win/installer.exe" "$win/7-zip32.dll"; do
  [[ -f $f ]] || { echo "error: $f not built (bash scripts/build-windows.sh)" >&2; exit 1; }
done
[[ -f $tools/floor.exe && -f $tools/floor.dll ]] || bash tools/bench/build.sh "$tools" >/dev/null

kib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f KiB", b / 1024 }'; }
imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r' | paste -sd ' '; }
exports() { "$objdump" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/{ s/^[[:space:]]*\[ *[0-9]*\] //p; }' | paste -sd ' '; }

cat <<EOF
## Binaries

Release builds from \`build-win/\`, stripped. The floor is the smallest C++ program (or DLL) built
with the same compiler and static run-time flags, so the difference is what our code adds.

| File | Size | Floor | Imports | Floor's imports |
|---|---|---|---|---|
| installer.exe | **$(kib "$win/installer.exe")** | $(kib "$tools/floor.exe") | $(imports "$win/installer.exe") | $(imports "$tools/floor.exe") |
| 7-zip32.dll | **$(kib "$win/7-zip32.dll")** | $(kib "$tools/floor.dll") | $(imports "$win/7-zip32.dll") | $(imports "$tools/floor.dll") |

7-zip32.dll exports: $(exports "$win/7-zip32.dll").
EOF
