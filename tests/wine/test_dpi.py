"""Display scaling: the main window and the three port dialogs at 96, 120 and 144 DPI (100, 125 and
150 %). Wine takes the DPI from HKCU\\Control Panel\\Desktop LogPixels when a program starts
(docs/WINE.md), so one prefix serves every DPI. At 150 % the main window is wider than the run's
1024x768 screen: these tests have a display and a Wine desktop of their own, 1920x1080, as a laptop
that scales to 150 % has. The screenshots dpi-DPI-main.png, dpi-DPI-parallel.png, dpi-DPI-tcpip.png
and dpi-DPI-serial.png stay beside the release screenshots in the run's folder."""

import re

import pytest

from flows import (PARALLEL_DIALOG, PROMPT_TITLE, TCPIP_DIALOG, add_tcpip_monitor, install_usable,
                   start_32bit_run)
from harness import OUT, SERIALCOMM_KEY, TITLE, Display, Driver, Result, check, dq, run, screenshot

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
DPI_SCREEN = "1920x1080"
# Column widths the code sets, in pixels at 96 DPI: the port-type list, the port dialogs' list.
MAIN_COLUMNS = (110, 525)
PORT_COLUMNS = (125, 300)
BASE_SIZE = {}  # window -> its client size at 96 DPI, (w, h)


@pytest.fixture(scope="module")
def dpi_prefix(win32_prefix, package):
    prefix = win32_prefix("dpi")
    screen = Display(DPI_SCREEN, "xvfb-dpi")
    saved = prefix.display
    prefix.display = screen.name
    # The desktop takes its size when the server starts it: a new server session, on the new display.
    check(f"a {DPI_SCREEN} display and Wine desktop",
          Result(prefix.reg_add(r"HKCU\Software\Wine\Explorer\Desktops", "Default", DPI_SCREEN) and
                 prefix.restart_server()))
    prefix.add_default_printer_key()
    check("test TCP/IP monitor added", add_tcpip_monitor(prefix, Driver(prefix)))
    # The serial prompt comes with more than one COM port; the prefix lists COM1 alone. "&No" closes
    # it before any port is opened, so a second entry is all it takes. The key is volatile: it lasts
    # while this server runs, which is the whole module.
    check("SERIALCOMM lists COM1 and COM2", Result(prefix.reg_add(SERIALCOMM_KEY, "\\Device\\Serial1", "COM2")))
    yield prefix
    set_dpi(prefix, 96)
    prefix.kill_server()
    run(["wineserver", "-w"], env=prefix.environ())
    screen.stop()
    prefix.display = saved


def set_dpi(prefix, dpi):
    prefix.reg_add(DESKTOP_KEY, "LogPixels", str(dpi), "REG_DWORD")


def scaled(width, dpi):
    """WIDTH at 96 DPI scaled to DPI as MulDiv rounds."""
    return (width * dpi + 48) // 96


def columns_scaled(drive, at, dpi, widths):
    """The list's columns in the window AT finds are WIDTHS scaled, and every text fits its column."""
    return drive(at, *[f"expect-column-width port-list {i} {scaled(w, dpi)}" for i, w in enumerate(widths)],
                 "expect-columns-fit port-list")


def within_8_percent(got, want):
    return abs(got - want) * 100 <= want * 8


def size_scaled(drive, at, name, dpi):
    """The window's client size is its size at 96 DPI scaled to DPI, within 8 % (dialog units follow
    the font's measured size, which hinting rounds)."""
    result = drive(at, "print-size")
    m = re.search(r"^ok   print-size: window \d+x\d+ client (\d+)x(\d+)", result.output, re.M)
    if not result or not m:
        return Result(False, "no client size in the driver's output\n" + result.output)
    w, h = int(m.group(1)), int(m.group(2))
    if dpi == 96:
        BASE_SIZE[name] = (w, h)
        return Result(True)
    if name not in BASE_SIZE:
        return Result(False, "no size at 96 DPI to compare with")
    bw, bh = BASE_SIZE[name]
    want = (bw * dpi // 96, bh * dpi // 96)
    return Result(within_8_percent(w, want[0]) and within_8_percent(h, want[1]),
                  f"{name}: {w}x{h} at {dpi} DPI, {bw}x{bh} at 96; expected about {want[0]}x{want[1]}")


def dpi_screenshot(prefix, name):
    """The screen as dpi-NAME.png, trimmed to the windows (the desktop's colour is the bottom-right
    pixel's, where no window reaches)."""
    path = OUT / f"dpi-{name}.png"
    shot = screenshot(prefix.display, path)
    if not shot:
        return shot
    _, size = run(["identify", "-format", "%w %h", path], out=OUT / "identify.out")
    w, h = (int(v) for v in size.split())
    _, desktop = run(["convert", path, "-format", f"%[pixel:p{{{w - 1},{h - 1}}}]", "info:"], out=OUT / "convert.out")
    rc, text = run(["convert", path, "-bordercolor", desktop.strip(), "-border", "1", "-trim", "+repage", path],
                   out=OUT / "convert.out")
    return Result(rc == 0, shot.output + text)


def port_dialog_at(inst, dpi, row, title, name):
    """Port type ROW; Install opens the dialog TITLE; its list and size are checked, a screenshot
    taken, and Cancel closes it."""
    at = f"wait-window {dq(title)} 0"
    check(f'{dpi} DPI: Install opens "{title}"',
          inst.ui(f"select-list-row port-type {row}", "click install", f"wait-window {dq(title)} 20",
                  "expect-count port-list 1 5"))
    check(f'{dpi} DPI: "{title}" columns {PORT_COLUMNS} px at 96 scaled; every port fits',
          columns_scaled(inst.drive, at, dpi, PORT_COLUMNS))
    check(f'{dpi} DPI: "{title}" size scales', size_scaled(inst.drive, at, name, dpi))
    check(f"screenshot {OUT}/dpi-{dpi}-{name}.png", dpi_screenshot(inst.prefix, f"{dpi}-{name}"))
    check(f'{dpi} DPI: Cancel closes "{title}"', inst.drive(at, "click cancel-port", "wait-gone 5"))
    check(f"{dpi} DPI: Install usable again", install_usable(inst))


@pytest.mark.parametrize("dpi", [96, 120, 144])
def test_main_window_and_port_dialogs_scale_with_dpi(dpi, dpi_prefix, installer, package):
    prefix = dpi_prefix
    set_dpi(prefix, dpi)
    inst = start_32bit_run(installer, prefix, package, "RV-640")
    main = f"wait-window {dq(TITLE)} 0"
    check(f"{dpi} DPI: port-type columns {MAIN_COLUMNS} px at 96 scaled; every row fits",
          columns_scaled(inst.drive, main, dpi, MAIN_COLUMNS))
    check(f"{dpi} DPI: main window size scales", size_scaled(inst.drive, main, "main", dpi))
    check(f"screenshot {OUT}/dpi-{dpi}-main.png", dpi_screenshot(prefix, f"{dpi}-main"))
    if dpi == 96:
        # Wine runs the program per-monitor aware v1 (docs/WINE.md), where no dialog manager rescales
        # a window whose DPI changes: the columns must keep their widths with it.
        check(f"WM_DPICHANGED to 144 under per-monitor v1 awareness: the columns keep {MAIN_COLUMNS} px",
              inst.drive(main, "send-dpi-changed 144", f"expect-column-width port-list 0 {MAIN_COLUMNS[0]}",
                         f"expect-column-width port-list 1 {MAIN_COLUMNS[1]}", "send-dpi-changed 96"))
    port_dialog_at(inst, dpi, 2, PARALLEL_DIALOG, "parallel")
    port_dialog_at(inst, dpi, 3, TCPIP_DIALOG, "tcpip")
    prompt = f"wait-window {dq(PROMPT_TITLE)} 0"
    check(f"{dpi} DPI: Install asks whether to find the serial port",
          inst.ui("select-list-row port-type 0", "click install", f"wait-window {dq(PROMPT_TITLE)} 30"))
    check(f"{dpi} DPI: serial prompt size scales", size_scaled(inst.drive, prompt, "serial", dpi))
    check(f"screenshot {OUT}/dpi-{dpi}-serial.png", dpi_screenshot(prefix, f"{dpi}-serial"))
    check(f'{dpi} DPI: "&No" closes the prompt', inst.drive(prompt, "click prompt-no", "wait-gone 10"))
    check(f"{dpi} DPI: the installation ends, Install or Finish enabled", inst.ui("expect-enabled install 60"))
    inst.close_and_exit()
