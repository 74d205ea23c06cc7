#!/usr/bin/env bash
# Runs every benchmark and writes docs/PERFORMANCE.md: the machine, then each figure beside its
# floor or a peer measured in the same run.
#
#   bash bench/run-all.sh [--quick]
#
# Host figures come from a Release build of the host tools in build-bench/ (made or brought up to
# date here); the Windows figures from build-win/ (built by scripts/build-windows.sh if missing).
# The Wine benchmarks share one virtual display and one fresh prefix (the installation benchmark
# makes a 32-bit one of its own). Logs: build-bench/bench/*.log.
#
# --quick (CI, after scripts/build-host.sh and scripts/build-windows.sh): every benchmark once with
# the smallest data that still exercises it, on the builds as they are (build/, build-win/), so
# that a benchmark that stops working fails the run; its figures go to build/bench/quick.md and
# docs/PERFORMANCE.md is left alone. Every bench script takes BENCH_QUICK=1 the same way.
set -uo pipefail # no -e: a failed benchmark is reported in the document, the others still run
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
quick=0
case ${1:-} in
  --quick) quick=1 ;;
  '') ;;
  *) echo "usage: bash bench/run-all.sh [--quick]" >&2; exit 2 ;;
esac
if ((quick)); then
  export BENCH_QUICK=1 BUILD_DIR=$root/build
  doc=$BUILD_DIR/bench/quick.md
else
  unset BENCH_QUICK
  export BUILD_DIR=$root/build-bench
  doc=$root/docs/PERFORMANCE.md
fi
export BUILD_WIN=$root/build-win BENCH_TOOLS=$BUILD_DIR/bench-tools
logs=$BUILD_DIR/bench
start=$SECONDS
failed=0
mkdir -p "$logs"

say() { printf 'bench [%3ds] %s\n' $((SECONDS - start)) "$*" >&2; }

load() { cut -d' ' -f1-3 /proc/loadavg; }
machine_load_before=$(load)

if ((quick)); then
  # The test build's tools: only their up-to-date check, no second configuration.
  say "host tools (drvpack, sample package, installer-sim) in build/"
  host_build() { cmake --build "$BUILD_DIR" -j"$(nproc)" --target drvpack sample_package installer-sim; }
else
  say "host Release build (drvpack, sample package, installer-sim) in build-bench/"
  host_build() {
    cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF &&
      cmake --build "$BUILD_DIR" -j"$(nproc)" --target drvpack sample_package installer-sim
  }
fi
host_build >"$logs/build-host.log" 2>&1 || {
  tail -n 20 "$logs/build-host.log" >&2
  say "error: the host build failed (see $logs/build-host.log)"
  exit 1
}
if [[ ! -f $BUILD_WIN/installer.exe || ! -f $BUILD_WIN/7-zip32.dll ]]; then
  say "Windows build (scripts/build-windows.sh)"
  bash scripts/build-windows.sh >"$logs/build-windows.log" 2>&1 || {
    say "error: the Windows build failed (see $logs/build-windows.log)"
    exit 1
  }
fi
bash tools/bench/build.sh "$BENCH_TOOLS" >"$logs/build-tools.log" 2>&1 || {
  say "error: building the benchmark programs failed (see $logs/build-tools.log)"
  exit 1
}

# The synthetic package of the extraction bench takes a while to make: reuse the host build's.
((quick)) || for f in "$root"/build/bench/synthetic-*.Drv; do
  [[ -f $f && ! -f $logs/$(basename "$f") ]] && { ln "$f" "$logs/" 2>/dev/null || cp "$f" "$logs/"; }
done

source "$root/tests/wine/wine-env.sh"
# The installer is a 32-bit program: where the kernel runs no 32-bit x86 program, Wine cannot
# start it, and the Wine benchmarks are left out (said in the document), not failed.
wine_ok=1
if ! no_x86=$(bash scripts/x86-programs-run.sh); then
  wine_ok=0
  say "Wine benchmarks skipped: $no_x86"
else
  no_x86=
  say "Wine prefix and display"
  bench_wine_setup "$logs/wine" || wine_ok=0
fi

# section NAME TITLE COMMAND...: runs one benchmark; its Markdown, or a note that it failed.
sections=()
section() {
  local out=$logs/$1 title=$2 t=$SECONDS
  shift 2
  say "$title ($*)"
  if ! "$@" >"$out.md" 2>"$out.log"; then
    failed=$((failed + 1))
    say "  FAILED (log: ${out#"$root"/}.log):"
    tail -n 5 "$out.log" >&2
    printf '## %s\n\nFailed in this run: `%s` (log: `%s`):\n\n```\n%s\n```\n' "$title" "$*" \
      "${out#"$root"/}.log" "$(tail -n 5 "$out.log")" >"$out.md"
  fi
  sections+=("$out.md")
  say "  $((SECONDS - t))s"
}

extraction() {
  cat <<'EOF'
## Archive extraction

Our archive reader (`drvpack extract`, the code inside 7-zip32.dll, host Release build) beside
`7z x` and `unzip` on the same archives: the sample package and a synthetic ~100 MB package that
drvpack accepts (the sample's catalogue and files, with compressible text, half-compressible data,
random bytes and many small files beside them). Best wall time of 3 runs (10 for the sample).

EOF
  bash bench/extract_bench.sh
}

section extraction "Archive extraction" extraction
section sim_install "Install until Finish on the simulated machine" bash bench/sim_install_bench.sh
section catalogue "Start-up with a large catalogue on the simulated machine" bash bench/catalogue_bench.sh
section script "Long scripts on the simulated machine" bash bench/script_bench.sh
if ((wine_ok)); then
  section startup "Start-up until Install is enabled" bash bench/startup_bench.sh
  section spooler "CPU while the spooler restarts" bash bench/spooler_bench.sh
  section install "Install until Finish (parallel port)" bash bench/install_bench.sh
  section probe "Probing time per COM port" bash bench/probe_bench.sh
elif [[ -n $no_x86 ]]; then
  printf '## Wine benchmarks\n\nNot run: %s.\n' "$no_x86" >"$logs/wine-skipped.md"
  sections+=("$logs/wine-skipped.md")
else
  failed=$((failed + 4)) # startup, spooler, install, probe
  printf '## Wine benchmarks\n\nNot run: the Wine prefix could not be made (see `%s`).\n' \
    "${logs#"$root"/}/wine/wine-setup.log" >"$logs/wine-failed.md"
  sections+=("$logs/wine-failed.md")
fi
section binaries "Binaries" bash bench/binary_bench.sh
bench_wine_cleanup

commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
[[ -n $(git status --porcelain -- src archive-dll 2>/dev/null) ]] && commit+=" with uncommitted changes in src/ or archive-dll/"
{
  cat <<EOF
# Performance

Generated by \`bash bench/run-all.sh\`; do not edit, run it again. Figures are wall times unless
said otherwise; each stands beside its floor (the fixed pauses or the smallest possible) or a
peer measured in the same run.

| | |
|---|---|
| Date | $(date -u '+%Y-%m-%d %H:%M UTC') |
| Machine | $(nproc) CPUs (nproc), $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1), $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory |
| System | $(uname -sr), $(. /etc/os-release && echo "$PRETTY_NAME"), $(wine --version 2>/dev/null || echo "no Wine") |
| Load average (1, 5, 15 min) | $machine_load_before at the start, $(load) at the end |
| Source | commit $commit; installer.exe of $(date -u -r "$BUILD_WIN/installer.exe" '+%Y-%m-%d %H:%M UTC') |
| Run time | $((SECONDS - start)) s |

EOF
  for s in "${sections[@]}"; do
    cat "$s"
    echo
  done
} >"$doc"
say "wrote ${doc#"$root"/} ($failed benchmark(s) failed)"
((failed == 0))
