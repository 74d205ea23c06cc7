#!/usr/bin/env bash
# Start-up until Install is enabled: the real installer.exe under Wine (timed from inside Wine by
# tools/bench/startup_time.c) and the simulated machine (installer-sim's virtual time, with the
# wall time of the headless run). The floor is the start-up's fixed pauses: 120 ms of archive
# pauses, plus one 100 ms poll when the spooler has to be started first. Prints a Markdown section.
#
#   bash bench/startup_bench.sh [--runs N]   (BENCH_QUICK=1: one run)
# Needs build-win/installer.exe and 7-zip32.dll, and a host build (BUILD_DIR, default build-bench,
# as run-all.sh makes it) with installer-sim and the sample package.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
win=$(cd "${BUILD_WIN:-build-win}" && pwd)
work=$build/bench/startup
tools=${BENCH_TOOLS:-$build/bench-tools}
source "$root/bench/runs.sh"
bench_runs 10 "$@"
sim=$build/tools/installer-sim/installer-sim
sample=$build/sample/DriverData.Drv
for f in "$win/installer.exe" "$win/7-zip32.dll" "$sim" "$sample"; do
  [[ -f $f ]] || { echo "error: $f not built" >&2; exit 1; }
done
[[ -f $tools/startup_time.exe ]] || bash tools/bench/build.sh "$tools" >/dev/null
source "$root/tests/wine/wine-env.sh"
# Statistics of numbers one a line (bench/stats.py).
stats() { python3 "$root/bench/stats.py" "$@"; }

bench_wine_setup "$build/bench/wine"

# ---- Wine ------------------------------------------------------------------------------------------

rm -rf "$work"
mkdir -p "$work/package" "$work/bare"
cp "$win/installer.exe" "$win/7-zip32.dll" "$sample" "$work/package/"
cp "$win/installer.exe" "$work/bare/"

# startup_runs FOLDER N: N runs of the installer in FOLDER, one "window listed enabled" line each.
startup_runs() {
  wine "$tools/startup_time.exe" "$(winepath -w "$1/installer.exe")" "$2" 2>>"$work/errors.log" |
    tr -d '\r' | awk '$1 == "run" { print $4, $6, $8 }'
}

# The first start-up of a fresh prefix finds the spooler stopped and starts it.
[[ $(bench_spooler_state) == STOPPED ]] || wine sc stop spooler >/dev/null 2>&1
cold=$(startup_runs "$work/package" 1)
warm=$(startup_runs "$work/package" "$runs")
bare=$(startup_runs "$work/bare" "$runs")
[[ -n $cold && -n $warm && -n $bare ]] || {
  echo "error: a Wine start-up run failed (see $work/errors.log)" >&2
  exit 1
}

column_stats() { stats summary --column "$1"; }

# row LABEL LINES FLOOR: median (min-max) of each column.
row() {
  local label=$1 lines=$2 floor=$3 c cells=() m lo hi
  for c in 1 2 3; do
    read -r m lo hi < <(column_stats "$c" <<<"$lines")
    if [[ $m == -1 || $m == - ]]; then
      cells+=("-")
    elif [[ $lo == "$hi" ]]; then
      cells+=("$m ms")
    else
      cells+=("$m ms ($lo-$hi)")
    fi
  done
  printf '| %s | %s | %s | **%s** | %s |\n' "$label" "${cells[@]}" "$floor"
}

# ---- simulated machine -----------------------------------------------------------------------------

# The Windows 10 64-bit profile with the bench build's sample; a second one with the spooler stopped.
python3 - "$root/profiles/win10-x64.json" "$sample" "$work" <<'EOF'
import json, re, sys
text = open(sys.argv[1]).read()
profile = json.loads(re.sub(r'^\s*//.*$', '', text, flags=re.M))
profile["package"] = sys.argv[2]
json.dump(profile, open(sys.argv[3] + "/sim-running.json", "w"))
profile["services"] = {"Spooler": {"state": "stopped", "pending_polls": 0}}
json.dump(profile, open(sys.argv[3] + "/sim-stopped.json", "w"))
EOF

# sim_run PROFILE: "VIRTUAL_MS WALL_MS" of one headless start-up that ends when Install is enabled.
sim_run() {
  local t0 t1 virtual
  t0=$(date +%s%N)
  virtual=$("$sim" --profile "$1" | sed -n 's/^ *\([0-9]*\) ms  Install button "&Install" enabled$/\1/p')
  t1=$(date +%s%N)
  echo "${virtual:--1} $(((t1 - t0) / 1000000))"
}

sim_row() {
  local label=$1 profile=$2 floor=$3 lines='' i vm vlo vhi wm wlo whi virtual
  for ((i = 0; i < runs; i++)); do lines+=$(sim_run "$profile")$'\n'; done
  read -r vm vlo vhi < <(column_stats 1 <<<"$lines")
  read -r wm wlo whi < <(column_stats 2 <<<"$lines")
  # Virtual time is the same every run; a spread would mean the run is not deterministic.
  virtual="$vm ms virtual"
  [[ $vlo == "$vhi" ]] || virtual+=" ($vlo-$vhi)"
  printf '| %s | %s | %s ms (%s-%s) | %s |\n' "$label" "$virtual" "$wm" "$wlo" "$whi" "$floor"
}

cat <<EOF
## Start-up until Install is enabled

Under Wine: the real \`installer.exe\` in a fresh 64-bit Windows 10 prefix, timed from its launch
by \`tools/bench/startup_time.c\` inside Wine (polls every 2 ms); median (min-max) of $runs runs.
"List filled" is when the driver list first has items, after the spooler check, the port list and
the package extraction. The floor is the start-up's fixed pauses.

| Wine run | Launch to window | to list filled | to Install enabled | Floor |
|---|---|---|---|---|
EOF
row "first start of the prefix (spooler stopped)" "$cold" "220 ms (120 ms archive pauses + one 100 ms spooler poll)"
row "with the package (spooler running)" "$warm" "120 ms (archive pauses)"
row "peer: same exe without package or archive library" "$bare" "10 ms (archive pause)"
cat <<EOF

On the simulated machine (\`installer-sim\`, profile \`profiles/win10-x64.json\` with the sample
package): virtual time until Install is enabled, and the real wall time of the whole headless run
(process start to exit); median (min-max) of $runs runs.

| installer-sim run | Virtual time to Install enabled | Wall time of the run | Floor |
|---|---|---|---|
EOF
sim_row "spooler running" "$work/sim-running.json" "120 ms"
sim_row "spooler stopped, running at the first poll" "$work/sim-stopped.json" "220 ms"
