#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (-fsanitize=fuzzer,address,
# undefined) in build-fuzz/ and runs each for a bounded time:
#   archive_fuzz    bytes as a ZIP archive, extracted by the archive library
#                   and read by drvpack's package check
#   catalogue_fuzz  bytes as C:\DriverName.cfg, read by the real dialog's
#                   start-up on a simulated machine
#   drvpack_fuzz    bytes as DriverName.cfg, checked by drvpack's catalogue rules
#   profile_fuzz    bytes as an installer-sim machine profile: read, checked,
#                   and built into a machine when taken
#   script_fuzz     bytes as an installer-sim script: read, checked, and run
#                   on the built-in machine when taken
#
# Usage: scripts/fuzz.sh [TARGET...]                  (default: all)
#   FUZZ_SECONDS=n   time per target (default 60)
#   JOBS=n           build jobs (default: nproc)
# Seeds: fuzz/corpus/TARGET/ (kept in the repository), archives made now from
# the sample package, and build-fuzz/corpus/TARGET/ (what earlier runs found).
# Crashing inputs are saved under build-fuzz/crashes/; a crash, a timeout or
# a broken invariant makes the script exit non-zero. Replay one with
#   build-fuzz/fuzz/TARGET FILE
set -uo pipefail # no -e: every target runs, failures are counted
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"
seconds="${FUZZ_SECONDS:-60}"
jobs="${JOBS:-$(nproc)}"
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=(archive_fuzz catalogue_fuzz drvpack_fuzz profile_fuzz script_fuzz)
cd "$root"

have_toolchain() {
  command -v clang++ >/dev/null && command -v python3 >/dev/null &&
    compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null
}
if ! have_toolchain; then
  bash scripts/setup.sh --no-wine || exit 1
  have_toolchain || {
    echo "fuzz: clang with libFuzzer (clang, libclang-rt-14-dev) and python3 are needed" >&2
    exit 1
  }
fi

start=$SECONDS
mkdir -p "$build/crashes"
echo "== building $build (clang, log: $build/build.log)"
# Asserts stay on; -O1 keeps the runs fast and the stacks readable. Clang
# warns where g++ does not, so warnings are not errors here.
if ! { CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE= -DCMAKE_C_FLAGS="-O1 -g" \
  -DCMAKE_CXX_FLAGS="-O1 -g" -DINSTALLER_FUZZ=ON -DBUILD_TESTING=OFF -DINSTALLER_WERROR=OFF &&
  cmake --build "$build" -j"$jobs" --target "${targets[@]}"; } >"$build/build.log" 2>&1; then
  tail -n 30 "$build/build.log"
  echo "fuzz: build failed" >&2
  exit 1
fi
echo "   built in $((SECONDS - start))s"

# The sample package as seeds: the host build's, else one made here.
package="$root/build/sample/DriverData.Drv"
if [[ ! -f $package ]]; then
  cmake --build "$build" -j"$jobs" --target sample_package >>"$build/build.log" 2>&1
  package="$build/sample/DriverData.Drv"
fi
rm -rf "$build/seeds"
mkdir -p "$build/seeds/archive" "$build/seeds/catalogue" "$build/seeds/drvpack" "$build/seeds/profile" "$build/seeds/script"
if [[ -f $package ]]; then
  python3 fuzz/make_archive_corpus.py "$build/seeds/archive" "$package" >/dev/null
else
  echo "   (no sample package: seeds from fuzz/corpus only)"
fi

# The targets write their temporary folders to a RAM disk where there is one.
scratch="$(mktemp -d "$( [[ -w /dev/shm ]] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/installer-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

declare -A result=()
failed=0
for target in "${targets[@]}"; do
  name="${target%_fuzz}"
  binary="$build/fuzz/$target"
  log="$build/$target.log"
  if [[ ! -x $binary || ! -d fuzz/corpus/$name ]]; then
    result[$target]="FAIL: no such target"
    failed=1
    continue
  fi
  mkdir -p "$build/corpus/$name"
  before="$(ls "$build/crashes" | wc -l)"
  echo "== $target for ${seconds}s (log: $log)"
  TMPDIR="$scratch" "$binary" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
    -dict="fuzz/$name.dict" -artifact_prefix="$build/crashes/$target-" \
    "$build/corpus/$name" "fuzz/corpus/$name" "$build/seeds/$name" >"$log" 2>&1
  rc=$?
  after="$(ls "$build/crashes" | wc -l)"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
  cov="$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1)"
  corpus="$(ls "$build/corpus/$name" | wc -l)"
  summary="${runs:-?} runs, ${speed:-?}/s, ${cov:-cov: ?}, corpus $corpus"
  if [[ $rc -eq 0 && $after -eq $before ]]; then
    result[$target]="ok   $summary"
  else
    grep -E -m 5 'ERROR|invariant broken|runtime error|Test unit written' "$log" | sed 's/^/   /'
    result[$target]="FAIL (exit $rc, $((after - before)) new crashers in $build/crashes) $summary"
    failed=1
  fi
done

echo
echo "fuzz summary (${seconds}s per target, $((SECONDS - start))s in all):"
for target in "${targets[@]}"; do printf '  %-15s %s\n' "$target" "${result[$target]}"; done
exit $failed
