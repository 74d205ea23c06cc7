#!/usr/bin/env bash
# Builds the pty shim for both word sizes under OUTDIR, in the folders the
# dynamic linker's $LIB names on Debian, so one setting serves 32- and 64-bit
# processes: LD_PRELOAD='OUTDIR/$LIB/shim.so'. Usage: build.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: build.sh OUTDIR}
flags=(-shared -fPIC -O2 -Wall -Wextra -Werror -nostdlib -fno-stack-protector)
for arch in i386 x86_64; do
  libc=/usr/lib/$arch-linux-gnu/libc.so.6
  [[ -f $libc ]] || { echo "missing $libc" >&2; exit 1; }
  mkdir -p "$out/lib/$arch-linux-gnu"
  m=-m64
  [[ $arch == i386 ]] && m=-m32
  gcc "$m" "${flags[@]}" -o "$out/lib/$arch-linux-gnu/shim.so" "$here/shim.c" "$libc"
done
echo "built $out/lib/{i386,x86_64}-linux-gnu/shim.so"
