#!/usr/bin/env bash
# Long scripts on the simulated machine: installer-sim reads, checks and plays a script of 1,000,
# 10,000 and 100,000 steps (the user retypes the printer name over and over, then closes the
# window). The time per step stays flat when the run is linear in the script's length. Prints a
# Markdown section.
#
#   bash bench/script_bench.sh [--runs N]   (BENCH_QUICK=1: one run)
# Needs a host build (BUILD_DIR, default build-bench, as run-all.sh makes it) with installer-sim.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
source "$root/bench/runs.sh"
bench_runs 3 "$@"
bench_sim_work script

# script STEPS: waits for Install, types STEPS printer names, closes the window.
script() {
  local out=$work/steps-$1.json
  python3 - "$1" "$out" <<'PY'
import json, sys
steps, out = int(sys.argv[1]), sys.argv[2]
typed = [{"type": {"control": "printer-name", "text": "Printer %d" % i}} for i in range(steps)]
json.dump({"steps": [{"wait": {"enabled": "install"}}] + typed + [{"close": True}]}, open(out, "w"))
PY
  echo "$out"
}

now_ns() { date +%s%N; }

# row STEPS: one table row, median (min-max) wall time of the runs and the median per step.
row() {
  local scr i t0 t1 out walls=() median lo hi
  scr=$(script "$1")
  for ((i = 0; i < runs; i++)); do
    t0=$(now_ns)
    out=$("$sim" --script "$scr" 2>&1) || { echo "error: installer-sim failed:" >&2; tail -n 5 <<<"$out" >&2; return 1; }
    t1=$(now_ns)
    walls+=($(((t1 - t0) / 1000)))
  done
  read -r median lo hi < <(printf '%s\n' "${walls[@]}" | python3 "$root/bench/stats.py" summary --scale 0.001 --digits 0)
  printf '| %s | **%s ms** (%s-%s) | %s us |\n' "$1" "$median" "$lo" "$hi" \
    "$(python3 -c 'import sys; print(round(float(sys.argv[1]) * 1000 / int(sys.argv[2]), 1))' "$median" "$1")"
}

cat <<EOF
## Long scripts on the simulated machine

installer-sim with a script of the given number of steps (each types a new printer name; then the
window closes): reading and checking the script, the start-up and every step. Wall time of the
whole run, median (min-max) of $runs, and that median per step: a flat figure per step is a run
linear in the script's length (the JSON reader's depth check once took quadratic time here).

| Steps | Wall time of the run | Per step |
|---|---|---|
EOF
row 1000
row 10000
row 100000
