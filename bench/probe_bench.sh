#!/usr/bin/env bash
# What probing one COM port costs, on the real serial channel under Wine: a silent line (a
# pseudo-terminal with nothing on the far end) gets the 700 ms the installer waits for an answer
# plus the open and the close; a port that does not exist costs its failed open plus the 1 ms timer
# that moves on. Beside it, what printer-setup's status check costs on a ready printer at 9600 baud,
# a silent one and a port with no device. Runs the timing tests of the Wine tests
# (tests/wine/test_serial.py, tests/wine/test_printer_test.py); prints a Markdown section.
#
#   bash bench/probe_bench.sh [--runs N]   (BENCH_QUICK=1: one run)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$(mkdir -p "${BUILD_DIR:-build-bench}" && cd "${BUILD_DIR:-build-bench}" && pwd)
runs=5
[[ ${BENCH_QUICK:-} == 1 ]] && runs=1 # the quick pass: does it still work?
[[ ${1:-} == --runs ]] && runs=$2
out=$build/bench/probe
exe=${BUILD_WIN:-$root/build-win}/installer.exe
PROBE_TIMING=1 PROBE_RUNS=$runs STATUS_TIMING=1 STATUS_RUNS=$runs WINE_E2E_OUT=$out WINE_E2E_EXE=$exe \
  bash scripts/wine-e2e.sh test_probe_timings test_status_check_timings >"$out.log" 2>&1 || {
  tail -n 20 "$out.log" >&2
  echo "error: the probe timing run failed (see $out.log)" >&2
  exit 1
}
timing=$out/probe-timing.txt
median() { python3 "$root/bench/stats.py" median --digits 1; }
silent_open=$(awk '/^COM6: open succeeded/ { print $5 }' "$timing" | median)
silent_close=$(sed -n 's/^COM6: .*closed in \([0-9]*\) ms$/\1/p' "$timing" | median)
missing_open=$(awk '/^COM9: open failed/ { print $5 }' "$timing" | median)
silent_total=$(awk -v o="$silent_open" -v c="$silent_close" 'BEGIN { printf "%.1f", 700 + o + c }')
missing_total=$(awk -v o="$missing_open" 'BEGIN { printf "%.1f", 1 + o }')
status=$out/status-timing.txt
status_ms() { sed -n "s/^$1: \([0-9]*\) ms$/\1/p" "$status" | median; }
status_ready=$(status_ms ready)
status_silent=$(status_ms silent)
status_missing=$(status_ms missing)
cat <<DOC
## Probing time per COM port (Wine, real channel)

Each COM port the installer probes costs its open, then either the 700 ms it waits for an answer
and the close (a port that opens), or the 1 ms timer that moves on (a port that cannot be opened).
Measured with \`tools/comm-probe\` (the installer's \`CSerialPort\`) on a pseudo-terminal with
nothing on the far end (COM6) and on a port that does not exist (COM9); medians of $runs probes.

| Port | Open | Close | Per port in a probing run | Floor |
|---|---|---|---|---|
| silent line | $silent_open ms | $silent_close ms | $silent_total ms | 700 ms (the answer time) |
| port that does not exist | $missing_open ms (fails) | - | $missing_total ms | 1 ms (the timer) |

### printer-setup test: asking the printer itself

\`printer-setup test\` asks a serial printer DLE EOT 1 to 4 and waits at most 500 ms for each
answer. The time from opening the port to the last answer (its \`asked_ms\`), medians of $runs
checks each, with the fake printer on a pseudo-terminal at 9600 baud:

| Printer | Asking it | Target |
|---|---|---|
| ready, answers at once | $status_ready ms | under 1000 ms |
| silent line | $status_silent ms | one time-out: 500 ms |
| port with no device | $status_missing ms | its failed open |
DOC
