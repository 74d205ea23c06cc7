#!/usr/bin/env bash
# Install press to "&Finish" for a receipt and a label printer on a parallel port: the real
# installer.exe under Wine in a fresh 32-bit Windows 10 prefix, driven and timed by tests/wine/uidriver
# (QueryPerformanceCounter from posting the click to the Install button reading "&Finish", read
# every millisecond). The floor is the path's fixed pauses: after the port step 500 ms (receipt) or
# 100 ms (label), plus 100 ms per poll of a spooler start, none when the spooler already runs (the
# driver checks it does). Prints a Markdown section.
#
#   bash bench/install_bench.sh [--runs N]   (BENCH_QUICK=1: one run)
# Needs build-win/installer.exe and 7-zip32.dll, and a host build (BUILD_DIR, default build-bench,
# as run-all.sh makes it) with the sample package.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
win=$(cd "${BUILD_WIN:-build-win}" && pwd)
tools=${BENCH_TOOLS:-$build/bench-tools}
work=$build/bench/install
source "$root/bench/runs.sh"
bench_runs 5 "$@"
sample=$build/sample/DriverData.Drv
for f in "$win/installer.exe" "$win/7-zip32.dll" "$sample"; do
  [[ -f $f ]] || { echo "error: $f not built" >&2; exit 1; }
done
bash tests/wine/uidriver/build.sh "$tools/uidriver.exe" >/dev/null
[[ -f $tools/label_replace.exe ]] || bash tools/bench/build.sh "$tools" >/dev/null
source "$root/tests/wine/wine-env.sh"
# Statistics of numbers one a line (bench/stats.py).
stats() { python3 "$root/bench/stats.py" "$@"; }

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
receipt=RV-640
label="LB-400 Label"

# install_run MODEL: one installation of MODEL on the pre-selected parallel port, then &Finish;
# prints "ADDED_MS FINISH_MS".
install_run() {
  local model=$1 out=$work/driver.out pid
  (cd "$work/run" && exec wine installer.exe) >>"$work/installer.log" 2>&1 &
  pid=$!
  if ! timeout -k 5 120 wine "$tools/uidriver.exe" "wait-window '$title' 30" "expect-enabled install 60" \
    "select-combo-text driver '$model'" "expect-text printer-name '$model' 5" "expect-list-selected port-type 2 0" \
    "expect-service Spooler running 0" "watch-text status" "click install" "time-to-text install &Finish 60" \
    "expect-seen status 'Added the printer $model' 0" "expect-text status 'The installation is completed.' 5" \
    "print-seen status" \
    "click install" "wait-gone 10" "wait-exit 10 0" >"$out" 2>&1; then
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

# first_and_again MODEL: the first installation's line, then RUNS more lines of it installed again.
first_and_again() {
  local line i
  line=$(install_run "$1") || { echo "error: the first installation of $1 failed (see $work/errors.log)" >&2; return 1; }
  printf '%s\n' "$line"
  for ((i = 0; i < runs; i++)); do
    line=$(install_run "$1") || { echo "error: installation $((i + 2)) of $1 failed (see $work/errors.log)" >&2; return 1; }
    printf '%s\n' "$line"
  done
}
receipt_lines=$(first_and_again "$receipt") || exit 1
label_lines=$(first_and_again "$label") || exit 1
# Wine's own time for the label replacement's spooler calls, on the records the runs above left;
# then the same with the monitor deleted, the spooler restarted and the monitor added back.
replace_lines() {
  wine "$tools/label_replace.exe" "$runs" "$label" "$@" 2>>"$work/errors.log" | tr -d '\r' | awk '$1 == "run"'
}
floor_lines=$(replace_lines)
readd_lines=$(replace_lines --readd-monitor)
[[ $(grep -c "^run " <<<"$floor_lines") -eq $runs && $(grep -c "^run " <<<"$readd_lines") -eq $runs ]] || {
  echo "error: label_replace.exe did not finish its runs (see $work/errors.log)" >&2
  exit 1
}

receipt_floor=500
label_floor=100
# cell COLUMN LINES: median (min-max) in ms.
cell() { stats cell --column "$1" <<<"$2"; }
beyond() { awk -v f="$2" 'NF { print $2 - f }' <<<"$1"; }
# row LABEL LINES FLOOR FLOOR_TEXT
row() {
  printf '| %s | %s | **%s** | %s | %s |' "$1" "$(cell 1 "$2")" "$(cell 2 "$2")" \
    "$(cell 1 "$(beyond "$2" "$3")")" "$4"
}
first_line() { head -n 1 <<<"$1"; }
later_lines() { tail -n +2 <<<"$1"; }
# step LINES NAME: median (min-max) of one named step of label_replace.exe's lines.
step() { awk -v name="$2" '{ for (i = 7; i < NF; i++) if ($i == name) print $(i + 1) }' <<<"$1" | stats cell --digits 1; }
# steps LINES: every step of the lines, "name median (min-max); ...".
steps() {
  local name out=''
  for name in $(head -n 1 <<<"$1" | awk '{ for (i = 7; i < NF; i += 2) print $i }'); do
    out+="${out:+; }$name $(step "$1" "$name")"
  done
  echo "$out"
}
label_again=$(later_lines "$label_lines")
# The floor: the spooler calls, the copies of the driver's files the path makes around them (the
# same files, staged and removed the same way) and the path's pause.
floor_total=$(awk -v p=$label_floor '{ print $4 + $6 + p }' <<<"$floor_lines" | stats median)
ours=$(stats median --column 2 <<<"$label_again")

cat <<EOF
## Install until Finish (parallel port)

Under Wine: the real \`installer.exe\` in a fresh 32-bit Windows 10 prefix whose spooler knows only
LPT1: and FILE:, installing the receipt printer $receipt and then the label printer $label on the
pre-selected parallel port (one parallel port: no port dialog). \`tests/wine/uidriver\` posts the click
on Install and reads the button's caption every millisecond until it is "&Finish", timed with
QueryPerformanceCounter. "Printer added" is when the status line first reads "Added the printer
MODEL": the driver files staged, the driver (and for the label printer its language monitor)
registered and the printer created. The spooler already runs when Install is pressed (the start-up
started it; the driver checks), so the path polls no service: the floor is the fixed pause after
the port step, 500 ms on the receipt path and 100 ms on the label path. Later runs find the printer
and replace it; median (min-max) of $runs. The simulated machine's figures for every port type are
in their own section above; the serial and TCP/IP roads under Wine need a fake printer and our own port
monitor, and are covered by the end-to-end run rather than timed here.

| Wine run | Install to "printer added" | Install to "&Finish" | Beyond the floor | Floor |
|---|---|---|---|---|
$(row "receipt, first installation (new driver and printer)" "$(first_line "$receipt_lines")" $receipt_floor "$receipt_floor ms (pause after the port step)")
$(row "receipt, installed again (printer replaced)" "$(later_lines "$receipt_lines")" $receipt_floor "$receipt_floor ms")
$(row "label, first installation (new driver, monitor and printer)" "$(first_line "$label_lines")" $label_floor "$label_floor ms (pause after the port step)")
$(row "label, installed again (printer replaced)" "$label_again" $label_floor "$label_floor ms")

The label printer installed again beside Wine's own time for the same spooler calls:
\`tools/bench/label_replace.c\` reads back the driver, monitor and printer records the runs above
left and makes the calls the label path makes on a replacement, in the same order with the same
records, each timed with QueryPerformanceCounter: the driver directory, the service check, the
monitor list (which finds the monitor in place with the same DLL, so it is kept), the driver added
again with its files staged, the printer purged, deleted and added again. Median (min-max) of
$runs. The path's floor is that time, plus Wine's time for copying the driver's files into the
driver directory and removing them after the driver step (the path copies the same files), plus its
100 ms pause. What our path does beyond it is its own: reading the window, a status line shown for
each file copied, the default printer's record. The second row deletes the monitor,
restarts the spooler and adds the monitor back instead of keeping it, as the path did before it
looked for the monitor in place.

| Spooler calls of the replacement | Wine's time for them | Steps | File copies | Floor (+ 100 ms pause) | Our path: Install to "&Finish" |
|---|---|---|---|---|---|
| monitor kept (the label path) | $(stats cell --column 4 --digits 1 <<<"$floor_lines") | $(steps "$floor_lines") | $(stats cell --column 6 --digits 1 <<<"$floor_lines") | **$floor_total ms** | **$ours ms**, $((ours - floor_total)) ms beyond the floor |
| monitor deleted and added back, spooler restarted | $(stats cell --column 4 --digits 1 <<<"$readd_lines") | $(steps "$readd_lines") | $(stats cell --column 6 --digits 1 <<<"$readd_lines") | - | - |
EOF
