#!/usr/bin/env bash
# Exit 0 when this machine can run 32-bit x86 Linux programs, which Wine needs to start the 32-bit
# installer (Debian's 32-bit Wine loader is an i386 ELF program). Otherwise print why and exit 1.
# Some virtual machines run 64-bit user code only: their kernel has IA-32 emulation switched off
# (dmesg: "IA-32 emulation off" or "32-bit emulation disabled"), and exec of an i386 program fails
# with "Exec format error".
set -uo pipefail
loader=/usr/lib/wine/wine
if [[ ! -x $loader ]]; then
  echo "the 32-bit Wine loader $loader is not installed (Debian's wine32:i386)"
  exit 1
fi
if ! "$loader" --version >/dev/null 2>&1; then
  echo "this machine's kernel does not run 32-bit x86 programs (IA-32 emulation is off; see" \
    "'dmesg | grep -i 32-bit'), so Wine cannot start the 32-bit installer"
  exit 1
fi
exit 0
