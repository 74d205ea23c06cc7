#!/usr/bin/env bash
# Installs everything the builds and tests need on a Debian 12 machine (run
# as root). Safe to re-run: packages already present are not fetched again.
set -euo pipefail

host_packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev zlib1g-dev clang-format file zip unzip p7zip-full
  libminizip-dev)
# x86-64 MinGW: the sample package's 64-bit language monitor DLL.
windows_packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686
  libz-mingw-w64-dev gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64)
# fonts-wqy-microhei: a font with Chinese and Latin letters, for the code page 936 Wine run's
# dialogs; locales: localedef, which makes that run's Unix locales.
# python3-pytest: the Wine run is a pytest suite (tests/wine), run by Debian's python3.
wine_packages=(wine wine32:i386 wine64 xvfb socat imagemagick x11-apps fonts-wqy-microhei locales
  python3-pytest)
# scripts/fuzz.sh: clang with libFuzzer and the sanitizer run-times; python3
# writes the seed archives.
fuzz_packages=(clang libclang-rt-14-dev python3)

want=("${host_packages[@]}" "${windows_packages[@]}" "${fuzz_packages[@]}")
if [[ "${1:-}" != "--no-wine" ]]; then
  want+=("${wine_packages[@]}")
fi

missing=()
for package in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "setup: everything is installed"
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "setup: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi

if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
echo "setup: done"
