"""Installations on 32-bit Windows 10, where Wine's spooler creates printers for a 32-bit program:
receipt and label printers on a parallel port, one parallel port taken without asking, a printer
replaced, and the TCP/IP port with and without a monitor that has one."""

from flows import (TCPIP_DIALOG, TCPIP_PORT, add_tcpip_monitor, finish_and_exit,
                   install_asking_parallel_port, install_usable, install_without_asking, preselects,
                   start_32bit_run)
from harness import MONITORS_KEY, OUT, PORTS_KEY, WINDOWS_KEY, Driver, Result, check, dq, screenshot


def default_printer_is(prefix, device):
    got = prefix.reg_value(WINDOWS_KEY, "Device")
    return Result(got == device, f"{WINDOWS_KEY} Device = {got!r}")


def spool_files(prefix, *names):
    missing = [n for n in names if not (prefix.spool_drivers / n).is_file()]
    return Result(not missing, f"missing in {prefix.spool_drivers}: {missing}")


def install_on_asked_port(installer, prefix, package, printer, shot=None):
    """One catalogue name on a parallel port, in a prefix with Wine's default ports: the installer
    asks which of LPT1: to LPT3:. Wine's pre-selection is "Serial port" (COM1 in SERIALCOMM), whose
    step talks to a printer on the line; the parallel port completes without one."""
    prefix.add_default_printer_key()
    inst = start_32bit_run(installer, prefix, package, printer)
    check('choose "Parallel port"', inst.ui("select-list-row port-type 2"))
    port = install_asking_parallel_port(inst, shot)
    check(f'spooler has printer "{printer}" with its driver on {port}',
          inst.drive(f"expect-printer {dq(printer)} {dq(printer)} {port}"))
    check(f'default printer (HKCU ...\\Windows Device) is "{printer}" on {port}',
          default_printer_is(prefix, f"{printer},winspool,{port}"))
    return inst


def test_receipt_printer_installs_on_chosen_parallel_port_with_its_files(installer, win32_prefix, package):
    prefix = win32_prefix("install")
    inst = install_on_asked_port(installer, prefix, package, "RV-640", OUT / "parallel-dialog.png")
    # The data file, the resource DLL and the plug-in the RV-640 lists, in the spooler's own folder.
    check("driver files of RV-640 in the spooler's folder",
          spool_files(prefix, "RV640.GPD", "RVRES.DLL", "ZOEMUNI.dll", "ZOEMUNI.ini", "uniDRV.DLL",
                      "uniDRVui.DLL"))
    finish_and_exit(inst, "receipt-finished.png")


def test_label_printer_installs_with_its_language_monitor(installer, win32_prefix, package):
    prefix = win32_prefix("install")
    inst = install_on_asked_port(installer, prefix, package, "LB-400 Label")
    # Wine's AddMonitorA loaded the monitor DLL before recording it.
    got = prefix.reg_value(MONITORS_KEY + "\\Advanced Language Monitor", "Driver")
    check("language monitor registered with its DLL in system32",
          Result(got == "C:\\windows\\system32\\qrtNLMNT.dll", f"Driver = {got!r}"))
    monitor = prefix.drive_c / "windows/system32/qrtNLMNT.dll"
    check("monitor DLL copied to system32", Result(monitor.is_file(), f"{monitor} is missing"))
    check("driver files of LB-400 in the spooler's folder",
          spool_files(prefix, "LB400.DAT", "LBXDRV50.DLL", "LBXUI50.DLL", "LBXENG50.DLL"))
    finish_and_exit(inst, "label-finished.png")


def only_lpt1_and_file(prefix):
    for name in prefix.port_names():
        if name not in ("LPT1:", "FILE:"):
            prefix.reg_delete(PORTS_KEY, name)
    got = prefix.port_names()
    return Result(got == ["FILE:", "LPT1:"], f"Ports: {got}")


def lpt1_run(installer, prefix, package, printer, what, *commands):
    """Installs PRINTER with everything as the start-up left it and leaves through &Finish."""
    inst = start_32bit_run(installer, prefix, package, printer)
    preselects(inst, 2, "Parallel port")
    install_without_asking(inst, what, *commands)
    check(f'spooler has printer "{printer}" with its driver on LPT1:',
          inst.drive(f"expect-printer {dq(printer)} {dq(printer)} LPT1:"))
    check("&Finish closes the window", inst.ui("click install", "wait-gone 10"))
    check("installer exits with code 0", inst.wait_exit(10))


def test_single_parallel_port_taken_without_asking_and_existing_printer_replaced(
        installer, win32_prefix, package):
    """A spooler that knows only LPT1: and FILE:: the start-up pre-selects "Parallel port" and the
    installer takes LPT1: without asking. A receipt printer, a label printer beside it, then the
    receipt printer again, which replaces the first."""
    readd = "The printer RV-640 exists,Re-adding the printer..."
    both = "LB-400 Label on LPT1:; RV-640 on LPT1:"
    prefix = win32_prefix("lpt1")
    prefix.add_default_printer_key()
    check("Ports key holds only LPT1: and FILE:", only_lpt1_and_file(prefix))
    lpt1_run(installer, prefix, package, "RV-640",
             'Install takes LPT1: without asking; "The installation is completed.", "&Finish"')
    lpt1_run(installer, prefix, package, "LB-400 Label",
             'second run: Install takes LPT1: for "LB-400 Label"; "&Finish"')
    drive = Driver(prefix)
    check('spooler lists the drivers RV-640 and LB-400 Label and the "Advanced Language Monitor"',
          drive("expect-driver RV-640", f"expect-driver {dq('LB-400 Label')}",
                f"expect-monitor {dq('Advanced Language Monitor')}"))
    check(f"spooler's printers: {both}", drive(f"expect-printers {dq(both)}"))
    check('default printer is the last one installed, "LB-400 Label" on LPT1:',
          default_printer_is(prefix, "LB-400 Label,winspool,LPT1:"))
    lpt1_run(installer, prefix, package, "RV-640",
             f'third run replaces RV-640: the status line shows "{readd}"; "&Finish"',
             f"expect-seen status {dq(readd)} 0")
    check(f"one RV-640 remains, beside LB-400 Label: {both}", drive(f"expect-printers {dq(both)}"))
    check('default printer is "RV-640" on LPT1:', default_printer_is(prefix, "RV-640,winspool,LPT1:"))


def test_tcpip_port_stops_without_monitor_and_dialog_opens_with_one(installer, win32_prefix, package):
    """Wine has no "Standard TCP/IP Port" monitor and describes every port of its Ports key as "Local
    Port" (docs/WINE.md): the installer finds no TCP/IP port and its AddPortA fails (50). The test
    monitor then gives the spooler a TCP/IP port, and the installer's TCP/IP dialog opens."""
    prefix = win32_prefix("lpt1")
    drive = Driver(prefix)
    prefix.add_default_printer_key()
    ports = drive.ports()
    check('no port is described as "Standard TCP/IP Port"',
          Result(ports and all(description != "Standard TCP/IP Port" for _, _, description in ports), ports))
    before = drive.spooler()
    inst = start_32bit_run(installer, prefix, package, "RV-580")
    check('choose "TCP/IP port"', inst.ui("select-list-row port-type 3"))
    # No window comes up (AddPortA fails at once), so the click's handler returns.
    check("Install with no TCP/IP port stops, with no dialog or message box",
          inst.ui("click-and-wait install 10"))
    check('Install usable again: enabled, "&Install"', install_usable(inst))
    after = drive.spooler()
    check("nothing installed: the spooler's printers, drivers and monitors are as before",
          Result(after is not None and after == before, f"before: {before}\nafter:  {after}"))
    inst.close_and_exit()

    check(f'test TCP/IP monitor added: EnumPortsA lists {TCPIP_PORT} as "Standard TCP/IP Port"',
          add_tcpip_monitor(prefix, drive))
    before = drive.spooler()
    inst = start_32bit_run(installer, prefix, package, "RV-580")
    check('choose "TCP/IP port"', inst.ui("select-list-row port-type 3"))
    check(f'Install opens "{TCPIP_DIALOG}", listing {TCPIP_PORT}, selected',
          inst.ui("click install", f"wait-window {dq(TCPIP_DIALOG)} 20", f"expect-item port-list 0 {TCPIP_PORT} 5",
                  "expect-list-selected port-list 0 0"))
    check(f"screenshot {OUT / 'tcpip-dialog.png'}", screenshot(prefix.display, OUT / "tcpip-dialog.png"))
    # The test monitor neither configures nor deletes: the spooler refuses both with 50.
    at = f"wait-window {dq(TCPIP_DIALOG)} 0"
    check(f"ConfigurePort and Delete Port report the spooler's refusal; {TCPIP_PORT} stays listed",
          inst.drive(at, "click configure-port",
                     'expect-box "Failed to configure printer port.\\r\\nThe request is not supported." 10',
                     "answer-box IDOK", "click delete-port",
                     f"expect-box {dq('Failed to delete port.The request is not supported.')} 10", "answer-box IDOK",
                     f"expect-item port-list 0 {TCPIP_PORT} 5"))
    check("Cancel closes the dialog", inst.drive(at, "click cancel-port", "wait-gone 5"))
    check('the installation stops: Install usable again, enabled, "&Install"', install_usable(inst))
    after = drive.spooler()
    check("nothing installed: the spooler's printers, drivers and monitors are as before",
          Result(after is not None and after == before, f"before: {before}\nafter:  {after}"))
    inst.close_and_exit()
