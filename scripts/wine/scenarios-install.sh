# Wine scenarios with the driver package: start-up, spooler and ports, receipt and label
# installations. Sourced by scripts/wine-e2e.sh, which provides the helpers (use_prefix,
# launch_installer, check, ui, drive, screenshot, wait_exit, log, dq) and runs the scenarios.
#
# Prefixes: "prefix" (64-bit, shared with startup_win10_64) for the start-up scenarios; "install"
# (32-bit) for the installations, where Wine's spooler creates printers for a 32-bit program.

PORTS_KEY='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports'
WINDOWS_KEY='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows'
MONITORS_KEY='HKLM\System\CurrentControlSet\Control\Print\Monitors'
SAMPLE_PACKAGE=$ROOT/build/sample/DriverData.Drv
PACKAGE_FILES=()

# What the installer finds in its folder: our archive library and the sample package. The sample
# comes from the host build; a configured build/ makes just that target.
have_package() {
  local dll
  dll=$(dirname "$EXE")/7-zip32.dll
  if [[ ! -f $SAMPLE_PACKAGE && -f $ROOT/build/CMakeCache.txt ]]; then
    log "building the sample package (log: $OUT/sample-build.log)"
    cmake --build "$ROOT/build" --target sample_package >"$OUT/sample-build.log" 2>&1
  fi
  PACKAGE_FILES=("$dll" "$SAMPLE_PACKAGE")
  check "archive library and sample package exist" files_exist "${PACKAGE_FILES[@]}"
}

# drive_c_has [-n] NAME...: each NAME is (with -n: none is) at the root of the prefix's drive C,
# in any letter case, as Windows names them.
drive_c_has() {
  local want=1 name found rc=0
  [[ $1 == -n ]] && want=0 && shift
  for name in "$@"; do
    found=$(find "$WINEPREFIX/drive_c" -maxdepth 1 -iname "$name" -printf '%f\n')
    if ((want)) && [[ -z $found ]]; then
      echo "    drive_c has no $name"
      rc=1
    elif ((!want)) && [[ -n $found ]]; then
      echo "    drive_c still has $found"
      rc=1
    fi
  done
  return $rc
}

# reg_value_is KEY NAME DATA: a REG_SZ value reads DATA.
reg_value_is() {
  local got
  got=$(wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 \{4\}REG_[A-Z_]* \{4\}//p")
  echo "    $1 $2 = \"$got\""
  [[ $got == "$3" ]]
}

# files_exist PATH...: each is a file; the missing ones are named.
files_exist() {
  local f rc=0
  for f in "$@"; do
    [[ -f $f ]] || {
      echo "    $f is missing"
      rc=1
    }
  done
  return $rc
}

# spool_files_exist FILE...: in the spooler's 32-bit driver folder of version 3.
spool_files_exist() {
  files_exist "${@/#/$WINEPREFIX/drive_c/windows/system32/spool/drivers/w32x86/3/}"
}

# Every Windows has the key of the default printer; a fresh Wine prefix does not, and the installer
# opens it rather than creating it (docs/WINE.md).
add_default_printer_key() {
  wine reg add "$WINDOWS_KEY" /f >>"$OUT/wine.log" 2>&1
}

# Presses Install and waits for the finished state; INSTALL_PORT is the port the printer must get.
# When the installer does not ask which parallel port, it takes the first, LPT1:; when it asks, the
# user picks the second row, LPT2:, and that choice must reach the printer. A message box in the
# way is shown in the log and answered, so the run goes on.
INSTALL_PORT=LPT1:
install_and_finish() {
  local done_text="The installation is completed." port_dialog="Select A Parallel Port"
  INSTALL_PORT=LPT1:
  ui "click 1012" "wait-window-or-text $(dq "$port_dialog") 1011 $(dq "$done_text") 30" || {
    ui "wait-box 0" dump-box && { ui "wait-box 0" "answer-box IDOK" || ui "wait-box 0" "answer-box IDCANCEL"; }
    return 1
  }
  if grep -q "$port_dialog.* shown" "$OUT/driver.out"; then
    INSTALL_PORT=LPT2:
    drive "wait-window $(dq "$port_dialog") 0" "expect-item 1004 1 LPT2: 0" "select-list-row 1004 1" \
      "click 1037" "wait-gone 5" || return 1
  fi
  ui "expect-text 1011 $(dq "$done_text") 30" "expect-text 1012 $(dq "&Finish") 5"
}

# ---- start-up with the package (64-bit Windows 10) ------------------------------------------------

scenario_package_win10_64() {
  use_prefix prefix win64
  have_package || return 0
  launch_installer "$OUT/work" "${PACKAGE_FILES[@]}"
  check "window \"$TITLE\" appears" drive "wait-window $(dq "$TITLE") 30" || return 0
  check "Install becomes enabled" ui "expect-enabled 1012 60"
  check "driver list holds the sample catalogue (RV-580 first, 30 names or more), printer name RV-580" \
    ui "expect-count 1000 30 0" "expect-item 1000 0 RV-580 0" "expect-text 1000 RV-580 0" \
    "expect-text 1001 RV-580 0"
  check "package unpacked on drive C (Ticket, Barcode, DriverName.cfg)" \
    drive_c_has Ticket Barcode DriverName.cfg
  check "screenshot $OUT/package.png" screenshot "$OUT/package.png"
  close_and_exit
  check "closing removed C:\\Ticket, C:\\Barcode and C:\\DriverName.cfg" \
    drive_c_has -n Ticket Barcode DriverName.cfg
}

# ---- spooler and port-type pre-selection ---------------------------------------------------------

# The state sc reports, such as RUNNING or STOPPED.
spooler_state() {
  wine sc query spooler 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'
}

# port_values: the value names of the Ports key, one a line.
port_values() {
  wine reg query "$PORTS_KEY" | tr -d '\r' | sed -n 's/^ \{4\}\([^ ]*\) .*/\1/p'
}

# ports_are NAME...: the Ports key holds exactly these values.
ports_are() {
  local got want
  got=$(port_values | sort | paste -sd ' ')
  want=$(printf '%s\n' "$@" | sort | paste -sd ' ')
  echo "    Ports: $got"
  [[ $got == "$want" ]]
}

# Runs the installer (no package needed) until its start-up is over.
start_until_enabled() {
  launch_installer "$OUT/work"
  check "start-up finishes (Install enabled)" ui "wait-window $(dq "$TITLE") 30" "expect-enabled 1012 60"
}

# preselects ROW TEXT: the port-type row the start-up chose.
preselects() {
  check "port-type list pre-selects row $1 \"$2\"" \
    ui "expect-list-selected 1004 $1 0" "expect-item 1004 $1 $(dq "$2") 0"
}

close_and_exit() {
  check "window closes on WM_CLOSE" ui close "wait-gone 10" && check "installer exits with code 0" wait_exit 10
}

scenario_spooler_and_ports() {
  local state saved=$OUT/ports.reg v
  use_prefix prefix win64
  state=$(spooler_state)
  log "Spooler before start-up: $state"
  if [[ $state != STOPPED ]]; then
    # A fresh prefix has it stopped; an earlier scenario's installer started it in this server.
    log "stopping the Spooler an earlier scenario started"
    wine sc stop spooler >>"$OUT/wine.log" 2>&1
  fi
  check "Spooler service is stopped before start-up" drive "expect-service Spooler stopped 10"
  check "Ports key holds Wine's defaults" ports_are COM1: COM2: COM3: COM4: LPT1: LPT2: LPT3: FILE:
  if start_until_enabled; then
    check "start-up started the Spooler service" drive "expect-service Spooler running 0"
    preselects 0 "Serial port"
  fi
  close_and_exit

  # Only LPT1: and FILE: left. The installer lists the ports through the spooler, which reads the
  # key on every call: no server restart is needed. The key is restored afterwards.
  rm -f "$saved"
  wine reg export "$PORTS_KEY" "$(winepath -w "$saved")" /y >>"$OUT/wine.log" 2>&1
  for v in $(port_values); do
    [[ $v == LPT1: || $v == FILE: ]] || wine reg delete "$PORTS_KEY" /v "$v" /f >>"$OUT/wine.log" 2>&1
  done
  check "Ports key holds only LPT1: and FILE:" ports_are LPT1: FILE:
  start_until_enabled && preselects 2 "Parallel port"
  close_and_exit
  if [[ -s $saved ]]; then
    wine reg delete "$PORTS_KEY" /f >>"$OUT/wine.log" 2>&1
    wine reg import "$(winepath -w "$saved")" >>"$OUT/wine.log" 2>&1 || log "restoring the Ports key failed"
  fi
}

# ---- installations (32-bit Windows 10) -----------------------------------------------------------

# install_scenario PRINTER: the common run for one catalogue name on a parallel port. The port type
# the installer pre-selects under Wine is "Serial port" (COM1 in SERIALCOMM), whose step talks to a
# printer on the line; the parallel port reaches the completed status without one.
install_scenario() {
  local printer=$1
  use_prefix install win32
  have_package || return 1
  add_default_printer_key
  launch_installer "$OUT/work" "${PACKAGE_FILES[@]}"
  check "window \"$TITLE\" appears" drive "wait-window $(dq "$TITLE") 30" || return 1
  check "start-up reports Windows 10 32 bit and enables Install" \
    ui "expect-text 1011 $(dq "Current System is Microsoft Windows 10  32 bit") 60" "expect-enabled 1012 10"
  check "choose \"$printer\" on the parallel port" \
    ui "select-combo-text 1000 $(dq "$printer")" "expect-text 1001 $(dq "$printer") 5" "select-list-row 1004 2"
  check "Install completes: \"The installation is completed.\", button \"&Finish\"" install_and_finish
  check "spooler has printer \"$printer\" with its driver on $INSTALL_PORT" \
    drive "expect-printer $(dq "$printer") $(dq "$printer") $INSTALL_PORT"
  check "default printer (HKCU ...\\Windows Device) is \"$printer\" on $INSTALL_PORT" \
    reg_value_is "$WINDOWS_KEY" Device "$printer,winspool,$INSTALL_PORT"
}

# Leaves the finished window through its &Finish button.
finish_and_exit() {
  check "screenshot $OUT/$1" screenshot "$OUT/$1"
  check "&Finish closes the window" ui "click 1012" "wait-gone 10"
  check "installer exits with code 0" wait_exit 10
}

scenario_install_receipt_win32() {
  install_scenario RV-640 || return 0
  # The data file, the resource DLL and the plug-in the RV-640 lists, in the spooler's own folder.
  check "driver files of RV-640 in the spooler's folder" \
    spool_files_exist RV640.GPD RVRES.DLL ZOEMUNI.dll ZOEMUNI.ini uniDRV.DLL uniDRVui.DLL
  finish_and_exit receipt-finished.png
}

scenario_install_label_win32() {
  install_scenario "LB-400 Label" || return 0
  # Wine's AddMonitorA loaded the monitor DLL before recording it.
  check "language monitor registered with its DLL in system32" \
    reg_value_is "$MONITORS_KEY\\Advanced Language Monitor" Driver 'C:\windows\system32\qrtNLMNT.dll'
  check "monitor DLL copied to system32" files_exist "$WINEPREFIX/drive_c/windows/system32/qrtNLMNT.dll"
  check "driver files of LB-400 in the spooler's folder" \
    spool_files_exist LB400.DAT LBXDRV50.DLL LBXUI50.DLL LBXENG50.DLL
  finish_and_exit label-finished.png
}
