"""Start-up on 64-bit Windows 10: detection, the package's catalogue, the spooler service and the
port-type pre-selection, and a clean close."""

from flows import preselects
from harness import CONTROLS, OUT, PORTS_KEY, TITLE, Driver, Result, check, dq, screenshot

PACKAGE_FILES = ("Ticket", "Barcode", "DriverName.cfg")


def test_startup_reports_windows10_64bit_and_closes_cleanly(prefix64, installer):
    inst = installer(prefix64)
    check(f'window "{TITLE}" appears', inst.appears(30))
    check("status line reports Windows 10 64 bit",
          inst.ui(f"expect-text status {dq('Current System is Microsoft Windows 10  64 bit')} 60"))
    check("Install button becomes enabled", inst.ui("expect-enabled install 10"))
    check(f"screenshot {OUT / 'startup.png'}", screenshot(prefix64.display, OUT / "startup.png"))
    inst.close_and_exit()


def test_package_catalogue_listed_unpacked_and_removed_on_close(prefix64, installer, package):
    inst = installer(prefix64, package)
    check(f'window "{TITLE}" appears', inst.appears(30))
    check("Install becomes enabled", inst.ui("expect-enabled install 60"))
    check("driver list holds the sample catalogue (RV-580 first, 30 names or more), printer name RV-580",
          inst.ui("expect-count driver 30 0", "expect-item driver 0 RV-580 0", "expect-text driver RV-580 0",
                  "expect-text printer-name RV-580 0"))
    found = prefix64.drive_c_names(*PACKAGE_FILES)
    check("package unpacked on drive C (Ticket, Barcode, DriverName.cfg)",
          Result(len(found) == len(PACKAGE_FILES), f"drive_c has {found}"))
    check(f"screenshot {OUT / 'package.png'}", screenshot(prefix64.display, OUT / "package.png"))
    inst.close_and_exit()
    left = prefix64.drive_c_names(*PACKAGE_FILES)
    check("closing removed C:\\Ticket, C:\\Barcode and C:\\DriverName.cfg", Result(not left, f"left: {left}"))


def ports_are(prefix, *names):
    got = prefix.port_names()
    return Result(got == sorted(names), f"Ports: {got}")


def start_until_enabled(installer, prefix):
    inst = installer(prefix)
    check("start-up finishes (Install enabled)", inst.ui(f"wait-window {dq(TITLE)} 30", "expect-enabled install 60"))
    return inst


def test_startup_starts_spooler_and_preselects_port_type_from_ports(prefix64, installer):
    drive = Driver(prefix64)
    if prefix64.spooler_service_state() != "STOPPED":
        # A fresh prefix has it stopped; an earlier test's installer started it in this server.
        prefix64.wine("sc", "stop", "spooler")
    check("Spooler service is stopped before start-up", drive("expect-service Spooler stopped 10"))
    check("Ports key holds Wine's defaults",
          ports_are(prefix64, "COM1:", "COM2:", "COM3:", "COM4:", "LPT1:", "LPT2:", "LPT3:", "FILE:"))
    inst = start_until_enabled(installer, prefix64)
    check("start-up started the Spooler service", drive("expect-service Spooler running 0"))
    preselects(inst, 0, "Serial port")
    inst.close_and_exit()

    # Only LPT1: and FILE: left. The installer lists the ports through the spooler, which reads the
    # key on every call: no server restart is needed. The key is restored afterwards.
    saved = prefix64.reg_values(PORTS_KEY)
    try:
        for name in saved:
            if name not in ("LPT1:", "FILE:"):
                prefix64.reg_delete(PORTS_KEY, name)
        check("Ports key holds only LPT1: and FILE:", ports_are(prefix64, "LPT1:", "FILE:"))
        inst = start_until_enabled(installer, prefix64)
        preselects(inst, 2, "Parallel port")
        inst.close_and_exit()
    finally:
        for name, data in saved.items():
            prefix64.reg_add(PORTS_KEY, name, data)


def test_ui_driver_takes_every_control_name_of_the_table_and_refuses_others(prefix64, exe):
    """The driver's names come from src/res/control_names.h as compiled in; the harness reads the
    same header. Every name must parse (the run then stops at the first command, with no window to
    act on: exit 1), and an unknown one must be refused before anything runs (exit 2)."""
    drive = Driver(prefix64)
    every = drive(*[f"expect-enabled {name} 0" for name in CONTROLS])
    check(f"the driver parses all {len(CONTROLS)} names (only the missing window stops it)",
          Result("no current window" in every.output and "bad argument" not in every.output, every.output))
    rc, text = prefix64.run("wine", Driver.exe, "click no-such-control", out=OUT / "driver.out")
    check("an unknown control name is refused before the run (exit 2)",
          Result(rc == 2 and "bad argument" in text, f"exit code {rc}\n{text}"))
