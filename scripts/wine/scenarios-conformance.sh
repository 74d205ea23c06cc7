# Wine scenario for the boundary's conformance groups (tests/conformance): conformance.exe, the same
# cases the host suite runs against the simulated machine, against the real Win32 layer, in a
# 64-bit prefix (a 32-bit process under WoW64) and in a 32-bit one. Sourced by scripts/wine-e2e.sh,
# which provides the helpers (use_prefix, use_win32_prefix, check, log), and after
# scripts/wine/scenarios-serial.sh (pty_line, the pty shim): the COM group runs once more on COM12,
# a pseudo-terminal with nothing behind it.

CONFORMANCE_EXE=$ROOT/build-win/conformance.exe
# A working port monitor (the sample's monitor source) for the spooler's add and delete, built for each
# word size; conformance.exe adds it by this file name from the prefix's system folder.
CONFORMANCE_MONITOR=conformance-monitor.dll

build_conformance_monitors() {
  local flags=(-O2 -Wall -Wextra -Werror -shared -s)
  i686-w64-mingw32-gcc "${flags[@]}" -o "$OUT/monitor-x86.dll" "$ROOT/packages/monitor/langmon.c" -Wl,--kill-at &&
    x86_64-w64-mingw32-gcc "${flags[@]}" -o "$OUT/monitor-x64.dll" "$ROOT/packages/monitor/langmon.c"
}

# place_conformance_monitor x86|x64: into system32 of the current prefix, where the spooler of that
# word size loads a monitor named without a folder (in a 64-bit prefix, the 64-bit system32).
place_conformance_monitor() {
  cp "$OUT/monitor-$1.dll" "$WINEPREFIX/drive_c/windows/system32/$CONFORMANCE_MONITOR"
}

build_conformance() {
  cmake --build "$ROOT/build-win" -j2 --target conformance >"$OUT/conformance-build.log" 2>&1 || {
    tail -n 20 "$OUT/conformance-build.log"
    return 1
  }
  [[ -f $CONFORMANCE_EXE ]] && build_conformance_monitors >>"$OUT/conformance-build.log" 2>&1 && build_serial_tools
}

# run_conformance LOG [COM]: runs conformance.exe in the current prefix; passes when it reports no failed
# case (its exit code) and printed its summary. Failures and recorded Wine differences are shown.
run_conformance() {
  local log=$1 rc
  CONFORMANCE_COM_PORT=${2:-} CONFORMANCE_MONITOR_DLL=$CONFORMANCE_MONITOR LD_PRELOAD="$SHIM_DIR/"'$LIB'"/shim.so" \
    timeout -k 5 120 wine "$CONFORMANCE_EXE" >"$log" 2>&1
  rc=$?
  grep -E 'Test failed|Wine difference|Tests skipped|^conformance' "$log" | sed 's/^/    /'
  grep -q '^conformance: [0-9]* passed, 0 failed' "$log" && ((rc == 0))
}

scenario_conformance() {
  check "conformance.exe and the pty shim build" build_conformance || return 0
  use_prefix prefix win64
  place_conformance_monitor x64
  check "conformance groups in a 64-bit prefix" run_conformance "$OUT/conformance-win64.log"
  use_win32_prefix conformance32
  place_conformance_monitor x86
  check "conformance groups in a 32-bit prefix" run_conformance "$OUT/conformance-win32.log"
  check "COM12 on a pseudo-terminal" com12_on_pty || return 0
  check "conformance groups with COM12 in a 32-bit prefix" run_conformance "$OUT/conformance-com.log" COM12
}

# COM12 (the device namespace's case) on a pty with nothing behind it; Wine maps it as its server
# starts again.
com12_on_pty() {
  mkdir -p "$TTY_DIR"
  pty_line com12 || return 1
  {
    rm -f "$WINEPREFIX/dosdevices/com12"
    wine reg add "$WINE_PORTS_KEY" /v COM12 /d "$TTY_DIR/com12-win" /f &&
      wineserver -k && wineserver -w && wineserver -p
  } >>"$OUT/wine.log" 2>&1
}
