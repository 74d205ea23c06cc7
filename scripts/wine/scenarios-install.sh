# Wine scenarios with the driver package: start-up, spooler and ports, receipt and label
# installations. Sourced by scripts/wine-e2e.sh, which provides the helpers (use_prefix,
# launch_installer, check, ui, drive, screenshot, wait_exit, log, dq) and runs the scenarios.
#
# Prefixes: "prefix" (64-bit, shared with startup_win10_64) for the start-up scenarios; 32-bit ones
# for the installations, where Wine's spooler creates printers for a 32-bit program: "install"
# (Wine's default ports) and "lpt1" (LPT1: and FILE: only, then a TCP/IP port).

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

# install_and_finish DIALOG [SHOT] [COMMAND...]: presses Install and waits for the finished state.
# DIALOG "ask": the installer must ask which parallel port ("Select A Parallel Port", LPT1: to LPT3:
# listed, the first selected); SHOT is a screenshot of it; the user picks row 1, LPT2:, which must
# reach the printer. "none": with one parallel port it must take LPT1: without asking; the status
# line is watched from the click on (its texts end up in the log) and the COMMANDs run after
# &Finish in the same driver run, so they can check the statuses seen. A message box in the way is
# shown in the log and answered, so the run goes on.
INSTALL_PORT=LPT1:
install_and_finish() {
  local dialog=$1 shot=${2:-} done_text="The installation is completed." port_dialog="Select A Parallel Port"
  shift $(($# < 2 ? $# : 2))
  INSTALL_PORT=LPT1:
  if [[ $dialog == none ]]; then
    ui "watch-text 1011" "click 1012" "wait-window-or-text $(dq "$port_dialog") 1011 $(dq "$done_text") 30" \
      "expect-text 1012 $(dq "&Finish") 5" "print-seen 1011" "$@" && return 0
    if grep -q "$port_dialog.* shown" "$OUT/driver.out"; then
      echo "    the installer asked for a parallel port, with only LPT1: to choose from"
      drive "wait-window $(dq "$port_dialog") 0" "click 1039" "wait-gone 5"
    else
      answer_box
    fi
    return 1
  fi
  INSTALL_PORT=LPT2:
  ui "click 1012" "wait-window-or-text $(dq "$port_dialog") 1011 $(dq "$done_text") 30" || {
    answer_box
    return 1
  }
  grep -q "$port_dialog.* shown" "$OUT/driver.out" || {
    echo "    the installer did not ask for a parallel port"
    return 1
  }
  drive "wait-window $(dq "$port_dialog") 0" "expect-count 1004 3 0" "expect-item 1004 0 LPT1: 0" \
    "expect-item 1004 1 LPT2: 0" "expect-item 1004 2 LPT3: 0" "expect-list-selected 1004 0 0" || return 1
  if [[ -n $shot ]]; then screenshot "$shot" || return 1; fi
  drive "wait-window $(dq "$port_dialog") 0" "select-list-row 1004 1" "click 1037" "wait-gone 5" &&
    ui "expect-text 1011 $(dq "$done_text") 30" "expect-text 1012 $(dq "&Finish") 5"
}

# A message box the installer shows, if any, goes to the log and is answered.
answer_box() {
  ui "wait-box 0" dump-box && { ui "wait-box 0" "answer-box IDOK" || ui "wait-box 0" "answer-box IDCANCEL"; }
}

# use_win32_prefix NAME: a 32-bit prefix, as use_prefix makes it. A new one takes a wineboot of
# about 10 s, a copy of a clean one 3: the run's first 32-bit prefix is copied before anything runs
# in it (its wineserver is idle with the registry saved), and later ones start from that copy.
CLEAN_WIN32=
use_win32_prefix() {
  local name=$1 dir=$OUT/$1
  if [[ -n ${PREFIXES[$name]:-} ]]; then
    use_prefix "$name" win32
    return 0
  fi
  if [[ -z $CLEAN_WIN32 ]]; then
    use_prefix "$name" win32
    CLEAN_WIN32=$OUT/clean-win32
    rm -rf "$CLEAN_WIN32"
    cp -a "$dir" "$CLEAN_WIN32" || die "copying prefix $dir failed"
    return 0
  fi
  export WINEPREFIX=$dir
  PREFIXES[$name]=$dir
  log "copying the clean 32-bit prefix to $dir"
  rm -rf "$dir"
  { cp -a "$CLEAN_WIN32" "$dir" && wineserver -p; } >>"$OUT/wine.log" 2>&1 || die "copying prefix $dir failed"
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

# start_32bit_run PRINTER: the installer with the package in the current prefix, until its start-up
# is over and the user has chosen PRINTER.
start_32bit_run() {
  local printer=$1
  launch_installer "$OUT/work" "${PACKAGE_FILES[@]}"
  check "window \"$TITLE\" appears" drive "wait-window $(dq "$TITLE") 30" || return 1
  check "start-up reports Windows 10 32 bit and enables Install" \
    ui "expect-text 1011 $(dq "Current System is Microsoft Windows 10  32 bit") 60" \
    "expect-enabled 1012 10" || return 1
  check "choose \"$printer\"" \
    ui "select-combo-text 1000 $(dq "$printer")" "expect-text 1001 $(dq "$printer") 5"
}

# install_scenario PRINTER [SHOT]: the common run for one catalogue name on a parallel port, in a
# prefix with Wine's default ports: the installer asks which of LPT1: to LPT3: (SHOT: a screenshot
# of that dialog). The port type the installer pre-selects under Wine is "Serial port" (COM1 in
# SERIALCOMM), whose step talks to a printer on the line; the parallel port reaches the completed
# status without one.
install_scenario() {
  local printer=$1 shot=${2:-}
  use_win32_prefix install
  have_package || return 1
  add_default_printer_key
  start_32bit_run "$printer" || return 1
  check "choose \"Parallel port\"" ui "select-list-row 1004 2"
  check "Install asks which parallel port (LPT1: to LPT3:); LPT2: chosen; completed, \"&Finish\"" \
    install_and_finish ask "$shot"
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
  install_scenario RV-640 "$OUT/parallel-dialog.png" || return 0
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

# ---- one parallel port (32-bit Windows 10) -------------------------------------------------------
# A spooler that knows only LPT1: and FILE:. The start-up pre-selects "Parallel port", and with one
# parallel port the installer takes it without asking. Three runs: a receipt printer, a label
# printer beside it, then the receipt printer again, which replaces the first.

only_lpt1_and_file() {
  local v
  for v in $(port_values); do
    [[ $v == LPT1: || $v == FILE: ]] || wine reg delete "$PORTS_KEY" /v "$v" /f >>"$OUT/wine.log" 2>&1
  done
  ports_are LPT1: FILE:
}

# lpt1_run PRINTER WHAT [COMMAND...]: one run that installs PRINTER with everything as the start-up
# left it and leaves through &Finish; WHAT names the install check, the COMMANDs add to it.
lpt1_run() {
  local printer=$1 what=$2
  shift 2
  start_32bit_run "$printer" || return 1
  preselects 2 "Parallel port"
  check "$what" install_and_finish none "" "$@"
  check "spooler has printer \"$printer\" with its driver on LPT1:" \
    drive "expect-printer $(dq "$printer") $(dq "$printer") LPT1:"
  check "&Finish closes the window" ui "click 1012" "wait-gone 10"
  check "installer exits with code 0" wait_exit 10
}

scenario_install_lpt1_only_win32() {
  local readd="The printer RV-640 exists,Re-adding the printer..."
  local both="LB-400 Label on LPT1:; RV-640 on LPT1:"
  use_win32_prefix lpt1
  have_package || return 0
  add_default_printer_key
  check "Ports key holds only LPT1: and FILE:" only_lpt1_and_file || return 0
  lpt1_run RV-640 "Install takes LPT1: without asking; \"The installation is completed.\", \"&Finish\"" ||
    return 0
  lpt1_run "LB-400 Label" "second run: Install takes LPT1: for \"LB-400 Label\"; \"&Finish\"" || return 0
  check "spooler lists the drivers RV-640 and LB-400 Label and the \"Advanced Language Monitor\"" \
    drive "expect-driver RV-640" "expect-driver $(dq "LB-400 Label")" \
    "expect-monitor $(dq "Advanced Language Monitor")"
  check "spooler's printers: $both" drive "expect-printers $(dq "$both")"
  check "default printer is the last one installed, \"LB-400 Label\" on LPT1:" \
    reg_value_is "$WINDOWS_KEY" Device "LB-400 Label,winspool,LPT1:"
  lpt1_run RV-640 "third run replaces RV-640: the status line shows \"$readd\"; \"&Finish\"" \
    "expect-seen 1011 $(dq "$readd") 0" || return 0
  check "one RV-640 remains, beside LB-400 Label: $both" drive "expect-printers $(dq "$both")"
  check "default printer is \"RV-640\" on LPT1:" reg_value_is "$WINDOWS_KEY" Device "RV-640,winspool,LPT1:"
}

# ---- TCP/IP port (32-bit Windows 10) -------------------------------------------------------------
# Wine has no "Standard TCP/IP Port" monitor and describes every port of its Ports key as "Local
# Port" (docs/WINE.md): the installer finds no TCP/IP port, and its AddPortA call fails (50). A
# port monitor of our own (tools/wine-tcpip-monitor) then gives the spooler a port described as
# Windows' TCP/IP monitor describes its ports, and the installer's TCP/IP dialog opens.

TCPIP_MONITOR_KEY="$MONITORS_KEY\\Standard TCP/IP Port"
TCPIP_PORT=IP_192.0.2.10
TCPIP_DIALOG="Configure TCP/IP PrinterPort"

# no_tcpip_port: the spooler lists no port described as a TCP/IP port.
no_tcpip_port() {
  drive print-ports || return 1
  ! grep -q ': Standard TCP/IP Port)' "$OUT/driver.out"
}

# The spooler's printers, drivers and monitors, on one line.
spooler_records() {
  drive print-spooler >/dev/null && sed -n 's/^ok   print-spooler: //p' "$OUT/driver.out"
}

# spooler_unchanged BEFORE: the spooler's records read BEFORE (spooler_records) still.
spooler_unchanged() {
  local now
  now=$(spooler_records) || return 1
  echo "    $now"
  [[ $now == "$1" ]]
}

# The test monitor, registered as Windows keeps its TCP/IP monitor, with one port.
add_tcpip_monitor() {
  local dll=$OUT/tcpipmon.dll
  bash "$ROOT/tools/wine-tcpip-monitor/build.sh" "$dll" >"$OUT/tcpipmon-build.log" 2>&1 || {
    cat "$OUT/tcpipmon-build.log"
    return 1
  }
  cp "$dll" "$WINEPREFIX/drive_c/windows/system32/tcpipmon.dll" &&
    {
      wine reg add "$TCPIP_MONITOR_KEY" /v Driver /d tcpipmon.dll /f &&
        wine reg add "$TCPIP_MONITOR_KEY\\Ports\\$TCPIP_PORT" /f
    } >>"$OUT/wine.log" 2>&1 &&
    drive "expect-port $TCPIP_PORT $(dq "Standard TCP/IP Port")"
}

# After an installation stopped at the port choice: Install can be pressed again, as "&Install".
install_usable() {
  ui "expect-enabled 1012 10" "expect-text 1012 $(dq "&Install") 0"
}

scenario_tcpip_no_port_win32() {
  local before
  use_win32_prefix lpt1
  have_package || return 0
  add_default_printer_key
  check "no port is described as \"Standard TCP/IP Port\"" no_tcpip_port
  before=$(spooler_records)
  start_32bit_run RV-580 || return 0
  check "choose \"TCP/IP port\"" ui "select-list-row 1004 3"
  # No window comes up (AddPortA fails at once), so the click's handler returns.
  check "Install with no TCP/IP port stops, with no dialog or message box" ui "click-and-wait 1012 10"
  check "Install usable again: enabled, \"&Install\"" install_usable
  check "nothing installed: the spooler's printers, drivers and monitors are as before" \
    spooler_unchanged "$before"
  close_and_exit

  check "test TCP/IP monitor added: EnumPortsA lists $TCPIP_PORT as \"Standard TCP/IP Port\"" \
    add_tcpip_monitor || return 0
  before=$(spooler_records)
  start_32bit_run RV-580 || return 0
  check "choose \"TCP/IP port\"" ui "select-list-row 1004 3"
  check "Install opens \"$TCPIP_DIALOG\", listing $TCPIP_PORT, selected" \
    ui "click 1012" "wait-window $(dq "$TCPIP_DIALOG") 20" "expect-item 1004 0 $TCPIP_PORT 5" \
    "expect-list-selected 1004 0 0" || return 0
  check "screenshot $OUT/tcpip-dialog.png" screenshot "$OUT/tcpip-dialog.png"
  # The test monitor neither configures nor deletes: the spooler refuses both with 50.
  check "ConfigurePort and Delete Port report the spooler's refusal; $TCPIP_PORT stays listed" \
    drive "wait-window $(dq "$TCPIP_DIALOG") 0" "click 1031" \
    'expect-box "Failed to configure printer port.\r\nThe request is not supported." 10' "answer-box IDOK" \
    "click 1032" "expect-box $(dq "Failed to delete port.The request is not supported.") 10" \
    "answer-box IDOK" \
    "expect-item 1004 0 $TCPIP_PORT 5"
  check "Cancel closes the dialog" drive "wait-window $(dq "$TCPIP_DIALOG") 0" "click 1039" "wait-gone 5"
  check "the installation stops: Install usable again, enabled, \"&Install\"" install_usable
  check "nothing installed: the spooler's printers, drivers and monitors are as before" \
    spooler_unchanged "$before"
  close_and_exit
}
