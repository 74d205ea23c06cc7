#!/usr/bin/env bash
# Install press to "&Finish" for a receipt printer: the real installer.exe under Wine in a fresh
# 32-bit Windows 10 prefix, driven and timed by tools/uidriver (QueryPerformanceCounter from posting
# the click to the Install button reading "&Finish", read every millisecond). The floor is the
# receipt path's fixed pauses: 500 ms after the port step, plus 100 ms per poll of a spooler start,
# none when the spooler already runs (the driver checks it does). Prints a Markdown section.
#
#   bash bench/install_bench.sh [--runs N]
# Needs build-win/installer.exe and 7-zip32.dll, and a host build (BUILD_DIR, default build-bench,
# as run-all.sh makes it) with the sample package.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
win=$(cd "${BUILD_WIN:-build-win}" && pwd)
tools=${BENCH_TOOLS:-$build/bench-tools}
work=$build/bench/install
runs=5
while [[ $# -gt 0 ]]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N]" >&2; exit 2 ;;
  esac
done
sample=$build/sample/DriverData.Drv
for f in "$win/installer.exe" "$win/7-zip32.dll" "$sample"; do
  [[ -f $f ]] || { echo "error: $f not built" >&2; exit 1; }
done
bash tools/uidriver/build.sh "$tools/uidriver.exe" >/dev/null
source "$root/bench/wine-env.sh"
bench_wine_display "$build/bench/wine"

rm -rf "$work"
mkdir -p "$work/run"
cp "$win/installer.exe" "$win/7-zip32.dll" "$sample" "$work/run/"
bench_wine_prefix32 "$work/prefix"
ports='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports'
{
  # The key of the default printer, as every Windows has it; one parallel port, so no port dialog.
  wine reg add 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /f
  for v in $(wine reg query "$ports" | tr -d '\r' | sed -n 's/^ \{4\}\([^ ]*\) .*/\1/p'); do
    [[ $v == LPT1: || $v == FILE: ]] || wine reg delete "$ports" /v "$v" /f
  done
} >>"$work/prefix.log" 2>&1

title="Configure & Install v1.0"
model=RV-640

# install_run: one installation of the model on the pre-selected parallel port, then &Finish;
# prints "ADDED_MS FINISH_MS".
install_run() {
  local out=$work/driver.out pid
  (cd "$work/run" && exec wine installer.exe) >>"$work/installer.log" 2>&1 &
  pid=$!
  if ! timeout -k 5 120 wine "$tools/uidriver.exe" "wait-window '$title' 30" "expect-enabled 1012 60" \
    "select-combo-text 1000 $model" "expect-text 1001 $model 5" "expect-list-selected 1004 2 0" \
    "expect-service Spooler running 0" "watch-text 1011" "click 1012" "time-to-text 1012 &Finish 60" \
    "expect-seen 1011 'Added the printer $model' 0" "expect-text 1011 'The installation is completed.' 5" \
    "click 1012" "wait-gone 10" "wait-exit 10 0" >"$out" 2>&1; then
    cat "$out" >>"$work/errors.log"
    kill "$pid" 2>/dev/null
    wait
    return 1
  fi
  tr -d '\r' <"$out" >>"$work/driver.log"
  wait
  tr -d '\r' <"$out" | awk '
    /^ok   expect-seen:/ { for (i = 1; i < NF; i++) if ($(i + 1) == "ms") added = $i }
    /^ok   time-to-text:/ { for (i = 1; i < NF; i++) if ($(i + 1) == "ms") finish = $i }
    END { if (added == "" || finish == "") exit 1; print added, finish }'
}

first=$(install_run) || { echo "error: the first installation failed (see $work/errors.log)" >&2; exit 1; }
again=''
for ((i = 0; i < runs; i++)); do
  line=$(install_run) || { echo "error: installation $((i + 2)) failed (see $work/errors.log)" >&2; exit 1; }
  again+=$line$'\n'
done

floor=500
# cell COLUMN LINES: median (min-max) in ms.
cell() {
  local m lo hi
  read -r m lo hi < <(awk -v c="$1" '{ print $c }' <<<"$2" | bench_stats)
  if [[ $lo == "$hi" ]]; then echo "$m ms"; else echo "$m ms ($lo-$hi)"; fi
}
beyond() { awk -v f="$floor" 'NF { print $2 - f }' <<<"$1"; }
# row LABEL LINES FLOOR
row() {
  printf '| %s | %s | **%s** | %s | %s |' "$1" "$(cell 1 "$2")" "$(cell 2 "$2")" \
    "$(cell 1 "$(beyond "$2")")" "$3"
}

cat <<EOF
## Install until Finish (receipt printer)

Under Wine: the real \`installer.exe\` in a fresh 32-bit Windows 10 prefix whose spooler knows only
LPT1: and FILE:, installing $model on the pre-selected parallel port (one parallel port: no port
dialog). \`tools/uidriver\` posts the click on Install and reads the button's caption every
millisecond until it is "&Finish", timed with QueryPerformanceCounter. "Printer added" is when the
status line first reads "Added the printer $model": the driver files staged, the driver registered
and the printer created. The spooler already runs when Install is pressed (the start-up started it;
the driver checks), so the path polls no service: the floor is the fixed 500 ms pause after the
port step. Later runs find the printer and replace it; median (min-max) of $runs.

| Wine run | Install to "printer added" | Install to "&Finish" | Beyond the floor | Floor |
|---|---|---|---|---|
$(row "first installation (new driver and printer)" "$first" "$floor ms (pause after the port step)")
$(row "installed again (printer replaced)" "$again" "$floor ms")
EOF
