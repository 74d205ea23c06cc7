# Wine scenario for where the installer takes its libraries from. Sourced by scripts/wine-e2e.sh,
# which provides the helpers (use_prefix, check, ui, drive, log, dq).
#
# The installer runs elevated, often from a download folder: a 7-zip32.dll planted in the current
# folder must never be loaded, while ours beside the program still is; a winspool.drv planted beside
# the program (not a known DLL, so the loader would take it from there for a static import) must
# never be loaded either. tools/planted-dll builds a stand-in that leaves C:\planted-NAME-loaded.txt
# behind when anything loads it, NAME being the file it was planted as.

PLANTED_DIR=$OUT/planted

# Wine prefers its builtin winspool.drv to a native one beside the program, where Windows would take
# the planted copy for a static import; "n,b" makes Wine search like Windows, so the check can fail:
# the build that imported it statically loads the stand-in under it (docs/WINE.md).
PLANTED_OVERRIDES="$WINEDLLOVERRIDES;winspool.drv=n,b"

# planted_run NAME WITH_DLL: installer.exe in $OUT/NAME-app (with our 7-zip32.dll beside it when
# WITH_DLL is "ours") beside a planted winspool.drv, started from $OUT/NAME-work, which holds the
# package and a planted 7-zip32.dll.
planted_run() {
  local app=$OUT/$1-app work=$OUT/$1-work
  rm -rf "$app" "$work" "$WINEPREFIX"/drive_c/planted-*-loaded.txt
  mkdir -p "$app" "$work"
  cp "$EXE" "$PLANTED_DIR/winspool.drv" "$app/"
  [[ $2 == ours ]] && cp "$(dirname "$EXE")/7-zip32.dll" "$app/"
  cp "$SAMPLE_PACKAGE" "$PLANTED_DIR/7-zip32.dll" "$work/"
  (cd "$work" && WINEDLLOVERRIDES=$PLANTED_OVERRIDES exec wine "$app/$(basename "$EXE")") \
    >"$OUT/installer.log" 2>&1 &
  INSTALLER_PID=$!
}

# planted_not_loaded NAME: the stand-in planted as NAME left no marker.
planted_not_loaded() {
  local found
  found=$(find "$WINEPREFIX/drive_c" -maxdepth 1 -iname "planted-$1-loaded.txt")
  [[ -z $found ]] || {
    echo "    $found exists"
    return 1
  }
}

NO_SPOOLER_BOX="The printer driver folder of this Windows could not be read (error 126); the driver was not \
installed."

build_planted() {
  bash "$ROOT/tools/planted-dll/build.sh" "$PLANTED_DIR/7-zip32.dll" &&
    bash "$ROOT/tools/planted-dll/build.sh" "$PLANTED_DIR/winspool.drv"
}

scenario_dll_search() {
  use_prefix prefix win64
  have_package || return 0
  check "the planted stand-in DLLs build" build_planted || return 0

  planted_run planted-ours ours
  check "our library beside the program, a planted one in the current folder: window appears" \
    drive "wait-window $(dq "$TITLE") 30" || return 0
  check "Install becomes enabled with the sample catalogue unpacked by our library" \
    ui "expect-enabled 1012 60" "expect-item 1000 0 RV-580 0"
  check "the planted 7-zip32.dll was not loaded" planted_not_loaded 7-zip32.dll
  check "the planted winspool.drv was not loaded" planted_not_loaded winspool.drv
  close_and_exit

  planted_run planted-none none
  check "no library beside the program, a planted one in the current folder: window appears" \
    drive "wait-window $(dq "$TITLE") 30" || return 0
  check "Install becomes enabled" ui "expect-enabled 1012 60"
  check "nothing was unpacked to drive C" drive_c_has -n Ticket Barcode DriverName.cfg
  check "the planted 7-zip32.dll was not loaded" planted_not_loaded 7-zip32.dll
  check "the planted winspool.drv was not loaded" planted_not_loaded winspool.drv
  close_and_exit

  # No winspool.drv can be loaded at all (Wine's override "" disables it): every spooler call is
  # refused with 126, the start-up ends as usual and Install reports the driver folder unreadable.
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winspool.drv=" launch_installer "$OUT/nospooler-work" "${PACKAGE_FILES[@]}"
  check "winspool.drv disabled: window appears" drive "wait-window $(dq "$TITLE") 30" || return 0
  check "Install becomes enabled with the sample catalogue" \
    ui "expect-enabled 1012 60" "expect-item 1000 0 RV-580 0"
  check "Install: the spooler's refusal is reported, the window stays" \
    ui "click 1012" "expect-box $(dq "$NO_SPOOLER_BOX") 30" "answer-box IDOK" "expect-enabled 1012 10"
  close_and_exit
}
