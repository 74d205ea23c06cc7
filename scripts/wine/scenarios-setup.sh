# Wine scenarios for printer-setup.exe, the unattended companion: installations, a second run of
# the same, a label model, a serial printer found by probing, status, removal with the driver, and
# the exit codes a deployment system reads. Sourced by scripts/wine-e2e.sh, which provides the
# helpers (use_prefix, check, drive, ui, launch_installer, wait_exit, log, dq); the install and
# serial scenario files provide use_win32_prefix, have_package, add_default_printer_key,
# reg_value_is and the serial lines.
#
# One 32-bit prefix, "setup", for the whole sequence: each scenario builds on what the one before
# left (run them in the order of SCENARIOS).

SETUP_EXE=$ROOT/build-win/printer-setup.exe
SETUP_WORK=$OUT/setup-work
SETUP_OUT=$OUT/setup.out
SETUP_RC=

# setup_kit: a working folder with printer-setup.exe, the archive library and the sample package.
setup_kit() {
  have_package || return 1
  check "printer-setup.exe was built" files_exist "$SETUP_EXE" || return 1
  rm -rf "$SETUP_WORK"
  mkdir -p "$SETUP_WORK"
  cp "$SETUP_EXE" "${PACKAGE_FILES[@]}" "$SETUP_WORK/"
}

# run_setup ARG...: printer-setup.exe from the kit folder, its log appended to $OUT/setup.log; its
# output goes to $SETUP_OUT (shown indented), its exit code to SETUP_RC. A Windows exit code reaches
# Linux cut to its low byte (1603 arrives as 67), so cmd reports the whole code. LD_PRELOAD carries
# the pty shim where a scenario sets it.
run_setup() {
  local log
  log=$(winepath -w "$OUT/setup.log")
  printf '@"%%~dp0printer-setup.exe" %%*\r\n@echo setup-exit-code=%%ERRORLEVEL%%\r\n' >"$SETUP_WORK/run-setup.bat"
  (cd "$SETUP_WORK" && timeout -k 5 300 wine cmd /c run-setup.bat "$@" /log "$log") 2>&1 | tr -d '\r' >"$SETUP_OUT"
  SETUP_RC=$(sed -n 's/^setup-exit-code=//p' "$SETUP_OUT")
  sed -i '/^setup-exit-code=/d' "$SETUP_OUT"
  sed 's/^/    /' "$SETUP_OUT"
  echo "    exit code ${SETUP_RC:-(none)}"
  [[ -n $SETUP_RC ]] || SETUP_RC=-1
}

# setup_exits CODE ARG...: printer-setup with ARGs ends with exit code CODE.
setup_exits() {
  local want=$1
  shift
  run_setup "$@"
  ((SETUP_RC == want))
}

# drive_spooler_is TEXT: the spooler's printers, drivers and monitors read TEXT, as print-spooler
# prints them.
drive_spooler_is() {
  drive print-spooler && grep -qF -- "print-spooler: $1" "$OUT/driver.out"
}

scenario_setup_receipt_win32() {
  use_win32_prefix setup
  setup_kit || return 0
  rm -f "$OUT/setup.log"
  add_default_printer_key
  check "install RV-640 on LPT1: as the default printer: exit 0" \
    setup_exits 0 install /model RV-640 /port LPT1: /default
  check "spooler has the driver and the printer RV-640 on LPT1:" \
    drive "expect-driver RV-640" "expect-printer RV-640 RV-640 LPT1:"
  check "default printer (Device) is RV-640 on LPT1:" \
    reg_value_is "$WINDOWS_KEY" Device "RV-640,winspool,LPT1:"
  check "the same again: exit 0, still one printer RV-640" \
    setup_exits 0 install /model RV-640 /port LPT1: /default
  check "one printer, RV-640 on LPT1:" drive "expect-printers $(dq "RV-640 on LPT1:")"
  check "the unpacked package was removed" drive_c_has -n Ticket Barcode DriverName.cfg
  check "the log names every step with its time" grep -q "^....-..-.. ..:..:..\.... *installed: RV-640 on LPT1:" "$OUT/setup.log"
}

scenario_setup_label_win32() {
  use_win32_prefix setup
  setup_kit || return 0
  check "install \"LB-400 Label\" on LPT1:: exit 0" setup_exits 0 install /model "LB-400 Label" /port LPT1:
  check "spooler has the label driver, its monitor and the printer" \
    drive "expect-monitor $(dq "Advanced Language Monitor")" \
    "expect-printer $(dq "LB-400 Label") $(dq "LB-400 Label") LPT1:"
}

# A receipt printer on a COM port found by probing: COM5 to COM7 on ptys, the fake printer on COM7.
scenario_setup_serial_win32() {
  local SERIAL_LINES=(com5 com6 com7)
  use_win32_prefix setup
  setup_kit || return 0
  rm -f "$OUT/fake-printer.log"
  serial_lines_ready com7 || return 0
  export LD_PRELOAD="$SHIM_DIR/"'$LIB'"/shim.so"
  check "install RV-640 as \"Serial till\" with /port serial: exit 0" \
    setup_exits 0 install /model RV-640 /port serial /name "Serial till"
  unset LD_PRELOAD
  check "the fake printer was asked with 10 04 01 and answered" \
    grep -q '^request 10 04 01 -> 12$' "$OUT/fake-printer.log"
  check "the printer's port record names COM7:" \
    reg_value_is 'HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers\Serial till' Port COM7:
  check "the line settings of COM7: are 9600,n,8,1" reg_value_is "$PORTS_KEY" COM7: 9600,n,8,1
}

scenario_setup_status_remove_win32() {
  use_win32_prefix setup
  setup_kit || return 0
  check "status: exit 0, RV-640 listed as the default" setup_exits 0 status
  check "status lists RV-640 on LPT1: as the default" grep -q "^RV-640.*port LPT1:.*default" "$SETUP_OUT"
  check "status /printer RV-640: exit 0" setup_exits 0 status /printer RV-640
  check "remove /printer RV-640 /driver while \"Serial till\" uses the driver: exit 0, driver kept" \
    setup_exits 0 remove /printer RV-640 /driver
  check "the spooler keeps RV-640's driver" drive "expect-driver RV-640"
  check "remove /printer \"Serial till\" /driver: exit 0" setup_exits 0 remove /printer "Serial till" /driver
  check "remove /printer \"LB-400 Label\" /driver: exit 0" setup_exits 0 remove /printer "LB-400 Label" /driver
  check "no printer, no driver, only Wine's own monitor left" \
    drive_spooler_is 'printers "", drivers "", monitors "Local Port"'
  check "Device no longer names RV-640" bash -c "! wine reg query '$WINDOWS_KEY' /v Device 2>/dev/null | grep -q RV-640"
  check "status /printer RV-640 afterwards: 1168" setup_exits 1168 status /printer RV-640
}

scenario_setup_exit_codes_win32() {
  use_win32_prefix setup
  setup_kit || return 0
  check "a bad option: 87" setup_exits 87 install /model RV-640 /port LPT1: /colour
  check "no package: 1603" setup_exits 1603 install /model RV-640 /port LPT1: /package 'C:\nowhere\DriverData.Drv'
  check "an unknown model: 1168" setup_exits 1168 install /model "No such printer" /port LPT1:
  # The installer window holds the installation lock while it is open.
  launch_installer "$OUT/work" "${PACKAGE_FILES[@]}"
  if check "the installer window is open" drive "wait-window $(dq "$TITLE") 30" &&
    check "its start-up finished" ui "expect-enabled 1012 60"; then
    check "printer-setup while the window is open: 1618" setup_exits 1618 install /model RV-640 /port LPT1:
  fi
  check "window closes" ui close "wait-gone 10" && check "installer exits with code 0" wait_exit 10
  check "after it closed: 0" setup_exits 0 install /model RV-640 /port LPT1:
}
