#!/usr/bin/env bash
# Start-up with a large catalogue on the simulated machine: installer-sim runs the real dialog's
# start-up, which walks C:\DriverName.cfg section by section and name by name through the profile
# functions (one GetPrivateProfileStringA per name, one more per section to find its end). The
# simulated profile functions parse the file once per version of it; the wall time of the run is
# measured for the sample's 33 sections and for 700 sections of 50 names, beside the count of
# profile calls each makes. Prints a Markdown section.
#
#   bash bench/catalogue_bench.sh [--runs N]   (BENCH_QUICK=1: one run)
# Needs a host build (BUILD_DIR, default build-bench, as run-all.sh makes it) with installer-sim.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
source "$root/bench/runs.sh"
bench_runs 5 "$@"
bench_sim_work catalogue

# profile SECTIONS NAMES: a machine whose C:\DriverName.cfg has SECTIONS sections ("1", "2"...: short
# names, so all of them fit the dialog's 3000-byte section list) of NAMES names each.
profile() {
  local out=$work/catalogue-$1x$2.json
  python3 - "$1" "$2" "$out" <<'PY'
import json, sys
sections, names, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
text = "".join(
    "[%d]\r\n" % s + "".join("PrintName%d=Model %d-%d\r\n" % (n, s, n) for n in range(1, names + 1))
    for s in range(1, sections + 1))
json.dump({"name": "catalogue of %d sections" % sections,
           "files": {"C:\\DriverName.cfg": {"content": text}}}, open(out, "w"))
PY
  echo "$out"
}

now_ns() { date +%s%N; }

# row SECTIONS NAMES: one table row, median (min-max) wall time of the runs.
row() {
  local prof i t0 t1 out walls=() items size
  prof=$(profile "$1" "$2")
  size=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))["files"]["C:\\DriverName.cfg"]["content"]))' "$prof")
  for ((i = 0; i < runs; i++)); do
    t0=$(now_ns)
    out=$("$sim" --profile "$prof" 2>&1) || { echo "error: installer-sim failed:" >&2; tail -n 5 <<<"$out" >&2; return 1; }
    t1=$(now_ns)
    walls+=($(((t1 - t0) / 1000)))
  done
  items=$(grep -c 'driver list: added' <<<"$out" || true)
  [[ $items -eq $(($1 * $2)) ]] || { echo "error: $items names listed, not $(($1 * $2))" >&2; return 1; }
  read -r median lo hi < <(printf '%s\n' "${walls[@]}" | python3 "$root/bench/stats.py" summary --scale 0.001 --digits 1)
  printf '| %s x %s | %s KB | %s | **%s ms** (%s-%s) |\n' "$1" "$2" $((size / 1024)) $(($1 * ($2 + 1) + 1)) "$median" "$lo" "$hi"
}

cat <<EOF
## Start-up with a large catalogue on the simulated machine

installer-sim's start-up (until Install is enabled, then the window closes) with C:\\DriverName.cfg
of the given size: the walk makes one GetPrivateProfileStringA per name and one more per section,
plus the section list. The simulated profile functions parse the file once and answer every later
call from the parsed copy while the file is unchanged. Wall time of the whole run, median (min-max)
of $runs; the sample package's catalogue is the first row.

| Sections x names | Catalogue | Profile calls | Wall time of the run |
|---|---|---|---|
EOF
row 33 1
row 700 50
