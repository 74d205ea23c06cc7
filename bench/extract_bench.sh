#!/usr/bin/env bash
# Extraction speed of the archive library's reader (`drvpack extract`)
# beside `7z x` and `unzip` on the same archives: the sample package and a
# synthetic ~100 MB package (the sample's catalogue and files, which make it
# a package drvpack accepts, with compressible text, half-compressible data,
# random bytes and many small files beside them) made in build/bench/. Best
# of 3 wall times (of 10 for the sample, whose few milliseconds are noisy);
# prints a Markdown table. Needs the host build (build/). BENCH_QUICK=1: one
# run each and a 10 MB synthetic package.
#
#   bash bench/extract_bench.sh [--size-mb N] [--runs N]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="$(cd "${BUILD_DIR:-build}" && pwd)"
drvpack="$build/tools/drvpack/drvpack"
sample="$build/sample/DriverData.Drv"
stage="$build/sample/stage"
work="$build/bench"
size_mb=100
runs=3
[[ ${BENCH_QUICK:-} == 1 ]] && size_mb=10 runs=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --size-mb) size_mb="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) echo "usage: $0 [--size-mb N] [--runs N]" >&2; exit 2 ;;
  esac
done
for tool in 7z unzip; do
  command -v "$tool" >/dev/null || { echo "error: $tool not found (scripts/setup.sh installs it)" >&2; exit 1; }
done
[[ -x "$drvpack" ]] || { echo "error: $drvpack not built (bash scripts/build-host.sh)" >&2; exit 1; }
for f in "$sample" "$stage/DriverName.cfg"; do
  [[ -e "$f" ]] || { echo "error: $f not built (bash scripts/build-host.sh)" >&2; exit 1; }
done

# The synthetic package: the sample's files (drvpack refuses a catalogue
# whose models' files are missing), then a tenth text, two tenths base64,
# half random bytes, the rest in 16 KiB files; made again only when the
# size changes or the sample is newer.
synthetic="$work/synthetic-${size_mb}MB.Drv"
if [[ ! -f "$synthetic" || "$sample" -nt "$synthetic" ]]; then
  tree="$work/synthetic-tree"
  rm -rf "$tree"
  mkdir -p "$work"
  cp -r "$stage" "$tree"
  set +o pipefail  # the generators end on SIGPIPE when head has enough
  mkdir -p "$tree/Ticket/x86" "$tree/Ticket/x64" "$tree/Barcode/Common" "$tree/Barcode/x86"
  mb() { echo $(( size_mb * $1 / 10 )); }
  for ((i = 0; i < $(mb 1); i++)); do
    seq -f "*Option: PaperSize_%g mm, *Resolution: 203dpi, *Cmd: <1B>@<0A>" 1 20000 | head -c 1048576 \
      >"$tree/Ticket/x86/MODEL$i.GPD"
  done
  for ((i = 0; i < $(mb 2); i++)); do
    head -c 786432 /dev/urandom | base64 -w 76 | head -c 1048576 >"$tree/Ticket/x64/DATA$i.DAT"
  done
  for ((i = 0; i < $(mb 5); i++)); do
    head -c 1048576 /dev/urandom >"$tree/Barcode/x86/LIB$i.DLL"
  done
  for ((i = 0; i < $(mb 2) * 64; i++)); do
    head -c 12288 /dev/urandom | base64 -w 0 >"$tree/Barcode/Common/S$i.PP0"
  done
  set -o pipefail
  "$drvpack" build "$tree" -o "$synthetic" >/dev/null || { echo "error: drvpack refused $tree" >&2; exit 1; }
  rm -rf "$tree"
fi

# Best wall time in milliseconds of `$@` over $tries runs, each into an
# empty folder $out (emptied outside the timing).
out="$work/out"
best_ms() {
  local best=""
  for ((r = 0; r < tries; r++)); do
    rm -rf "$out"
    mkdir -p "$out"
    sync
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "error: failed: $*" >&2; exit 1; }
    t1=$(date +%s%N)
    local ms=$(( (t1 - t0) / 1000000 ))
    if [[ -z "$best" || $ms -lt $best ]]; then best=$ms; fi
  done
  echo "$best"
}

human() { awk -v b="$1" 'BEGIN { if (b < 1048576) printf "%.0f KB", b / 1024; else printf "%.1f MB", b / 1048576 }'; }

cell() {  # "ms (MB/s)" for an archive of $2 unpacked bytes
  local ms="$1" bytes="$2"
  if [[ "$ms" -eq 0 ]]; then echo "<1 ms"; return; fi
  awk -v ms="$ms" -v b="$bytes" 'BEGIN { printf "%d ms (%.0f MB/s)", ms, b / 1048576 / (ms / 1000) }'
}

echo "| Archive | Packed | Unpacked | Files | drvpack extract (our reader) | 7z x | unzip |"
echo "|---|---|---|---|---|---|---|"
for archive in "$sample" "$synthetic"; do
  cat "$archive" >/dev/null  # warm the page cache for every contestant alike
  tries=$runs
  [[ "$archive" == "$sample" && $tries -lt 10 && ${BENCH_QUICK:-} != 1 ]] && tries=10
  ours=$(best_ms "$drvpack" extract "$archive" -o "$out")
  files=$(find "$out" -type f | wc -l)
  bytes=$(du -sb --apparent-size "$out" | cut -f1)
  sevenzip=$(best_ms 7z x -y -o"$out" "$archive")
  unzip_ms=$(best_ms unzip -q -o "$archive" -d "$out")
  packed=$(stat -c %s "$archive")
  printf '| %s | %s | %s | %d | %s | %s | %s |\n' "$(basename "$archive")" "$(human "$packed")" \
    "$(human "$bytes")" "$files" "$(cell "$ours" "$bytes")" "$(cell "$sevenzip" "$bytes")" "$(cell "$unzip_ms" "$bytes")"
done
rm -rf "$out"
