# Sourced by the Wine benchmarks (bench/*.sh): the set-up tests/wine makes, for bash. A virtual
# display and a fresh Windows 10 prefix (64-bit, as the start-up tests use) with a persistent
# wineserver; a benchmark that installs printers makes a 32-bit prefix of its own (bench_wine_prefix32). When run-all.sh has made them already
# (BENCH_DISPLAY, BENCH_PREFIX exported) they are reused; whoever made them ends them on exit.

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH

bench_wine_cleanup() {
  [[ -n ${BENCH_PREFIX_OWNED:-} ]] && WINEPREFIX=$BENCH_PREFIX_OWNED wineserver -k >/dev/null 2>&1
  [[ -n ${BENCH_PREFIX32_OWNED:-} ]] && WINEPREFIX=$BENCH_PREFIX32_OWNED wineserver -k >/dev/null 2>&1
  [[ -n ${BENCH_XVFB_PID:-} ]] && kill "$BENCH_XVFB_PID" 2>/dev/null
  BENCH_PREFIX_OWNED='' BENCH_PREFIX32_OWNED='' BENCH_XVFB_PID=''
}

# bench_wine_display WORKDIR: DISPLAY set to the shared virtual display, started if need be.
bench_wine_display() {
  local work=$1 fd_file i
  if [[ -n ${BENCH_DISPLAY:-} ]]; then
    export DISPLAY=$BENCH_DISPLAY
    return 0
  fi
  for i in wine wineserver Xvfb i686-w64-mingw32-gcc; do
    command -v "$i" >/dev/null || {
      echo "error: $i is missing (scripts/setup.sh installs it)" >&2
      return 1
    }
  done
  mkdir -p "$work"
  trap bench_wine_cleanup EXIT
  fd_file=$work/display
  : >"$fd_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" 2>"$work/xvfb.log" &
  BENCH_XVFB_PID=$!
  for ((i = 0; i < 100; i++)); do
    BENCH_DISPLAY=:$(tr -dc 0-9 <"$fd_file")
    [[ $BENCH_DISPLAY != : ]] && break
    sleep 0.1
  done
  [[ $BENCH_DISPLAY != : ]] || {
    echo "error: Xvfb did not start (see $work/xvfb.log)" >&2
    return 1
  }
  export DISPLAY=$BENCH_DISPLAY BENCH_DISPLAY
}

# bench_wine_setup WORKDIR: DISPLAY and WINEPREFIX set for the benchmark's wine calls.
bench_wine_setup() {
  local work=$1
  if [[ -n ${BENCH_DISPLAY:-} && -n ${BENCH_PREFIX:-} ]]; then
    export DISPLAY=$BENCH_DISPLAY WINEPREFIX=$BENCH_PREFIX
    return 0
  fi
  bench_wine_display "$work" || return 1
  BENCH_PREFIX=$work/wine-prefix
  export WINEPREFIX=$BENCH_PREFIX BENCH_PREFIX
  rm -rf "$BENCH_PREFIX"
  mkdir -p "$BENCH_PREFIX"
  BENCH_PREFIX_OWNED=$BENCH_PREFIX
  bench_make_prefix "$BENCH_PREFIX" win64 "$work/wine-setup.log"
}

# bench_wine_prefix32 DIR: a fresh 32-bit Windows 10 prefix in DIR as WINEPREFIX, with a persistent
# wineserver ended on exit. Wine's spooler creates printers for a 32-bit program only in a 32-bit
# prefix (docs/WINE.md). The server must know the architecture before wineboot runs.
bench_wine_prefix32() {
  local dir=$1
  export WINEPREFIX=$dir
  rm -rf "$dir"
  mkdir -p "$dir"
  BENCH_PREFIX32_OWNED=$dir
  trap bench_wine_cleanup EXIT
  bench_make_prefix "$dir" win32 "$dir.log"
}

# bench_make_prefix DIR ARCH LOG: a Windows 10 prefix in DIR (WINEPREFIX already set to it) as the
# end-to-end runs make it: no crash dialog and a Wine desktop, so hidden windows cause no stalls
# without a window manager; a persistent wineserver. The server must know the architecture before
# wineboot runs.
bench_make_prefix() {
  local dir=$1 arch=$2 log=$3
  {
    WINEARCH=$arch wineserver -p && WINEARCH=$arch wineboot -i && wine winecfg -v win10 &&
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
      wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
      wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f &&
      wineserver -k && wineserver -w && wineserver -p
  } >"$log" 2>&1 || {
    echo "error: creating the $arch prefix $dir failed (see $log)" >&2
    return 1
  }
}

# The Spooler service's state as sc reports it (RUNNING, STOPPED, ...).
bench_spooler_state() {
  wine sc query spooler 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'
}
