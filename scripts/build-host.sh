#!/usr/bin/env bash
# Configures and builds the host build (simulated machine, tests,
# installer-sim) in build/. Warnings are errors.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-build}"
cd "$root"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Debug}" -DINSTALLER_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
