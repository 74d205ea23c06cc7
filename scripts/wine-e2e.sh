#!/usr/bin/env bash
# Headless end-to-end runs of the Windows build under Wine: the pytest suite in tests/wine builds
# installer.exe and the UI driver, makes the prefixes, starts a virtual display and drives the dialog
# as a user would. This script makes sure the machine has what the run needs, then runs it.
#
# Usage: scripts/wine-e2e.sh [--list] [TEST...]      (default: every test)
#   TEST: a test's name, or part of it (pytest -k); --list prints the names
#   WINE_E2E_EXE=path/installer.exe  test that exe instead of building one
#   WINE_E2E_OUT=folder              output folder instead of build/wine-e2e
# Output goes to build/wine-e2e/ (logs, screenshots, prefixes, working folders); a failed test leaves
# its screen, status text and spooler state in build/wine-e2e/failures/TEST/. Exit code: 0 when every
# test passed.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${WINE_E2E_OUT:-$ROOT/build/wine-e2e}
# Debian's interpreter, which has python3-pytest (scripts/setup.sh), whatever else is on PATH.
PYTHON=/usr/bin/python3
export PYTHONDONTWRITEBYTECODE=1
PYTEST=("$PYTHON" -m pytest "$ROOT/tests/wine" -p no:cacheprovider)

log() { echo "wine-e2e: $*"; }
die() {
  log "FAIL: $*"
  exit 1
}

# ---- machine -------------------------------------------------------------------------------------

PACKAGES=(wine wine32:i386 wine64 xvfb socat imagemagick x11-apps g++-mingw-w64-i686 python3
  python3-pytest fonts-wqy-microhei locales)

installed() { [[ $(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]; }

# Installs what is missing (Debian, as root or through sudo -n); a machine that has it all is not
# touched. Without Wine nothing can run: that alone is a skip.
ensure_packages() {
  local missing=() p sudo=
  if command -v dpkg-query >/dev/null; then
    for p in "${PACKAGES[@]}"; do installed "$p" || missing+=("$p"); done
  fi
  if ((${#missing[@]})); then
    ((EUID == 0)) || sudo="sudo -n"
    log "installing ${missing[*]}"
    mkdir -p "$OUT"
    {
      dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
      $sudo apt-get -qq update &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    } >"$OUT/apt.log" 2>&1 || log "package installation failed (see $OUT/apt.log)"
  fi
  if ! command -v wine >/dev/null || { command -v dpkg-query >/dev/null && ! installed wine32:i386; }; then
    echo "wine-e2e: skipped: Wine with 32-bit support (wine, wine32:i386) is not installed and could not be installed"
    exit 0
  fi
  local reason
  if ! reason=$(bash "$ROOT/scripts/x86-programs-run.sh"); then
    echo "wine-e2e: skipped: $reason (scripts/wine-vm.sh runs them in a virtual machine)"
    exit 0
  fi
  for p in Xvfb import identify i686-w64-mingw32-gcc socat; do
    command -v "$p" >/dev/null || die "$p is missing and could not be installed"
  done
}

main() {
  local name k=
  if [[ ${1:-} == --list ]]; then
    "${PYTEST[@]}" --collect-only -q 2>/dev/null | sed -n 's/^[^ ]*::\([^ ]*\)$/\1/p'
    return 0
  fi
  mkdir -p "$OUT"
  ensure_packages
  "$PYTHON" -c 'import pytest' 2>/dev/null || die "python3-pytest is missing (scripts/setup.sh installs it)"
  for name in "$@"; do k+="${k:+ or }$name"; done
  "${PYTEST[@]}" -v ${k:+-k "$k"}
}

main "$@"
