# Wine scenarios for text in the system's ANSI code page. Sourced by scripts/wine-e2e.sh, which
# provides the helpers (use_prefix, launch_installer, check, ui, drive, screenshot, log, dq) and,
# through scripts/wine/scenarios-install.sh, the installation helpers (use_win32_prefix,
# have_package, install_and_finish, add_default_printer_key, finish_and_exit, ...).
#
# Wine takes a process's ANSI code page from its Unix locale (de_DE.UTF-8 gives 1252, zh_CN.UTF-8
# 936), so each scenario sets LANG for the installer and the UI driver alike. The package's catalogue is written in that code page's bytes, as a catalogue
# written on such a Windows is; the installer must show its names, install the model picked and
# hand a typed printer name to the spooler and the registry as the same characters. The UI driver
# reads the window texts and the spooler in UTF-16 and prints UTF-8, and the registry is exported
# with regedit (UTF-16LE), so every check compares the exact characters.

DRVPACK=$ROOT/build/tools/drvpack/drvpack
SAMPLE_STAGE=$ROOT/build/sample/stage

# codepage_package DIR CATALOGUE ICONV_NAME: DIR/DriverData.Drv, the sample package with the
# catalogue CATALOGUE (packages/catalogues, UTF-8) in the code page's bytes.
codepage_package() {
  local dir=$1 stage=$1/stage
  if [[ ! -x $DRVPACK && -f $ROOT/build/CMakeCache.txt ]]; then
    cmake --build "$ROOT/build" --target drvpack >"$OUT/drvpack-build.log" 2>&1
  fi
  [[ -x $DRVPACK && -d $SAMPLE_STAGE ]] || {
    echo "    drvpack or the sample's staging folder is missing (build the host build first)"
    return 1
  }
  rm -rf "$dir"
  mkdir -p "$stage"
  cp -a "$SAMPLE_STAGE/." "$stage/" &&
    iconv -f UTF-8 -t "$3" "$ROOT/packages/catalogues/$2" >"$stage/DriverName.cfg" &&
    "$DRVPACK" build "$stage" -o "$dir/DriverData.Drv" >"$dir/drvpack.log" 2>&1 || {
    cat "$dir/drvpack.log" 2>/dev/null
    return 1
  }
}

# reg_export KEY: the key and its subkeys as regedit exports them, in UTF-8 (regedit writes
# UTF-16LE; `wine reg query` would print through the console code page instead).
reg_export() {
  local file=$OUT/export.reg key=$1
  # regedit takes the roots by their full names only.
  key=${key/#HKCU\\/HKEY_CURRENT_USER\\}
  key=${key/#HKLM\\/HKEY_LOCAL_MACHINE\\}
  rm -f "$file"
  wine regedit /E "$(winepath -w "$file")" "$key" >>"$OUT/wine.log" 2>&1 && [[ -f $file ]] || return 1
  iconv -f UTF-16LE -t UTF-8 "$file" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//'
}

# reg_has KEY LINE: the export of KEY has LINE exactly.
reg_has() {
  local export
  export=$(reg_export "$1") || return 1
  if grep -qxF -- "$2" <<<"$export"; then
    echo "    $2"
    return 0
  fi
  echo "    no line $2 in the export of $1:"
  grep -v '^$' <<<"$export" | head -n 20 | sed 's/^/      /'
  return 1
}

# reg_import_utf16 TEXT: imports TEXT (a .reg file's body, UTF-8 here) as regedit reads it: UTF-16LE
# with a byte-order mark, so non-ASCII data arrives exactly.
reg_import_utf16() {
  local file=$OUT/import.reg
  { printf '\xFF\xFE'; printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n' "$1" | iconv -f UTF-8 -t UTF-16LE; } >"$file"
  wine regedit /S "$(winepath -w "$file")" >>"$OUT/wine.log" 2>&1
}

# drive_file COMMAND...: drive, with the commands handed over in a script file. Wine decodes a
# program's arguments with the Unix locale's charset, and the locales LANG names here are not
# installed, so non-ASCII arguments would arrive mangled; the UI driver reads its script as UTF-8.
drive_file() {
  local script=$OUT/driver-script.txt
  printf '%s\n' "$@" >"$script"
  drive -f "$(winepath -w "$script")"
}

# ui_file COMMAND...: ui, through a script file.
ui_file() {
  if ! kill -0 "$INSTALLER_PID" 2>/dev/null; then
    echo "    the installer is no longer running"
    return 1
  fi
  drive_file "wait-window $(dq "$TITLE") 5" "$@"
}

# with_lang LANG: later wine processes of the scenario (installer, UI driver) use that code page.
# Wine derives its locale from the Unix locale, which must exist (docs/WINE.md): it is compiled
# with localedef into a folder of the run (LOCPATH), so nothing is installed on the machine. The
# first process under a new locale updates the prefix's configuration, and the wineserver goes away
# under whatever starts meanwhile: one process takes that first, then the persistent server is
# started again.
SAVED_LANG=${LANG-}
with_lang() {
  local dir=$OUT/locale
  if [[ ! -f $dir/$1/LC_CTYPE ]]; then
    mkdir -p "$dir"
    # localedef may warn (exit 1) and still write the locale: its files are what counts.
    localedef -i "${1%%.*}" -f UTF-8 "$dir/$1" >>"$OUT/wine.log" 2>&1
    [[ -f $dir/$1/LC_CTYPE ]] || {
      echo "    localedef could not make $1 (see $OUT/wine.log)"
      return 1
    }
  fi
  export LOCPATH=$dir LANG=$1
  { wine cmd /c exit && wineserver -k && wineserver -w && wineserver -p; } >>"$OUT/wine.log" 2>&1
}
restore_lang() {
  unset LOCPATH
  export LANG=$SAVED_LANG
}

# codepage_start PACKAGE_DIR: the installer with our archive library and the package, until the
# start-up is over.
codepage_start() {
  launch_installer "$OUT/work" "${PACKAGE_FILES[0]}" "$1/DriverData.Drv"
  check "window \"$TITLE\" appears" drive "wait-window $(dq "$TITLE") 30" || return 1
  check "start-up reports Windows 10 32 bit and enables Install" \
    ui "expect-text 1011 $(dq "Current System is Microsoft Windows 10  32 bit") 60" \
    "expect-enabled 1012 10"
}

# ---- code page 1252 (German Windows) -------------------------------------------------------------
# Receipt05 (model 4, RV-640) has two names, the second "Küche 80"; it is at position 6 of the
# list, so a name that failed to match its catalogue bytes would fall back to model 6 (RV-660).

scenario_codepage_1252_win32() {
  local printer="Drucker Büro" pkg=$OUT/package-cp1252
  use_win32_prefix cp1252
  have_package || return 0
  add_default_printer_key
  check "package with a code page 1252 catalogue (Küche 80, MP-220 Büro, LB-400 Versandetikett Größe M)" \
    codepage_package "$pkg" de-1252.cfg CP1252 || return 0
  check "the installer and the UI driver run with LANG=de_DE.UTF-8 (code page 1252)" with_lang de_DE.UTF-8 || {
    restore_lang
    return 0
  }
  if codepage_start "$pkg"; then
    check "driver list shows the Latin-1 names right: item 6 \"Küche 80\", item 27 \"MP-220 Büro\"" \
      ui_file "expect-item 1000 5 RV-640 0" "expect-item 1000 6 $(dq "Küche 80") 0" \
      "expect-item 1000 27 $(dq "MP-220 Büro") 0" "expect-item 1000 35 $(dq "LB-400 Versandetikett Größe M") 0"
    check "choose \"Küche 80\", type the printer name \"$printer\", port type \"Parallel port\"" \
      ui_file "select-combo-text 1000 $(dq "Küche 80")" "expect-text 1001 $(dq "Küche 80") 5" \
      "set-text 1001 $(dq "$printer")" "expect-text 1001 $(dq "$printer") 5" "select-list-row 1004 2"
    check "Install asks which parallel port; LPT2: chosen; completed, \"&Finish\"" \
      install_and_finish ask "$OUT/codepage-1252-parallel.png"
    check "spooler has printer \"$printer\" with the model picked, RV-640, on $INSTALL_PORT" \
      drive_file "expect-printer $(dq "$printer") RV-640 $INSTALL_PORT"
    check "the Windows key's \"Device\" is \"$printer,winspool,$INSTALL_PORT\" (regedit export)" \
      reg_has "$WINDOWS_KEY" "\"Device\"=\"$printer,winspool,$INSTALL_PORT\""
    check "the spooler's registry names the printer \"$printer\"" \
      reg_has 'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Print\Printers' \
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\$printer]"
    finish_and_exit codepage-1252-finished.png
  fi
  restore_lang
}

# ---- code page 936 (Simplified Chinese Windows) --------------------------------------------------
# Chinese catalogue names and the TCP/IP port described as a Chinese Windows describes it. Our test
# monitor (tools/wine-tcpip-monitor) takes its ports' description from the monitor key's value
# PortDescription.

CHINESE_TCPIP="标准 TCP/IP 端口"

add_chinese_tcpip_monitor() {
  local dll=$OUT/tcpipmon.dll key='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Print\Monitors\Standard TCP/IP Port'
  bash "$ROOT/tools/wine-tcpip-monitor/build.sh" "$dll" >"$OUT/tcpipmon-build.log" 2>&1 || {
    cat "$OUT/tcpipmon-build.log"
    return 1
  }
  cp "$dll" "$WINEPREFIX/drive_c/windows/system32/tcpipmon.dll" &&
    reg_import_utf16 "[$key]
\"Driver\"=\"tcpipmon.dll\"
\"PortDescription\"=\"$CHINESE_TCPIP\"

[$key\\Ports\\$TCPIP_PORT]" &&
    drive_file "expect-port $TCPIP_PORT $(dq "$CHINESE_TCPIP")"
}

# OK in the TCP/IP dialog, then the installation runs to its end; a message box in the way is shown
# in the log and answered.
ok_and_finish() {
  drive "wait-window $(dq "$TCPIP_DIALOG") 0" "click 1037" "wait-gone 5" &&
    ui "expect-text 1011 $(dq "The installation is completed.") 60" "expect-text 1012 $(dq "&Finish") 5" && return 0
  answer_box
  return 1
}

scenario_codepage_936_win32() {
  local printer="厨房打印机" pkg=$OUT/package-cp936
  use_win32_prefix cp936
  have_package || return 0
  add_default_printer_key
  check "package with a code page 936 catalogue (厨房打印机 80, MP-220 移动, LB-400 标签)" \
    codepage_package "$pkg" zh-936.cfg CP936 || return 0
  check "the installer and the UI driver run with LANG=zh_CN.UTF-8 (code page 936)" with_lang zh_CN.UTF-8 || {
    restore_lang
    return 0
  }
  check "test TCP/IP monitor added: EnumPortsW lists $TCPIP_PORT as \"$CHINESE_TCPIP\"" \
    add_chinese_tcpip_monitor || {
    restore_lang
    return 0
  }
  if codepage_start "$pkg"; then
    check "driver list shows the Chinese names right: item 6 \"厨房打印机 80\", \"LB-400 标签\"" \
      ui_file "expect-item 1000 6 $(dq "厨房打印机 80") 0" "expect-item 1000 27 $(dq "MP-220 移动") 0" \
      "expect-item 1000 34 $(dq "LB-400 标签") 0"
    check "choose \"厨房打印机 80\", type the printer name \"$printer\", port type \"TCP/IP port\"" \
      ui_file "select-combo-text 1000 $(dq "厨房打印机 80")" "set-text 1001 $(dq "$printer")" \
      "expect-text 1001 $(dq "$printer") 5" "select-list-row 1004 3"
    check "Install opens \"$TCPIP_DIALOG\", listing $TCPIP_PORT, selected" \
      ui "click 1012" "wait-window $(dq "$TCPIP_DIALOG") 20" "expect-item 1004 0 $TCPIP_PORT 5" \
      "expect-list-selected 1004 0 0"
    check "screenshot $OUT/codepage-936-tcpip-dialog.png" screenshot "$OUT/codepage-936-tcpip-dialog.png"
    check "OK takes $TCPIP_PORT; completed, \"&Finish\"" ok_and_finish
    check "spooler has printer \"$printer\" with the model picked, RV-640, on $TCPIP_PORT" \
      drive_file "expect-printer $(dq "$printer") RV-640 $TCPIP_PORT"
    check "the Windows key's \"Device\" is \"$printer,winspool,$TCPIP_PORT\" (regedit export)" \
      reg_has "$WINDOWS_KEY" "\"Device\"=\"$printer,winspool,$TCPIP_PORT\""
    finish_and_exit codepage-936-finished.png
  fi
  restore_lang
}
