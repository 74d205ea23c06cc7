# Wine scenario for where the installer takes its archive library from. Sourced by
# scripts/wine-e2e.sh, which provides the helpers (use_prefix, check, ui, drive, log, dq).
#
# The installer runs elevated, often from a download folder: a 7-zip32.dll planted in the current
# folder must never be loaded, while ours beside the program still is. tools/planted-dll builds a
# stand-in that leaves C:\planted-dll-loaded.txt behind when anything loads it.

PLANTED_DLL=$OUT/planted/7-zip32.dll

# planted_run NAME WITH_DLL: installer.exe in $OUT/NAME-app (with our 7-zip32.dll beside it when
# WITH_DLL is "ours"), started from $OUT/NAME-work, which holds the package and the planted DLL.
planted_run() {
  local app=$OUT/$1-app work=$OUT/$1-work
  rm -rf "$app" "$work" "$WINEPREFIX/drive_c/planted-dll-loaded.txt"
  mkdir -p "$app" "$work"
  cp "$EXE" "$app/"
  [[ $2 == ours ]] && cp "$(dirname "$EXE")/7-zip32.dll" "$app/"
  cp "$SAMPLE_PACKAGE" "$PLANTED_DLL" "$work/"
  (cd "$work" && exec wine "$app/$(basename "$EXE")") >"$OUT/installer.log" 2>&1 &
  INSTALLER_PID=$!
}

planted_dll_not_loaded() {
  [[ ! -e $WINEPREFIX/drive_c/planted-dll-loaded.txt ]]
}

scenario_dll_search() {
  use_prefix prefix win64
  have_package || return 0
  check "the planted stand-in DLL builds" bash "$ROOT/tools/planted-dll/build.sh" "$PLANTED_DLL" || return 0

  planted_run planted-ours ours
  check "our library beside the program, a planted one in the current folder: window appears" \
    drive "wait-window $(dq "$TITLE") 30" || return 0
  check "Install becomes enabled with the sample catalogue unpacked by our library" \
    ui "expect-enabled 1012 60" "expect-item 1000 0 RV-580 0"
  check "the planted DLL was not loaded" planted_dll_not_loaded
  close_and_exit

  planted_run planted-none none
  check "no library beside the program, a planted one in the current folder: window appears" \
    drive "wait-window $(dq "$TITLE") 30" || return 0
  check "Install becomes enabled" ui "expect-enabled 1012 60"
  check "nothing was unpacked to drive C" drive_c_has -n Ticket Barcode DriverName.cfg
  check "the planted DLL was not loaded" planted_dll_not_loaded
  close_and_exit
}
