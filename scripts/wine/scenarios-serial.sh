# Wine scenario for the serial channel: two COM ports on pseudo-terminals, a fake printer on the far
# end of one, and tools/comm-probe (the installer's CSerialPort on the real Win32 platform and
# window framework) sending the receipt printers' status request on each. Sourced by
# scripts/wine-e2e.sh, which provides the helpers (use_prefix, check, log) and BACKGROUND_PIDS.
#
# How Wine gets COM ports on ptys (docs/WINE.md): HKLM\Software\Wine\Ports maps COMn to a device
# path, and Wine makes the dosdevices link and the SERIALCOMM entry when its server starts again. A
# pty answers the modem-status ioctls with ENOTTY, which makes Wine abort every WaitCommEvent:
# tools/wine-pty-shim, preloaded into the probe, answers them as a serial port would.

WINE_PORTS_KEY='HKLM\Software\Wine\Ports'
SERIALCOMM_KEY='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
PROBE=$ROOT/build-win/comm_probe.exe
SHIM_DIR=$OUT/pty-shim
TTY_DIR=$OUT/tty

build_serial_tools() {
  bash "$ROOT/tools/comm-probe/build.sh" "$PROBE" >"$OUT/comm-probe-build.log" 2>&1 || {
    tail -n 20 "$OUT/comm-probe-build.log"
    return 1
  }
  bash "$ROOT/tools/wine-pty-shim/build.sh" "$SHIM_DIR" >"$OUT/pty-shim-build.log" 2>&1 || {
    cat "$OUT/pty-shim-build.log"
    return 1
  }
}

# pty_line NAME: a pty pair, $TTY_DIR/NAME-win for Wine and $TTY_DIR/NAME-dev for the device.
pty_line() {
  local i
  rm -f "$TTY_DIR/$1-win" "$TTY_DIR/$1-dev"
  socat pty,raw,echo=0,link="$TTY_DIR/$1-win" pty,raw,echo=0,link="$TTY_DIR/$1-dev" 2>>"$OUT/socat.log" &
  BACKGROUND_PIDS+=($!)
  for ((i = 0; i < 50; i++)); do
    [[ -e $TTY_DIR/$1-win && -e $TTY_DIR/$1-dev ]] && return 0
    sleep 0.1
  done
  echo "    socat made no $1 line (see $OUT/socat.log)"
  return 1
}

# The COM ports a scenario puts on ptys (lower case, as Wine names them in dosdevices).
SERIAL_LINES=(com5 com6)

# Every port of SERIAL_LINES on a pty, the fake printer behind PRINTER (com5 unless given),
# nothing behind the others; then Wine's port mapping.
com_ports_on_ptys() {
  local printer=${1:-com5} port
  mkdir -p "$TTY_DIR"
  for port in "${SERIAL_LINES[@]}"; do
    pty_line "$port" || return 1
  done
  python3 "$ROOT/tools/fake-printer/fake_printer.py" "$TTY_DIR/$printer-dev" --log "$OUT/fake-printer.log" &
  BACKGROUND_PIDS+=($!)
  {
    for port in "${SERIAL_LINES[@]}"; do
      # A link left by an earlier mapping would stand; a link made by hand would never reach
      # SERIALCOMM.
      rm -f "$WINEPREFIX/dosdevices/$port"
      wine reg add "$WINE_PORTS_KEY" /v "${port^^}" /d "$TTY_DIR/$port-win" /f || return 1
    done
    # Wine reads the key as its server starts.
    wineserver -k && wineserver -w && wineserver -p
  } >>"$OUT/wine.log" 2>&1 || return 1
}

# The mapping took: dosdevices links to the ptys and SERIALCOMM entries (the mount manager writes
# them a moment after the first program of the new server session starts).
com_ports_mapped() {
  local i port rc=0 missing
  for ((i = 0; i < 50; i++)); do
    wine reg query "$SERIALCOMM_KEY" 2>/dev/null | tr -d '\r' >"$OUT/serialcomm.txt"
    missing=0
    for port in "${SERIAL_LINES[@]}"; do
      grep -q "${port^^}\$" "$OUT/serialcomm.txt" || missing=1
    done
    ((missing == 0)) && break
    sleep 0.2
  done
  sed -n 's/^ *\(.*REG_SZ.*\)/    SERIALCOMM: \1/p' "$OUT/serialcomm.txt"
  for port in "${SERIAL_LINES[@]}"; do
    echo "    dosdevices/$port -> $(readlink "$WINEPREFIX/dosdevices/$port")"
    [[ $(readlink "$WINEPREFIX/dosdevices/$port") == "$TTY_DIR/$port-win" ]] || rc=1
    grep -q "${port^^}\$" "$OUT/serialcomm.txt" || rc=1
  done
  return $rc
}

# serial_lines_ready PRINTER: the serial tools built, every port of SERIAL_LINES on a pty with the
# fake printer behind PRINTER, and Wine's mapping of them checked; stops at the first failed check.
serial_lines_ready() {
  local first=${SERIAL_LINES[0]^^} last=${SERIAL_LINES[-1]^^}
  check "comm_probe.exe and the pty shim build" build_serial_tools &&
    check "$first to $last on pseudo-terminals, fake printer on ${1^^}" com_ports_on_ptys "$1" &&
    check "Wine maps $first to $last (dosdevices, SERIALCOMM)" com_ports_mapped
}

# probe PORT WANT: comm_probe on COM<PORT> at 9600 with 10 04 01 and 700 ms to answer; WANT is
# "reply" (exit 0, the printer's status byte 12 reported) or "none" (exit 1, no byte).
probe() {
  local out=$OUT/probe-com$1.out rc
  LD_PRELOAD="$SHIM_DIR/"'$LIB'"/shim.so" timeout -k 5 30 wine "$PROBE" "$1" 9600 100401 700 >"$out" 2>&1
  rc=$?
  sed 's/^/    /' "$out"
  case $2 in
    reply) ((rc == 0)) && grep -q "^byte 12 from COM$1 " "$out" ;;
    none) ((rc == 1)) && grep -q "^COM$1: 0 byte(s)" "$out" ;;
  esac
}

scenario_serial_channel() {
  use_prefix prefix win64
  serial_lines_ready com5 || return 0
  check "COM5: the printer's reply reaches the owner window within 700 ms" probe 5 reply
  check "the fake printer got 10 04 01" grep -q '^request 10 04 01 -> 12$' "$OUT/fake-printer.log"
  check "COM6: a silent line gives no byte" probe 6 none
}

# A receipt printer installed on a serial port with the real installer: four COM ports on ptys, the
# fake printer on the last, so the probe opens, asks and closes three silent ports before it; the
# user lets the installer find the port at 9600 baud.
PROMPT_TITLE="Prompt(automatically select the available serial port) "
PORTS_KEY='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports'
scenario_serial_install_win32() {
  local SERIAL_LINES=(com5 com6 com7 com8)
  use_win32_prefix serial
  have_package || return 0
  add_default_printer_key
  rm -f "$OUT/fake-printer.log"
  serial_lines_ready com8 || return 0
  LD_PRELOAD="$SHIM_DIR/"'$LIB'"/shim.so" start_32bit_run RV-640 || return 0
  check "choose \"Serial port\"" ui "select-list-row 1004 0"
  check "Install ends by asking whether to find the serial port" ui "click 1012" "wait-window $(dq "$PROMPT_TITLE") 60"
  check "screenshot $OUT/serial-prompt.png" screenshot "$OUT/serial-prompt.png"
  check "9600 baud, \"&Yes\"" drive "wait-window $(dq "$PROMPT_TITLE") 0" "select-combo-text 1034 9600" "click 1030" \
    "wait-gone 10"
  check "probing finds the printer on COM8:" \
    ui "expect-text 1011 $(dq "The available printer port:  COM8:") 60" "expect-text 1012 $(dq "&Finish") 10"
  check "the fake printer was asked with 10 04 01 and answered" grep -q '^request 10 04 01 -> 12$' "$OUT/fake-printer.log"
  check "Ports value COM8: is 9600,n,8,1" reg_value_is "$PORTS_KEY" COM8: 9600,n,8,1
  check "the printer's port record names COM8:" \
    reg_value_is 'HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers\RV-640' Port COM8:
  finish_and_exit serial-finished.png
}

# Not in the default run: timings for bench/probe_bench.sh. RUNS probes each of a silent line
# (COM6) and of a port that does not exist (COM9), with the real channel; the lines go to
# $OUT/probe-timing.txt.
scenario_probe_timing() {
  local i runs=${PROBE_RUNS:-5}
  use_prefix prefix win64
  serial_lines_ready com5 || return 0
  : >"$OUT/probe-timing.txt"
  for ((i = 0; i < runs; i++)); do
    for port in 6 9; do
      LD_PRELOAD="$SHIM_DIR/"'$LIB'"/shim.so" timeout -k 5 30 wine "$PROBE" "$port" 9600 100401 700 2>&1 |
        tr -d '\r' | grep -E '^COM[0-9]+: (open|[0-9]+ byte)' >>"$OUT/probe-timing.txt"
    done
  done
  check "timings of $runs probes each of a silent and a missing port" \
    test "$(grep -c 'open' "$OUT/probe-timing.txt")" -ge $((2 * runs))
}

# RUNS probes (default 3) of COM1 and COM5 to COM8 in turn with one
# channel, as the installer probes, the printer on COM8. Every run must hear the printer: a wait
# left behind by an earlier port must not spoil a later one.
scenario_probe_sequence() {
  local SERIAL_LINES=(com5 com6 com7 com8) i heard=0 runs=${PROBE_RUNS:-3}
  use_prefix prefix win64
  serial_lines_ready com8 || return 0
  : >"$OUT/probe-sequence.txt"
  for ((i = 0; i < runs; i++)); do
    LD_PRELOAD="$SHIM_DIR/"'$LIB'"/shim.so" timeout -k 5 60 wine "$PROBE" 1,5,6,7,8 9600 100401 700 2>&1 |
      tr -d '\r' >>"$OUT/probe-sequence.txt"
    grep -c '^byte 12 from COM8 ' "$OUT/probe-sequence.txt" >"$OUT/probe-sequence.count"
    heard=$(<"$OUT/probe-sequence.count")
  done
  grep -E '^COM[0-9]+: [0-9]+ byte' "$OUT/probe-sequence.txt" | sort | uniq -c | sed 's/^/    /'
  check "COM8 heard in every one of $runs runs" test "$heard" -eq "$runs"
}
