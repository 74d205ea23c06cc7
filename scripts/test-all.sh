#!/usr/bin/env bash
# Every test: the host suite (CTest, the example installer-sim runs
# included), again under ASan and UBSan, the Windows build with its import check, the
# end-to-end run under Wine, a quick pass of every benchmark, and the release
# package built and checked (with the Wine run's fresh screenshots).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh

echo "== host build and tests"
bash scripts/build-host.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

# The host suite (examples included) again under AddressSanitizer with
# UndefinedBehaviorSanitizer (scripts/sanitizers.sh thread runs ThreadSanitizer
# too, outside CI).
echo "== host tests under ASan and UBSan"
bash scripts/sanitizers.sh address

echo "== Windows build"
bash scripts/build-windows.sh

# The installer is a 32-bit program: Wine runs it only where the kernel runs
# 32-bit x86 programs. Elsewhere the Wine stage says so and the release is
# built and checked without the screenshots its Wine run would take.
echo "== Wine end to end"
release_options=()
if reason=$(bash scripts/x86-programs-run.sh); then
  bash scripts/wine-e2e.sh
else
  echo "SKIPPED: the Wine end-to-end tests did not run: $reason"
  release_options+=(--no-screenshots)
fi

# Every benchmark once, so that one that stops working fails CI; the figures
# come from the full `bash bench/run-all.sh`.
echo "== benchmarks, quick pass"
bash bench/run-all.sh --quick

echo "== release package"
bash scripts/release.sh ${release_options[@]+"${release_options[@]}"}
