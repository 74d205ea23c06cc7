"""Steps several Wine tests share: a 32-bit run up to the chosen printer, an installation to its
finished state, leaving through &Finish, the test TCP/IP port monitor; the serial tools' places."""

import re

from harness import (MONITORS_KEY, OUT, ROOT, TITLE, Result, check, dq, run, screenshot)

DONE = "The installation is completed."
PARALLEL_DIALOG = "Select A Parallel Port"
TCPIP_DIALOG = "Configure TCP/IP PrinterPort"
PROMPT_TITLE = "Prompt(automatically select the available serial port) "
TCPIP_MONITOR_KEY = MONITORS_KEY + "\\Standard TCP/IP Port"
TCPIP_PORT = "IP_192.0.2.10"

PROBE = ROOT / "build-win/comm_probe.exe"
SHIM_DIR = OUT / "pty-shim"
# Debian's loader expands $LIB to the word size's library folder: one setting for both.
SHIM = str(SHIM_DIR) + "/$LIB/shim.so"


def shown(result, title):
    """wait-window-or-text ended with the window TITLE on screen."""
    return re.search(re.escape(title) + ".* shown", result.output) is not None


def start_32bit_run(installer, prefix, files, printer, script=False, **env):
    """The installer until its start-up is over (Windows 10 32 bit reported, Install enabled) and
    the user has chosen PRINTER."""
    inst = installer(prefix, files, **env)
    check(f'window "{TITLE}" appears', inst.appears(30))
    check("start-up reports Windows 10 32 bit and enables Install",
          inst.ui(f"expect-text status {dq('Current System is Microsoft Windows 10  32 bit')} 60",
                  "expect-enabled install 10"))
    if printer:
        check(f'choose "{printer}"',
              inst.ui(f"select-combo-text driver {dq(printer)}", f"expect-text printer-name {dq(printer)} 5",
                      script=script))
    return inst


def preselects(inst, row, text):
    check(f'port-type list pre-selects row {row} "{text}"',
          inst.ui(f"expect-list-selected port-type {row} 0", f"expect-item port-type {row} {dq(text)} 0"))


def install_asking_parallel_port(inst, shot=None):
    """Install; the installer must ask which parallel port ("Select A Parallel Port", LPT1: to LPT3:
    listed, the first selected); SHOT is a screenshot of it; the user picks LPT2:, which must reach the
    completed state. Returns the port chosen."""
    result = inst.ui("click install", f"wait-window-or-text {dq(PARALLEL_DIALOG)} status {dq(DONE)} 30")
    if not result:
        inst.answer_box()
    check("Install comes to the parallel port question or the end", result)
    check("the installer asks for a parallel port", Result(shown(result, PARALLEL_DIALOG), result.output))
    at = f"wait-window {dq(PARALLEL_DIALOG)} 0"
    check("the dialog lists LPT1: to LPT3:, the first selected",
          inst.drive(at, "expect-count port-list 3 0", "expect-item port-list 0 LPT1: 0",
                     "expect-item port-list 1 LPT2: 0", "expect-item port-list 2 LPT3: 0",
                     "expect-list-selected port-list 0 0"))
    if shot:
        check(f"screenshot {shot}", screenshot(inst.prefix.display, shot))
    check('LPT2: chosen; completed, "&Finish"',
          inst.drive(at, "select-list-row port-list 1", "click select-port", "wait-gone 5") and
          inst.ui(f"expect-text status {dq(DONE)} 30", f"expect-text install {dq('&Finish')} 5"))
    return "LPT2:"


def install_without_asking(inst, what, *commands):
    """Install with one parallel port: the installer must take LPT1: without asking. The status line
    is watched from the click on and COMMANDs run after &Finish in the same driver run, so they can
    check the statuses seen. A dialog or box in the way is answered, so the run goes on."""
    result = inst.ui("watch-text status", "click install",
                     f"wait-window-or-text {dq(PARALLEL_DIALOG)} status {dq(DONE)} 30",
                     f"expect-text install {dq('&Finish')} 5", "print-seen status", *commands)
    if not result:
        if shown(result, PARALLEL_DIALOG):
            result.output += "\nthe installer asked for a parallel port, with only LPT1: to choose from"
            inst.drive(f"wait-window {dq(PARALLEL_DIALOG)} 0", "click cancel-port", "wait-gone 5")
        else:
            inst.answer_box()
    check(what, result)


def finish_and_exit(inst, shot):
    """Leaves the finished window through its &Finish button, after a screenshot SHOT."""
    check(f"screenshot {OUT / shot}", screenshot(inst.prefix.display, OUT / shot))
    check("&Finish closes the window", inst.ui("click install", "wait-gone 10"))
    check("installer exits with code 0", inst.wait_exit(10))


def install_usable(inst):
    """After an installation stopped at the port choice: Install can be pressed again, as "&Install"."""
    return inst.ui("expect-enabled install 10", f"expect-text install {dq('&Install')} 0")


def build_tcpip_monitor():
    dll = OUT / "tcpipmon.dll"
    rc, text = run(["bash", ROOT / "tests/wine/tcpip-monitor/build.sh", dll], out=OUT / "tcpipmon-build.log")
    return dll if rc == 0 else None


def add_tcpip_monitor(prefix, driver):
    """The test monitor (tests/wine/tcpip-monitor), registered as Windows keeps its TCP/IP monitor,
    with one port: Wine has none of its own (docs/WINE.md)."""
    dll = build_tcpip_monitor()
    if not dll:
        return Result(False, (OUT / "tcpipmon-build.log").read_text())
    (prefix.drive_c / "windows/system32/tcpipmon.dll").write_bytes(dll.read_bytes())
    if not (prefix.reg_add(TCPIP_MONITOR_KEY, "Driver", "tcpipmon.dll") and
            prefix.reg_add(TCPIP_MONITOR_KEY + "\\Ports\\" + TCPIP_PORT)):
        return Result(False, "registering the monitor failed")
    return driver(f"expect-port {TCPIP_PORT} {dq('Standard TCP/IP Port')}")
