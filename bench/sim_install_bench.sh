#!/usr/bin/env bash
# Install press to "&Finish" for each port type on the simulated machine: installer-sim runs the
# real installer logic headless (the profile's services answer at once, so the virtual time from
# the click on Install to the button reading "&Finish" is exactly the path's fixed pauses and polls:
# its floor), and the wall time of the whole run shows what the logic itself costs. Prints a
# Markdown section.
#
#   bash bench/sim_install_bench.sh [--runs N]   (BENCH_QUICK=1: one run)
# Needs a host build (BUILD_DIR, default build-bench, as run-all.sh makes it) with installer-sim
# and the sample package.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$(cd "${BUILD_DIR:-build-bench}" && pwd)
source "$root/bench/runs.sh"
bench_runs 10 "$@"
sim=$build/tools/installer-sim/installer-sim
sample=$build/sample/DriverData.Drv
for f in "$sim" "$sample"; do
  [[ -f $f ]] || { echo "error: $f not built" >&2; exit 1; }
done
work=$build/bench/sim-install
rm -rf "$work"
mkdir -p "$work"

# The profiles name the source tree's sample package; the bench build's takes its place.
profile() {
  local out=$work/$(basename "$1")
  [[ -f $out ]] || python3 - "$root/$1" "$sample" "$out" <<'PY'
import json, re, sys
text = open(sys.argv[1]).read()
profile = json.loads(re.sub(r'^\s*//.*$', '', text, flags=re.M))
profile["package"] = sys.argv[2]
json.dump(profile, open(sys.argv[3], "w"), indent=2)
PY
  echo "$out"
}

# ms: nanoseconds since the epoch, in milliseconds with one decimal.
now_ns() { date +%s%N; }

# row LABEL PROFILE SCRIPT [END]: one table row; the virtual times come from the transcript, from
# the click on Install to the first line matching END (default: the button reads "&Finish").
row() {
  local label=$1 prof script=$3 end=${4:-'Install button: "&Finish"'} i t0 t1 transcript virtual walls=()
  prof=$(profile "$2")
  for ((i = 0; i < runs; i++)); do
    t0=$(now_ns)
    transcript=$("$sim" --profile "$prof" --script "$root/$script" 2>&1) || {
      echo "error: installer-sim failed on $script:" >&2
      tail -n 5 <<<"$transcript" >&2
      return 1
    }
    t1=$(now_ns)
    walls+=($(((t1 - t0) / 1000)))
  done
  virtual=$(awk -v end="$end" '
    /user: click "&Install"/ && click == "" { click = $1 }
    index($0, end) && click != "" && finish == "" { finish = $1 }
    END { if (click == "" || finish == "") print "-"; else print finish - click }' <<<"$transcript")
  [[ $virtual == - ]] && { echo "error: $script never reached $end" >&2; return 1; }
  read -r median lo hi < <(printf '%s\n' "${walls[@]}" | python3 "$root/bench/stats.py" summary --scale 0.001 --digits 1)
  printf '| %s | `%s` | **%s ms** | %s ms (%s-%s) |\n' "$label" "$(basename "$script")" "$virtual" "$median" "$lo" "$hi"
}

cat <<EOF
## Install until Finish on the simulated machine

installer-sim with the sample package: the click on Install to the button reading "&Finish", in the
simulated machine's virtual time. The simulated services answer at once, so that time is the path's
fixed pauses and polls alone: the floor any machine adds its own service times to. Beside it, the
real wall time of the whole run (start-up, installation, closing), median (min-max) of $runs.
The serial path shows "&Finish" as the prompt closes and then probes the COM ports, 700 ms each:
its row runs to the end of the probe (progress at 100), the printer answering on the second port.

| Port type | Script | Install to "&Finish" (virtual: the floor) | Wall time of the run |
|---|---|---|---|
EOF
row "USB (receipt, found on line)" profiles/win10-x64.json examples/scripts/install-receipt-usb.json
row "serial (receipt, prompt, probe at 9600)" profiles/win10-x64-serial.json \
  examples/scripts/install-receipt-serial-probe.json "progress: 100"
row "parallel (receipt, one LPT port)" profiles/win7-x86.json bench/sim/install-receipt-parallel.json
row "TCP/IP (receipt, port added)" profiles/win7-x86.json bench/sim/install-receipt-tcpip-add.json
row "parallel (label)" profiles/win7-x86.json examples/scripts/install-label-parallel.json
row "TCP/IP (label, port added)" profiles/win7-x86.json examples/scripts/install-label-tcpip-add.json
