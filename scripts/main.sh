#!/usr/bin/env bash
# The main job: set up the machine, build both builds (the product and the
# simulated one with the sample driver package), run the real installer
# under Wine with the sample package, run installer-sim on the built-in
# Windows 10 machine, and build the release package.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh

echo "== host build (installer-sim, tests, the sample package)"
bash scripts/build-host.sh

echo "== Windows build"
bash scripts/build-windows.sh

echo "== installer-sim on the built-in Windows 10 64-bit machine"
build/tools/installer-sim/installer-sim --state build/installer-sim-state.json
echo "final machine state: build/installer-sim-state.json"

echo "== the installer under Wine with the sample package"
release_options=()
if ! reason=$(bash scripts/x86-programs-run.sh); then
  echo "SKIPPED: $reason"
  release_options+=(--no-screenshots)
elif [[ -f build/sample/DriverData.Drv ]]; then
  bash scripts/wine-e2e.sh test_package_catalogue_listed_unpacked_and_removed_on_close
else
  echo "no sample package was built (the MinGW compilers for its monitor DLLs are missing): start-up only"
  bash scripts/wine-e2e.sh test_startup_reports_windows10_64bit_and_closes_cleanly
fi

echo "== release package"
bash scripts/release.sh ${release_options[@]+"${release_options[@]}"}
