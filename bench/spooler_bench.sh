#!/usr/bin/env bash
# CPU time spent while the print spooler restarts, against the wall time of the restart, on Wine's
# real Spooler service: tools/bench/spooler_restart.c does what the installer's restart does (stop,
# poll with 100 ms pauses until stopped, start, poll until running). Prints a Markdown section.
#
#   bash bench/spooler_bench.sh [--runs N]   (BENCH_QUICK=1: one run)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$(mkdir -p "${BUILD_DIR:-build-bench}" && cd "${BUILD_DIR:-build-bench}" && pwd)
tools=${BENCH_TOOLS:-$build/bench-tools}
source "$root/bench/runs.sh"
bench_runs 10 "$@"
[[ -f $tools/spooler_restart.exe ]] || bash tools/bench/build.sh "$tools" >/dev/null
source "$root/tests/wine/wine-env.sh"
# Statistics of numbers one a line (bench/stats.py).
stats() { python3 "$root/bench/stats.py" "$@"; }

bench_wine_setup "$build/bench/wine"

# The restart stops a running service: make sure it runs first.
[[ $(bench_spooler_state) == RUNNING ]] || wine sc start spooler >/dev/null 2>&1
# The marker lets the program find its own Unix process for Linux's CPU figures.
output=$(wine "$tools/spooler_restart.exe" "$runs" "bench-$$-$RANDOM" | tr -d '\r')
lines=$(awk '$1 == "run"' <<<"$output")
baseline=$(awk '$1 == "baseline" { print $3 }' <<<"$output")
[[ $(wc -l <<<"$lines") -eq $runs ]] || {
  echo "error: spooler_restart.exe did not finish its $runs restarts" >&2
  exit 1
}

# Columns of "run N wall MS cpu MS linux-cpu MS stop-polls N start-polls N".
sum() { stats sum --column "$1" --digits 1 <<<"$lines"; }
read -r wall_m wall_lo wall_hi < <(stats summary --column 4 <<<"$lines")
pauses=$(awk '{ print ($10 + $12) * 100 }' <<<"$lines" | stats median)
read -r beyond_m beyond_lo beyond_hi < <(awk '{ print $4 - ($10 + $12) * 100 }' <<<"$lines" | stats summary)
wall_total=$(sum 4)
win_total=$(sum 6)
linux_total=$(sum 8)
read -r linux_m linux_lo linux_hi < <(stats summary --column 8 --scale 1000 <<<"$lines")

ms() { awk -v u="$1" 'BEGIN { printf "%.2f", u / 1000 }'; }
share() { awk -v a="$1" -v b="$2" 'BEGIN { if (a < 0) print "-"; else printf "%.2f %%", 100 * a / b }'; }

cat <<EOF
## CPU while the spooler restarts

The installer restarts the spooler by stopping it, polling every 100 ms until it is stopped,
starting it and polling every 100 ms until it runs. Measured on Wine's real Spooler service by
\`tools/bench/spooler_restart.c\`, which makes the same calls; $runs restarts. The CPU time is the
calling process's only (the service runs in Wine's services process). GetProcessTimes counts in
10 ms ticks under Wine, so the Linux scheduler's own figure for the process is given beside it.

| Figure | Measured | Beside |
|---|---|---|
| wall time of one restart | $wall_m ms (median; $wall_lo-$wall_hi) | floor: $pauses ms of 100 ms pauses (median) |
| wall time beyond the pauses | $beyond_m ms (median; $beyond_lo-$beyond_hi) | floor: 0 ms |
| CPU per restart, Linux scheduler | $(ms "$linux_m") ms (median; $(ms "$linux_lo")-$(ms "$linux_hi")) | **$(share "$linux_total" "$wall_total")** of the wall time; the reading itself costs ${baseline:--} ms |
| CPU of all $runs restarts, GetProcessTimes | $win_total ms | $(share "$win_total" "$wall_total") of $wall_total ms wall time |
EOF
