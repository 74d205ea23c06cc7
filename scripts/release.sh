#!/usr/bin/env bash
# Builds the release package for the vendor's support staff and checks it:
# build/release/printer-installer-VERSION/ holds installer.exe, our
# 7-zip32.dll, the vendor's DriverData.Drv and the support guide
# (docs/release/GUIDE.md) with screenshots of the installer under Wine;
# build/release/printer-installer-VERSION.zip is that folder zipped.
# The second kit, build/release/printer-package-builder-VERSION.zip, is for
# the staff who build the driver package: drvpack.exe and its guide
# (docs/release/PACKAGING.md), no driver files.
#
# Usage: scripts/release.sh [--package FILE] [--no-build]
#   --package FILE  the vendor's driver package, shipped as DriverData.Drv
#                   beside installer.exe; refused unless it passes
#                   `drvpack check --strict` (real Windows binaries only)
#   --no-build      take build-win/ and build/ as they are (no set-up, no builds)
# Without --package it builds the demo release, printer-installer-VERSION-demo:
# no DriverData.Drv beside installer.exe; the sample package (placeholder
# DLLs that would break a real machine's printers) sits in the sub-folder
# sample-package-do-not-install/ with a note saying so.
# The screenshots come from the Wine run's folder (build/wine-e2e, or
# WINE_E2E_OUT as scripts/wine-e2e.sh takes it). They are reused when every
# one is newer than build-win/installer.exe; otherwise the Wine tests that
# take them run again, so the pictures always show the installer shipped.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage() {
  echo "usage: scripts/release.sh [--package FILE] [--no-build]" >&2
  exit 2
}
build=1
vendor_package=
while [[ $# -gt 0 ]]; do
  case "$1" in
    --no-build) build=0 ;;
    --package)
      [[ $# -ge 2 && -n $2 ]] || usage
      # Named from the caller's folder; the script works from the tree's root.
      vendor_package="$(realpath -m -- "$2")"
      shift
      ;;
    *) usage ;;
  esac
  shift
done
cd "$root"

exe="build-win/installer.exe"
setup_exe="build-win/printer-setup.exe"
dll="build-win/7-zip32.dll"
deployment_guide=docs/DEPLOYMENT.md
sample_package=build/sample/DriverData.Drv
drvpack=build/tools/drvpack/drvpack
guide=docs/release/GUIDE.md
drvpack_exe=build-win/drvpack.exe
packaging_guide=docs/release/PACKAGING.md
shots_dir="${WINE_E2E_OUT:-$root/build/wine-e2e}"
# The screenshots the guide shows and the Wine tests that take them.
shots=(startup.png package.png parallel-dialog.png tcpip-dialog.png serial-prompt.png
  receipt-finished.png label-finished.png serial-finished.png)
shot_scenarios=(test_startup_reports_windows10_64bit_and_closes_cleanly
  test_package_catalogue_listed_unpacked_and_removed_on_close
  test_receipt_printer_installs_on_chosen_parallel_port_with_its_files
  test_label_printer_installs_with_its_language_monitor
  test_tcpip_port_stops_without_monitor_and_dialog_opens_with_one
  test_receipt_printer_installs_on_serial_port_found_by_probing)
# The demo release's sample package and the note beside it.
demo_folder=sample-package-do-not-install
demo_note="build/release/demo-package-note.txt"

fail() {
  echo "release: error: $*" >&2
  exit 1
}

# The release is named after the version the program itself carries; the
# CMake project and the version resource must agree on it.
cmake_version="$(sed -n 's/^project([A-Za-z_]* VERSION \([0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)"
rc_version="$(sed -n 's/^PRODUCTVERSION \([0-9]*\), *\([0-9]*\),.*/\1.\2/p' src/res/installer.rc)"
[[ -n $cmake_version && -n $rc_version ]] ||
  fail "cannot read the version from CMakeLists.txt ('$cmake_version') or src/res/installer.rc ('$rc_version')"
[[ $cmake_version == "$rc_version" ]] ||
  fail "CMakeLists.txt says version $cmake_version, the version resource $rc_version"
name="printer-installer-$cmake_version"
[[ -n $vendor_package ]] || name="$name-demo"
release_dir=build/release/$name
zip_file=build/release/$name.zip
kit_name="printer-package-builder-$cmake_version"
kit_dir=build/release/$kit_name
kit_zip=build/release/$kit_name.zip
# A failed run leaves no release behind: neither an older one that looks
# current nor one that did not pass its checks.
rm -rf "$release_dir" "$zip_file" "$kit_dir" "$kit_zip"
released=0
unpacked=
finish() {
  [[ -z $unpacked ]] || rm -rf "$unpacked"
  [[ $released -eq 1 ]] || rm -rf "$release_dir" "$zip_file" "$kit_dir" "$kit_zip"
}
trap finish EXIT

if [[ $build -eq 1 ]]; then
  bash scripts/setup.sh
  echo "== host build (drvpack, the sample package)"
  bash scripts/build-host.sh
  echo "== Windows build"
  bash scripts/build-windows.sh
fi

for f in "$exe" "$setup_exe" "$dll" "$sample_package" "$drvpack" "$guide" "$deployment_guide" "$drvpack_exe" \
  "$packaging_guide"; do
  if [[ ! -f $f ]]; then
    [[ $build -eq 1 ]] || fail "$f is missing: run scripts/release.sh without --no-build"
    fail "$f is missing after the builds"
  fi
done

# What the release holds besides the guide and its screenshots: one entry
# per file, "name in the release|where it comes from". Add files here.
release_files=("installer.exe|$exe" "printer-setup.exe|$setup_exe" "7-zip32.dll|$dll"
  "DEPLOYMENT.md|$deployment_guide")
if [[ -n $vendor_package ]]; then
  [[ -f $vendor_package ]] || fail "no package $vendor_package"
  echo "== drvpack check --strict $vendor_package"
  "$drvpack" check --strict "$vendor_package" ||
    fail "$vendor_package does not pass drvpack check --strict: no release with it"
  release_files+=("DriverData.Drv|$vendor_package")
else
  mkdir -p "$(dirname "$demo_note")"
  cat >"$demo_note" <<'EOF'
This is the SAMPLE driver package: its driver DLLs are small placeholders, not drivers.
Never install it on a real Windows machine: the installer would copy the placeholders over
Windows' shared printer-driver files and break every printer that uses them. Use it only on
a test machine you can throw away. A real release ships the vendor's package as
DriverData.Drv beside installer.exe (scripts/release.sh --package FILE).
EOF
  release_files+=("$demo_folder/DriverData.Drv|$sample_package" "$demo_folder/README.txt|$demo_note")
fi

# The guide must show exactly the screenshots shipped.
mapfile -t linked < <(grep -o '](screenshots/[^)]*)' "$guide" | sed 's/^](screenshots\///; s/)$//' | sort -u)
[[ "$(printf '%s\n' "${linked[@]}")" == "$(printf '%s\n' "${shots[@]}" | sort)" ]] ||
  fail "$guide links screenshots (${linked[*]}) other than the ones shipped (${shots[*]})"

echo "== screenshots"
stale_shots() {
  local shot
  for shot in "${shots[@]}"; do
    [[ -f $shots_dir/$shot && $shots_dir/$shot -nt $exe ]] || echo "$shot"
  done
}
mapfile -t stale < <(stale_shots)
if [[ ${#stale[@]} -eq 0 ]]; then
  echo "reusing the screenshots in $shots_dir (newer than $exe)"
else
  echo "missing or older than $exe: ${stale[*]}"
  # wine-e2e.sh clears every screenshot when it starts, so all the tests
  # that take them run together.
  known="$(bash scripts/wine-e2e.sh --list)"
  for scenario in "${shot_scenarios[@]}"; do
    grep -qx "$scenario" <<<"$known" || fail "scripts/wine-e2e.sh has no test $scenario"
  done
  echo "running the Wine tests ${shot_scenarios[*]}"
  WINE_E2E_EXE="$root/$exe" bash scripts/wine-e2e.sh "${shot_scenarios[@]}" ||
    fail "the Wine run that takes the screenshots failed (see above and $shots_dir)"
  mapfile -t stale < <(stale_shots)
  [[ ${#stale[@]} -eq 0 ]] ||
    fail "no release without its screenshots; the Wine run left none (or an old one) for: ${stale[*]}"
fi

echo "== $release_dir"
mkdir -p "$release_dir/screenshots"
for line in "${release_files[@]}"; do
  mkdir -p "$(dirname "$release_dir/${line%%|*}")"
  cp "${line#*|}" "$release_dir/${line%%|*}"
done
# The guide's source opens with a note for the tree's readers, not the staff.
sed '/^<!--/,/-->$/d' "$guide" | cat -s >"$release_dir/GUIDE.md"
for shot in "${shots[@]}"; do
  # The screen is 1024x768 with the installer in its top-left corner: cut
  # the picture to the windows, everything that is not the desktop's colour.
  desktop="$(convert "$shots_dir/$shot" -gravity SouthEast -crop 1x1+0+0 +repage -format '%[pixel:p{0,0}]' info:)"
  convert "$shots_dir/$shot" -bordercolor "$desktop" -border 1 -trim +repage "$release_dir/screenshots/$shot"
done

echo "== $zip_file"
(cd build/release && zip -r -X -q "$name.zip" "$name")
unzip -l "$zip_file"

# check_kit ZIP ENTRY...: ZIP holds exactly the ENTRYs (paths below
# build/release), intact and identical to the folder's files; it is left
# unpacked in $unpacked.
check_kit() {
  local zip=$1 entry entries problems=0
  shift
  entries="$(unzip -Z1 "$zip" | grep -v '/$' || true)"
  for entry; do
    grep -qxF "$entry" <<<"$entries" || {
      echo "release: error: $zip lacks $entry" >&2
      problems=1
    }
  done
  while read -r entry; do
    printf '%s\n' "$@" | grep -qxF "$entry" || {
      echo "release: error: $zip has an unexpected entry $entry" >&2
      problems=1
    }
  done <<<"$entries"
  unzip -tq "$zip" >/dev/null || {
    echo "release: error: $zip fails its CRC test" >&2
    problems=1
  }
  [[ $problems -eq 0 ]] || exit 1
  [[ -z $unpacked ]] || rm -rf "$unpacked"
  unpacked="$(mktemp -d)"
  unzip -q "$zip" -d "$unpacked"
  for entry; do
    cmp -s "$unpacked/$entry" "build/release/$entry" || fail "$entry in $zip differs from build/release/$entry"
  done
}

expected=("$name/GUIDE.md")
for line in "${release_files[@]}"; do expected+=("$name/${line%%|*}"); done
for shot in "${shots[@]}"; do expected+=("$name/screenshots/$shot"); done
check_kit "$zip_file" "${expected[@]}"
kind="$(file -b "$unpacked/$name/installer.exe")"
[[ $kind =~ ^PE32\ .*\(GUI\).*(Intel\ 80386|i386) ]] || fail "installer.exe is not a 32-bit x86 GUI PE: $kind"
echo "installer.exe: $kind"
kind="$(file -b "$unpacked/$name/printer-setup.exe")"
[[ $kind =~ ^PE32\ .*\(console\).*(Intel\ 80386|i386) ]] || fail "printer-setup.exe is not a 32-bit x86 console PE: $kind"
echo "printer-setup.exe: $kind"
kind="$(file -b "$unpacked/$name/7-zip32.dll")"
[[ $kind =~ ^PE32\ .*\(DLL\).*(Intel\ 80386|i386) ]] || fail "7-zip32.dll is not a 32-bit x86 DLL: $kind"
echo "7-zip32.dll: $kind"
if [[ -n $vendor_package ]]; then
  "$drvpack" check --strict "$unpacked/$name/DriverData.Drv" ||
    fail "the shipped DriverData.Drv does not pass drvpack check --strict"
else
  # Only the note's folder may hold a package: none beside installer.exe.
  [[ ! -e $unpacked/$name/DriverData.Drv ]] || fail "the demo release has a DriverData.Drv beside installer.exe"
  "$drvpack" check "$unpacked/$name/$demo_folder/DriverData.Drv" ||
    fail "the demo release's sample package does not pass drvpack check"
fi

echo "== $kit_zip"
# The package builder's kit: the tool and its guide, nothing of a driver.
mkdir -p "$kit_dir"
cp "$drvpack_exe" "$kit_dir/drvpack.exe"
sed '/^<!--/,/-->$/d' "$packaging_guide" | cat -s >"$kit_dir/PACKAGING.md"
(cd build/release && zip -r -X -q "$kit_name.zip" "$kit_name")
unzip -l "$kit_zip"
check_kit "$kit_zip" "$kit_name/drvpack.exe" "$kit_name/PACKAGING.md"
kind="$(file -b "$unpacked/$kit_name/drvpack.exe")"
[[ $kind =~ ^PE32\ .*\(console\).*(Intel\ 80386|i386) ]] || fail "drvpack.exe is not a 32-bit x86 console PE: $kind"
echo "drvpack.exe: $kind"

released=1
echo "release: $zip_file (${#expected[@]} files) and $kit_zip (2 files) checked"
