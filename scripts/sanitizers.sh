#!/usr/bin/env bash
# Builds the host build with sanitizers and runs the whole host suite (CTest,
# the installer-sim examples included) under each:
#   address: ASan + UBSan, in build-asan/
#   thread:  TSan, in build-tsan/ (the dialog thread, the start-up worker and
#            the serial monitor are real threads handing a baton around)
#
# Usage: scripts/sanitizers.sh [address] [thread]     (default: both)
#   JOBS=n   parallel build and test jobs (default: nproc)
# Prints a summary; exits non-zero when a build, a test or an example fails
# or a sanitizer reports anything.
set -uo pipefail # no -e: every sanitizer runs, failures are counted
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${JOBS:-$(nproc)}"
kinds=("$@")
[[ ${#kinds[@]} -eq 0 ]] && kinds=(address thread)

# Reports stop the process (UBSan too) so a test cannot pass over one; TSan
# goes on to list every race of the test, then exits 66.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="report_objects=1"
tsan_options="halt_on_error=0:exitcode=66:second_deadlock_stack=1:history_size=4"
# Suppressions for false positives only, each with its reason in the file.
[[ -f "$root/scripts/tsan.supp" ]] && tsan_options+=":suppressions=$root/scripts/tsan.supp"
export TSAN_OPTIONS="$tsan_options"

# What a sanitizer prints when it reports.
markers='ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:|WARNING: ThreadSanitizer|ThreadSanitizer: reported|SUMMARY: (Address|Undefined|Thread|Leak)Sanitizer'

declare -A result=()
failed=0

run_one() {
  local kind=$1 build log start status=ok line tests reports
  case "$kind" in
    address) build="$root/build-asan" ;;
    thread) build="$root/build-tsan" ;;
    *)
      echo "unknown sanitizer '$kind' (address or thread)" >&2
      result[$kind]="FAIL: unknown sanitizer"
      failed=1
      return
      ;;
  esac
  log="$build/sanitizer-run.log"
  start=$SECONDS
  echo "== $kind: building $build"
  mkdir -p "$build"
  : >"$log"
  if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DINSTALLER_SANITIZE="$kind" -DINSTALLER_WERROR=ON && cmake --build "$build" -j"$jobs"; } >>"$log" 2>&1; then
    tail -n 30 "$log"
    result[$kind]="FAIL: build failed after $((SECONDS - start))s (see $log)"
    failed=1
    return
  fi
  echo "== $kind: host suite"
  ctest --test-dir "$build" -j"$jobs" --timeout 300 --output-on-failure >>"$log" 2>&1 || status=fail
  line="$(grep -E 'tests passed|tests failed' "$log" | tail -n 1)"
  tests="${line:-no test summary}"
  # Every test's output, passing ones too, is in CTest's own log.
  reports="$(cat "$log" "$build/Testing/Temporary/LastTest.log" 2>/dev/null | grep -cE "$markers")"
  [[ $reports -gt 0 ]] && status=fail
  if [[ $status == ok ]]; then
    result[$kind]="ok   ($((SECONDS - start))s) tests (examples included): $tests; sanitizer reports: 0"
  else
    grep -E -m 20 "$markers" "$log" "$build/Testing/Temporary/LastTest.log" 2>/dev/null
    sed -n '/The following tests FAILED/,/^Errors/p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' | sed "s/^[[:space:]]*/   $kind: failed /"
    result[$kind]="FAIL ($((SECONDS - start))s) tests (examples included): $tests; sanitizer report lines: $reports (see $log and $build/Testing/Temporary/LastTest.log)"
    failed=1
  fi
}

for kind in "${kinds[@]}"; do run_one "$kind"; done

echo
echo "sanitizers summary:"
for kind in "${kinds[@]}"; do printf '  %-8s %s\n' "$kind" "${result[$kind]}"; done
exit $failed
