#!/usr/bin/env bash
# Headless end-to-end runs of the Windows build under Wine: builds installer.exe and the UI driver,
# makes a fresh prefix, starts a virtual display and drives the dialog as a user would.
#
# Usage: scripts/wine-e2e.sh [--list] [SCENARIO...]      (default: every scenario)
#   WINE_E2E_EXE=path/installer.exe  test that exe instead of building one
#   WINE_E2E_OUT=folder              output folder instead of build/wine-e2e
# Output goes to build/wine-e2e/ (logs, screenshots, prefixes, working folder).
set -uo pipefail # no -e: a failed check is counted, not fatal

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${WINE_E2E_OUT:-$ROOT/build/wine-e2e}
DRIVER=$ROOT/build-win/uidriver.exe
TITLE="Configure & Install v1.0"
SCREEN=1024x768
SCENARIOS=(startup_win10_64 package_win10_64 spooler_and_ports install_receipt_win32 install_label_win32
  install_lpt1_only_win32 tcpip_no_port_win32 serial_channel probe_sequence serial_install_win32
  dll_search codepage_1252_win32 codepage_936_win32 setup_receipt_win32 setup_label_win32 setup_serial_win32
  setup_status_remove_win32 setup_exit_codes_win32 dpi_win32
  conformance)

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH WINEPREFIX

START=$SECONDS
PASSED=0
FAILED=0
XVFB_PID=
DISPLAY_NUM=
INSTALLER_PID=
EXE=
declare -A PREFIXES=() # name -> path, recreated once per run
BACKGROUND_PIDS=()     # helpers a scenario started (pty lines, fake printers)

log() { printf 'wine-e2e [%3ds] %s\n' $((SECONDS - START)) "$*"; }

summary() {
  log "done"
  echo "wine-e2e: $PASSED passed, $FAILED failed"
}

# Setup errors end the run as a failure, with the reason on one line.
die() {
  log "FAIL: $*"
  FAILED=$((FAILED + 1))
  summary
  exit 1
}

cleanup() {
  local p
  for p in "${PREFIXES[@]}"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1; done
  [[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null
  for p in "${BACKGROUND_PIDS[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'log "interrupted"; exit 130' INT TERM

# ---- machine -------------------------------------------------------------------------------------

PACKAGES=(wine wine32:i386 wine64 xvfb socat imagemagick x11-apps g++-mingw-w64-i686 python3
  fonts-wqy-microhei locales)

installed() { [[ $(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]; }

# Installs what is missing (Debian, as root or through sudo -n); a machine that has it all is not
# touched. Without Wine nothing can run: that alone is a skip.
ensure_packages() {
  local missing=() p sudo=
  if command -v dpkg-query >/dev/null; then
    for p in "${PACKAGES[@]}"; do installed "$p" || missing+=("$p"); done
  fi
  if ((${#missing[@]})); then
    ((EUID == 0)) || sudo="sudo -n"
    log "installing ${missing[*]}"
    mkdir -p "$OUT"
    {
      dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
      $sudo apt-get -qq update &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    } >"$OUT/apt.log" 2>&1 || log "package installation failed (see $OUT/apt.log)"
  fi
  if ! command -v wine >/dev/null || { command -v dpkg-query >/dev/null && ! installed wine32:i386; }; then
    echo "wine-e2e: skipped: Wine with 32-bit support (wine, wine32:i386) is not installed and could not be installed"
    exit 0
  fi
  for p in Xvfb import identify i686-w64-mingw32-gcc timeout; do
    command -v "$p" >/dev/null || die "$p is missing and could not be installed"
  done
}

build() {
  if [[ -n ${WINE_E2E_EXE:-} ]]; then
    EXE=$(realpath "$WINE_E2E_EXE") || die "WINE_E2E_EXE=$WINE_E2E_EXE does not exist"
  elif [[ -f $ROOT/scripts/build-windows.sh ]]; then
    log "building installer.exe (scripts/build-windows.sh, log: $OUT/build.log)"
    bash "$ROOT/scripts/build-windows.sh" >"$OUT/build.log" 2>&1 || {
      tail -n 20 "$OUT/build.log"
      die "scripts/build-windows.sh failed"
    }
    EXE=$ROOT/build-win/installer.exe
  else
    die "scripts/build-windows.sh does not exist yet, so installer.exe cannot be built (WINE_E2E_EXE=... tests a given exe)"
  fi
  [[ -f $EXE ]] || die "$EXE was not built"
  bash "$ROOT/tools/uidriver/build.sh" "$DRIVER" >"$OUT/uidriver-build.log" 2>&1 || {
    cat "$OUT/uidriver-build.log"
    die "building the UI driver failed"
  }
  log "testing $EXE"
}

start_display() {
  local fd_file=$OUT/display i
  : >"$fd_file"
  # -displayfd picks a free display and reports it once the server accepts connections.
  Xvfb -displayfd 3 -screen 0 ${SCREEN}x24 -nolisten tcp 3>"$fd_file" 2>"$OUT/xvfb.log" &
  XVFB_PID=$!
  for ((i = 0; i < 100; i++)); do
    DISPLAY_NUM=$(tr -dc 0-9 <"$fd_file")
    [[ -n $DISPLAY_NUM ]] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  [[ -n $DISPLAY_NUM ]] || die "Xvfb did not start (see $OUT/xvfb.log)"
  export DISPLAY=:$DISPLAY_NUM
  log "Xvfb on $DISPLAY"
}

# use_prefix NAME [win64|win32]: a fresh prefix $OUT/NAME the first time in a run, reused later;
# Windows 10, no crash dialog, a persistent wineserver. Windows open on a Wine desktop of the
# display's size: without a window manager Wine stalls 2 s whenever a window hides (each message box)
# and draws no title bars.
use_prefix() {
  local name=$1 arch=${2:-win64} dir=$OUT/$1
  export WINEPREFIX=$dir
  [[ -n ${PREFIXES[$name]:-} ]] && return 0
  PREFIXES[$name]=$dir
  log "creating $arch prefix $dir"
  rm -rf "$dir"
  mkdir -p "$dir"
  # The persistent server first: started after wineboot it would find wineboot's server running.
  # It fixes a new prefix's architecture, so it needs WINEARCH too.
  {
    WINEARCH=$arch wineserver -p &&
      if [[ $arch == win32 ]]; then WINEARCH=win32 wineboot -i; else wineboot -i; fi &&
      wine winecfg -v win10 &&
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
      wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
      wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$SCREEN" /f &&
      # The desktop exists since wineboot: a new server session takes the setting.
      wineserver -k && wineserver -w && wineserver -p
  } >>"$OUT/wine.log" 2>&1 || die "creating prefix $dir failed (see $OUT/wine.log)"
}

# launch_installer WORKDIR [FILE...]: runs a copy of the exe from WORKDIR, where it looks for its
# data; the FILEs are copied beside it.
launch_installer() {
  local work=$1
  shift
  rm -rf "$work"
  mkdir -p "$work"
  cp "$EXE" "$@" "$work/"
  (cd "$work" && exec wine "$(basename "$EXE")") >"$OUT/installer.log" 2>&1 &
  INSTALLER_PID=$!
}

# ---- checks --------------------------------------------------------------------------------------

# Quotes a word for a driver command.
dq() {
  local s=${1//\\/\\\\}
  printf '"%s"' "${s//\"/\\\"}"
}

# drive COMMAND...: one driver run; its lines are shown indented and kept in driver.log. Output goes
# to a file, not a pipe: Wine services started on the way inherit it and would hold a pipe open.
drive() {
  local rc out=$OUT/driver.out
  timeout -k 5 100 wine "$DRIVER" "$@" >"$out" 2>&1
  rc=$?
  ((rc == 124)) && echo "driver timed out" >>"$out"
  sed 's/^/    /' "$out"
  cat "$out" >>"$OUT/driver.log"
  return "$rc"
}

# ui COMMAND...: driver commands against the installer's window.
ui() {
  if ! kill -0 "$INSTALLER_PID" 2>/dev/null; then
    echo "    the installer is no longer running"
    return 1
  fi
  drive "wait-window $(dq "$TITLE") 5" "$@"
}

screenshot() {
  local colours
  import -display "$DISPLAY" -window root "$1" || return 1
  # A black or blank frame means nothing was painted.
  colours=$(identify -format '%k' "$1") || return 1
  echo "    $1: $colours colours"
  ((colours > 2))
}

# wait_exit SECONDS [CODE]: the installer's process ends, with exit code CODE (default 0).
wait_exit() {
  local i rc
  for ((i = 0; i < $1 * 10; i++)); do
    kill -0 "$INSTALLER_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$INSTALLER_PID" 2>/dev/null && {
    echo "    still running after $1s"
    return 1
  }
  wait "$INSTALLER_PID"
  rc=$?
  echo "    exit code $rc"
  ((rc == ${2:-0}))
}

# check DESCRIPTION COMMAND...: runs and counts one check; a failure leaves a screenshot behind.
check() {
  local what=$1 t=$SECONDS shot
  shift
  if "$@"; then
    PASSED=$((PASSED + 1))
    log "PASS: $what ($((SECONDS - t))s)"
    return 0
  fi
  FAILED=$((FAILED + 1))
  log "FAIL: $what ($((SECONDS - t))s)"
  if [[ -n $DISPLAY_NUM ]]; then
    shot=$OUT/failure-$FAILED.png
    import -display "$DISPLAY" -window root "$shot" 2>/dev/null && log "      screen at failure: $shot"
  fi
  return 1
}

# run_scenario NAME: runs scenario_NAME; when a check failed, shows what the installer printed.
run_scenario() {
  local failed=$FAILED
  log "== $1"
  "scenario_$1"
  if ((FAILED > failed)) && [[ -s $OUT/installer.log ]]; then
    tail -n 20 "$OUT/installer.log" | sed 's/^/    installer: /'
  fi
}

# ---- scenarios -----------------------------------------------------------------------------------
# Each scenario_NAME function runs its checks; add new ones to SCENARIOS.

# Start-up on 64-bit Windows 10: the detection line, the Install button, a clean close.
scenario_startup_win10_64() {
  use_prefix prefix win64
  launch_installer "$OUT/work"
  check "window \"$TITLE\" appears" drive "wait-window $(dq "$TITLE") 30" || return 0
  check "status line reports Windows 10 64 bit" \
    ui "expect-text 1011 $(dq "Current System is Microsoft Windows 10  64 bit") 60"
  check "Install button becomes enabled" ui "expect-enabled 1012 10"
  check "screenshot $OUT/startup.png" screenshot "$OUT/startup.png"
  check "window closes on WM_CLOSE" ui close "wait-gone 10"
  check "installer exits with code 0" wait_exit 10
}

# Scenarios with the driver package: start-up, spooler and ports, installations.
source "$ROOT/scripts/wine/scenarios-install.sh"
# The serial channel against a fake printer on a pseudo-terminal.
source "$ROOT/scripts/wine/scenarios-serial.sh"
# Where the libraries are loaded from: never a planted copy in the current or the program's folder.
source "$ROOT/scripts/wine/scenarios-hardening.sh"
# Text in the system's ANSI code page: catalogue names, typed printer names, port descriptions.
source "$ROOT/scripts/wine/scenarios-codepage.sh"
# printer-setup.exe, the unattended companion, driven as a deployment system would.
source "$ROOT/scripts/wine/scenarios-setup.sh"
# The main window and the port dialogs at 96, 120 and 144 DPI.
source "$ROOT/scripts/wine/scenarios-dpi.sh"
# The boundary's conformance groups against the real Win32 layer (conformance.exe).
source "$ROOT/scripts/wine/scenarios-conformance.sh"

main() {
  local s selected=()
  if [[ ${1:-} == --list ]]; then
    printf '%s\n' "${SCENARIOS[@]}"
    return 0
  fi
  for s in "${@:-${SCENARIOS[@]}}"; do
    declare -F "scenario_$s" >/dev/null || die "unknown scenario '$s' (--list shows them)"
    selected+=("$s")
  done
  mkdir -p "$OUT"
  rm -f "$OUT"/*.log "$OUT"/*.png
  ensure_packages
  build
  start_display
  for s in "${selected[@]}"; do run_scenario "$s"; done
  summary
  ((FAILED == 0))
}

main "$@"
