# Wine scenario for display scaling: the main window and the three port dialogs at 96, 120 and 144
# DPI (100, 125 and 150 %). Sourced by scripts/wine-e2e.sh, after scenarios-install.sh (have_package,
# start_32bit_run, add_tcpip_monitor, install_usable, close_and_exit) and scenarios-serial.sh
# (PROMPT_TITLE).
#
# Wine takes the DPI from HKCU\Control Panel\Desktop LogPixels (docs/WINE.md) when a program
# starts, so one prefix serves every DPI. At 150 % the main window is wider than the run's 1024x768
# screen: the scenario has a display and a Wine desktop of its own, 1920x1080, as a laptop that
# scales to 150 % has. The screenshots, dpi-DPI-main.png, dpi-DPI-parallel.png,
# dpi-DPI-tcpip.png and dpi-DPI-serial.png, stay beside the release screenshots in the run's folder.

DESKTOP_KEY='HKCU\Control Panel\Desktop'
SERIAL_DEVICES_KEY='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
DPI_STEPS=(96 120 144)
declare -A DPI_BASE_SIZE=() # window -> its client size at 96 DPI, "WxH"

# Column widths the code sets, in pixels at 96 DPI: the port-type list, the port dialogs' list.
MAIN_COLUMNS=(110 525)
PORT_COLUMNS=(125 300)

DPI_SCREEN=1920x1080
DPI_DISPLAY=

# A display of DPI_SCREEN for this scenario; the run's display comes back afterwards
# (leave_dpi_display). Its server is a background helper, ended with the run at the latest.
enter_dpi_display() {
  local fd_file=$OUT/dpi-display i
  : >"$fd_file"
  Xvfb -displayfd 3 -screen 0 ${DPI_SCREEN}x24 -nolisten tcp 3>"$fd_file" 2>"$OUT/xvfb-dpi.log" &
  DPI_XVFB_PID=$!
  BACKGROUND_PIDS+=("$DPI_XVFB_PID")
  for ((i = 0; i < 100; i++)); do
    DPI_DISPLAY=$(tr -dc 0-9 <"$fd_file")
    [[ -n $DPI_DISPLAY ]] && break
    kill -0 "$DPI_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  [[ -n $DPI_DISPLAY ]] || {
    echo "    Xvfb did not start (see $OUT/xvfb-dpi.log)"
    return 1
  }
  export DISPLAY=:$DPI_DISPLAY
  echo "    Xvfb $DPI_SCREEN on $DISPLAY"
  # The desktop takes its size when the server starts it: a new server session, on the new display.
  {
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$DPI_SCREEN" /f &&
      wineserver -k && wineserver -w && wineserver -p
  } >>"$OUT/wine.log" 2>&1
}

leave_dpi_display() {
  wineserver -k >>"$OUT/wine.log" 2>&1
  wineserver -w
  [[ -n ${DPI_XVFB_PID:-} ]] && kill "$DPI_XVFB_PID" 2>/dev/null
  export DISPLAY=:$DISPLAY_NUM
}

set_dpi() {
  wine reg add "$DESKTOP_KEY" /v LogPixels /t REG_DWORD /d "$1" /f >>"$OUT/wine.log" 2>&1
}

# columns_scaled WAIT-COMMAND DPI WIDTH...: in the window WAIT-COMMAND finds, list 1004's columns
# are the WIDTHs scaled from 96 to DPI as MulDiv rounds, and every text fits its column.
columns_scaled() {
  local window=$1 dpi=$2 i=0 w cmds=()
  shift 2
  for w in "$@"; do
    cmds+=("expect-column-width 1004 $i $(((w * dpi + 48) / 96))")
    i=$((i + 1))
  done
  drive "$window" "${cmds[@]}" "expect-columns-fit 1004"
}

# size_scaled WAIT-COMMAND NAME DPI: the window's client size is its size at 96 DPI scaled to DPI,
# within 8 % (dialog units follow the font's measured size, which hinting rounds).
size_scaled() {
  local got base w h bw bh
  drive "$1" print-size || return 1
  got=$(sed -n 's/^ok   print-size: window [0-9x]* client //p' "$OUT/driver.out" | tr -d '\r')
  [[ $got =~ ^([0-9]+)x([0-9]+)$ ]] || {
    echo "    no client size in the driver's output"
    return 1
  }
  w=${BASH_REMATCH[1]} h=${BASH_REMATCH[2]}
  if (($3 == 96)); then
    DPI_BASE_SIZE[$2]=$got
    return 0
  fi
  base=${DPI_BASE_SIZE[$2]:-}
  [[ -n $base ]] || {
    echo "    no size at 96 DPI to compare with"
    return 1
  }
  bw=${base%x*} bh=${base#*x}
  echo "    $2: ${got} at $3 DPI, ${base} at 96; expected about $((bw * $3 / 96))x$((bh * $3 / 96))"
  within_8_percent "$w" $((bw * $3 / 96)) && within_8_percent "$h" $((bh * $3 / 96))
}

within_8_percent() {
  local diff=$(($1 - $2))
  ((diff < 0)) && diff=$((-diff))
  ((diff * 100 <= $2 * 8))
}

add_second_com_port() {
  wine reg add "$SERIAL_DEVICES_KEY" /v '\Device\Serial1' /d COM2 /f >>"$OUT/wine.log" 2>&1
}

# dpi_screenshot DPI-NAME: the screen as dpi-DPI-NAME.png, trimmed to the windows (the desktop's colour
# is the bottom-right pixel's, where no window reaches).
dpi_screenshot() {
  local file=$OUT/dpi-$1.png w h desktop
  screenshot "$file" || return 1
  read -r w h < <(identify -format '%w %h\n' "$file") &&
    desktop=$(convert "$file" -format "%[pixel:p{$((w - 1)),$((h - 1))}]" info:) &&
    convert "$file" -bordercolor "$desktop" -border 1 -trim +repage "$file"
}

# port_dialog_at DPI ROW TITLE NAME: picks port type ROW, Install opens the dialog TITLE; its list
# and size are checked, a screenshot taken, and Cancel closes it.
port_dialog_at() {
  local dpi=$1 row=$2 title=$3 name=$4 at
  at="wait-window $(dq "$title") 0"
  check "$dpi DPI: Install opens \"$title\"" \
    ui "select-list-row 1004 $row" "click 1012" "wait-window $(dq "$title") 20" "expect-count 1004 1 5" ||
    return 1
  check "$dpi DPI: \"$title\" columns ${PORT_COLUMNS[*]} px at 96 scaled; every port fits" \
    columns_scaled "$at" "$dpi" "${PORT_COLUMNS[@]}"
  check "$dpi DPI: \"$title\" size scales" size_scaled "$at" "$name" "$dpi"
  check "screenshot $OUT/dpi-$dpi-$name.png" dpi_screenshot "$dpi-$name"
  check "$dpi DPI: Cancel closes \"$title\"" \
    drive "$at" "click 1039" "wait-gone 5" && check "$dpi DPI: Install usable again" install_usable
}

dpi_run() {
  local dpi=$1 main
  main="wait-window $(dq "$TITLE") 0"
  set_dpi "$dpi"
  start_32bit_run RV-640 || return 1
  check "$dpi DPI: port-type columns ${MAIN_COLUMNS[*]} px at 96 scaled; every row fits" \
    columns_scaled "$main" "$dpi" "${MAIN_COLUMNS[@]}"
  check "$dpi DPI: main window size scales" size_scaled "$main" main "$dpi"
  check "screenshot $OUT/dpi-$dpi-main.png" dpi_screenshot "$dpi-main"
  if ((dpi == 96)); then
    # Wine runs the program per-monitor aware v1 (docs/WINE.md), where no dialog manager rescales a
    # window whose DPI changes: the columns must keep their widths with it.
    check "WM_DPICHANGED to 144 under per-monitor v1 awareness: the columns keep ${MAIN_COLUMNS[*]} px" \
      drive "$main" "send-dpi-changed 144" "expect-column-width 1004 0 ${MAIN_COLUMNS[0]}" \
      "expect-column-width 1004 1 ${MAIN_COLUMNS[1]}" "send-dpi-changed 96"
  fi
  port_dialog_at "$dpi" 2 "Select A Parallel Port" parallel || return 1
  port_dialog_at "$dpi" 3 "$TCPIP_DIALOG" tcpip || return 1
  check "$dpi DPI: Install asks whether to find the serial port" \
    ui "select-list-row 1004 0" "click 1012" "wait-window $(dq "$PROMPT_TITLE") 30" || return 1
  check "$dpi DPI: serial prompt size scales" size_scaled "wait-window $(dq "$PROMPT_TITLE") 0" serial "$dpi"
  check "screenshot $OUT/dpi-$dpi-serial.png" dpi_screenshot "$dpi-serial"
  check "$dpi DPI: \"&No\" closes the prompt" drive "wait-window $(dq "$PROMPT_TITLE") 0" "click 1036" "wait-gone 10"
  check "$dpi DPI: the installation ends, Install or Finish enabled" ui "expect-enabled 1012 60"
  close_and_exit
}

dpi_scenario_runs() {
  local dpi
  add_default_printer_key
  check "test TCP/IP monitor added" add_tcpip_monitor || return 0
  # The serial prompt comes with more than one COM port; the prefix lists COM1 alone. "&No" closes
  # it before any port is opened, so a second entry is all it takes. The key is volatile: it lasts
  # while this server runs, which is the whole scenario.
  check "SERIALCOMM lists COM1 and COM2" add_second_com_port
  for dpi in "${DPI_STEPS[@]}"; do
    dpi_run "$dpi" || break
  done
}

scenario_dpi_win32() {
  use_win32_prefix dpi
  have_package || return 0
  check "a $DPI_SCREEN display and Wine desktop" enter_dpi_display || return 0
  dpi_scenario_runs
  set_dpi 96
  leave_dpi_display
}
