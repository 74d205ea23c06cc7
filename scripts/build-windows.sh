#!/usr/bin/env bash
# Configures and builds the Windows installer.exe (and printer-setup.exe,
# drvpack.exe) with the MinGW-w64 i686 cross compiler, then checks that
# each is a 32-bit program of its subsystem importing only
# DLLs the loader cannot take from beside the program (no MinGW run-time
# DLLs, no winspool.drv: docs/ARCHITECTURE.md). Safe to re-run.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-build-win}"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"

# DLLs the product may import statically (lower case): Windows' known DLLs,
# which the loader maps from the system folder only, and comctl32.dll, which
# the manifest's side-by-side dependency resolves to the system's copy.
allowed_dlls=(kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll shell32.dll ole32.dll comctl32.dll)

cd "$root"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j2

# check_pe EXE SUBSYSTEM [RIGHTS]: EXE is a 32-bit x86 PE of that subsystem (GUI or console)
# importing only allowed system DLLs, with the manifest's rights request unless RIGHTS is "none".
check_pe() {
  local exe=$1 subsystem=$2 rights=${3:-highestAvailable} kind dlls dll lower ok allowed bad=0
  if [[ ! -f "$exe" ]]; then
    echo "error: $exe was not built" >&2
    return 1
  fi
  kind="$(file -b "$exe")"
  if [[ ! "$kind" =~ ^PE32\ .*\($subsystem\).*(Intel\ 80386|i386) ]]; then
    echo "error: $exe is not a 32-bit x86 $subsystem PE: $kind" >&2
    return 1
  fi
  mapfile -t dlls < <("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r')
  if [[ ${#dlls[@]} -eq 0 ]]; then
    echo "error: no import table found in $exe" >&2
    return 1
  fi
  for dll in "${dlls[@]}"; do
    lower="${dll,,}"
    ok=0
    for allowed in "${allowed_dlls[@]}"; do
      [[ "$lower" == "$allowed" ]] && ok=1 && break
    done
    if [[ $lower == winspool.drv ]]; then
      echo "error: $exe imports WINSPOOL.DRV statically; it must be delay-loaded from the system folder (src/platform/win32/delay_load.cpp)" >&2
      bad=1
    elif [[ $ok -eq 0 ]]; then
      echo "error: $exe imports $dll, which is not a known DLL the loader takes from the system folder only" >&2
      bad=1
    fi
  done
  [[ $bad -eq 0 ]] || return 1
  # The manifest resource asks for the administrator's rights where the user has them.
  if [[ $rights != none ]] && ! grep -aq 'requestedExecutionLevel level="highestAvailable"' "$exe"; then
    echo "error: $exe has no manifest asking for highestAvailable" >&2
    return 1
  fi
  echo "$exe: $kind"
  echo "imports: ${dlls[*]}"
}

# installer.exe, the window; printer-setup.exe, its console companion for unattended installs.
check_pe "$build/installer.exe" GUI
check_pe "$build/printer-setup.exe" console
# drvpack.exe, the vendor's package builder: it changes nothing on the machine and asks for no rights.
check_pe "$build/drvpack.exe" console none
