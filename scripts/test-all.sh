#!/usr/bin/env bash
# Every test: the host suite (CTest), the example installer-sim runs, the
# Windows build with its import check, and the end-to-end run under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh

echo "== host build and tests"
bash scripts/build-host.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== installer-sim examples"
bash scripts/check-examples.sh

echo "== Windows build"
bash scripts/build-windows.sh

echo "== Wine end to end"
bash scripts/wine-e2e.sh
