"""printer-setup.exe, the unattended companion, driven as a deployment system would: installations,
a second run of the same, a label model, a serial printer found by probing, status, removal with the
driver, and the exit codes. One 32-bit prefix, "setup", for the whole module: each test builds on
what the one before left, in the order written here."""

import re
import shutil

import pytest

from harness import (OUT, PORTS_KEY, PRINTERS_KEY, TITLE, WINDOWS_KEY, Driver, Result, check, dq,
                     windows_path)
from flows import SHIM

WORK = OUT / "setup-work"


def make_setup_folder(exe, package):
    """The working folder with printer-setup.exe (from the installer's build), the archive library
    and the sample package."""
    setup_exe = exe.parent / "printer-setup.exe"
    check("printer-setup.exe was built", Result(setup_exe.is_file(), f"{setup_exe} is missing"))
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    for f in [setup_exe] + list(package):
        shutil.copy(f, WORK)
    # A Windows exit code reaches Linux cut to its low byte (1603 arrives as 67): cmd reports the
    # whole code.
    (WORK / "run-setup.bat").write_bytes(b'@"%~dp0printer-setup.exe" %*\r\n@echo setup-exit-code=%ERRORLEVEL%\r\n')


@pytest.fixture
def setup(win32_prefix, exe, package):
    """The "setup" prefix and printer-setup's working folder."""
    make_setup_folder(exe, package)
    return win32_prefix("setup")


class Setup:
    """One printer-setup run: its exit code and what it printed."""

    def __init__(self, prefix, *args, **env):
        self.code, self.output = -1, ""
        rc, text = prefix.run("wine", "cmd", "/c", "run-setup.bat", *args, "/log", windows_path(OUT / "setup.log"),
                              timeout=300, out=OUT / "setup.out", cwd=WORK, **env)
        m = re.search(r"^setup-exit-code=(-?\d+)", text, re.M)
        if m:
            self.code = int(m.group(1))
        self.output = re.sub(r"^setup-exit-code=.*\n?", "", text, flags=re.M)


def exits(prefix, code, *args, **env):
    run = Setup(prefix, *args, **env)
    return Result(run.code == code, f"{run.output}exit code {run.code}"), run


def default_printer_is(prefix, device):
    got = prefix.reg_value(WINDOWS_KEY, "Device")
    return Result(got == device, f"Device = {got!r}")


def test_setup_installs_receipt_printer_as_default_and_again_idempotently(setup):
    (OUT / "setup.log").unlink(missing_ok=True)
    setup.add_default_printer_key()
    drive = Driver(setup)
    check("install RV-640 on LPT1: as the default printer: exit 0",
          exits(setup, 0, "install", "/model", "RV-640", "/port", "LPT1:", "/default")[0])
    check("spooler has the driver and the printer RV-640 on LPT1:",
          drive("expect-driver RV-640", "expect-printer RV-640 RV-640 LPT1:"))
    check("default printer (Device) is RV-640 on LPT1:", default_printer_is(setup, "RV-640,winspool,LPT1:"))
    check("the same again: exit 0, still one printer RV-640",
          exits(setup, 0, "install", "/model", "RV-640", "/port", "LPT1:", "/default")[0])
    check("one printer, RV-640 on LPT1:", drive(f"expect-printers {dq('RV-640 on LPT1:')}"))
    left = setup.drive_c_names("Ticket", "Barcode", "DriverName.cfg")
    check("the unpacked package was removed", Result(not left, f"drive_c has {left}"))
    log = (OUT / "setup.log").read_text(errors="replace")
    check("the log names every step with its time",
          Result(re.search(r"^....-..-.. ..:..:..\.... *installed: RV-640 on LPT1:", log, re.M), log[-2000:]))


def test_setup_installs_label_printer_with_its_monitor(setup):
    check('install "LB-400 Label" on LPT1:: exit 0',
          exits(setup, 0, "install", "/model", "LB-400 Label", "/port", "LPT1:")[0])
    check("spooler has the label driver, its monitor and the printer",
          Driver(setup)(f"expect-monitor {dq('Advanced Language Monitor')}",
                        f"expect-printer {dq('LB-400 Label')} {dq('LB-400 Label')} LPT1:"))


def test_setup_finds_serial_printer_by_probing(setup, com_lines):
    """COM5 to COM7 on ptys, the fake printer on COM7."""
    lines = com_lines(setup, ["com5", "com6", "com7"], "com7")
    check('install RV-640 as "Serial till" with /port serial: exit 0',
          exits(setup, 0, "install", "/model", "RV-640", "/port", "serial", "/name", "Serial till",
                LD_PRELOAD=SHIM)[0])
    check("the fake printer was asked with 10 04 01 and answered", lines.printer_asked())
    got = setup.reg_value(PRINTERS_KEY + "\\Serial till", "Port")
    check("the printer's port record names COM7:", Result(got == "COM7:", f"Port = {got!r}"))
    got = setup.reg_value(PORTS_KEY, "COM7:")
    check("the line settings of COM7: are 9600,n,8,1", Result(got == "9600,n,8,1", f"COM7: = {got!r}"))


def test_setup_status_lists_default_and_remove_keeps_shared_driver(setup):
    result, run = exits(setup, 0, "status")
    check("status: exit 0, RV-640 listed as the default", result)
    check("status lists RV-640 on LPT1: as the default",
          Result(re.search(r"^RV-640.*port LPT1:.*default", run.output, re.M), run.output))
    check("status /printer RV-640: exit 0", exits(setup, 0, "status", "/printer", "RV-640")[0])
    check('remove /printer RV-640 /driver while "Serial till" uses the driver: exit 0, driver kept',
          exits(setup, 0, "remove", "/printer", "RV-640", "/driver")[0])
    drive = Driver(setup)
    check("the spooler keeps RV-640's driver", drive("expect-driver RV-640"))
    check('remove /printer "Serial till" /driver: exit 0',
          exits(setup, 0, "remove", "/printer", "Serial till", "/driver")[0])
    check('remove /printer "LB-400 Label" /driver: exit 0',
          exits(setup, 0, "remove", "/printer", "LB-400 Label", "/driver")[0])
    records = drive.spooler()
    check("no printer, no driver, only Wine's own monitor left",
          Result(records == {"printers": {}, "drivers": [], "monitors": ["Local Port"]}, records))
    device = setup.reg_value(WINDOWS_KEY, "Device")
    check("Device no longer names RV-640", Result("RV-640" not in (device or ""), f"Device = {device!r}"))
    check("status /printer RV-640 afterwards: 1168", exits(setup, 1168, "status", "/printer", "RV-640")[0])


def test_setup_exit_codes_for_bad_option_missing_package_unknown_model_and_open_window(setup, installer, package):
    check("a bad option: 87", exits(setup, 87, "install", "/model", "RV-640", "/port", "LPT1:", "/colour")[0])
    named, run = exits(setup, 87, "install", "/model", "RV-640", "/port", "LPT1:", "/name", "Kitchen\\Bar")
    check("a printer name Windows refuses: 87, with the reason",
          Result(named and 'cannot contain "\\"' in run.output, named.output))
    check("no package: 1603", exits(setup, 1603, "install", "/model", "RV-640", "/port", "LPT1:", "/package",
                                    "C:\\nowhere\\DriverData.Drv")[0])
    check("an unknown model: 1168", exits(setup, 1168, "install", "/model", "No such printer", "/port", "LPT1:")[0])
    # The installer window holds the installation lock while it is open.
    inst = installer(setup, package)
    check("the installer window is open", inst.drive(f"wait-window {dq(TITLE)} 30"))
    check("its start-up finished", inst.ui("expect-enabled install 60"))
    check("printer-setup while the window is open: 1618",
          exits(setup, 1618, "install", "/model", "RV-640", "/port", "LPT1:")[0])
    check("window closes", inst.ui("close", "wait-gone 10"))
    check("installer exits with code 0", inst.wait_exit(10))
    check("after it closed: 0", exits(setup, 0, "install", "/model", "RV-640", "/port", "LPT1:")[0])


WPP_POLICY_KEY = r"HKLM\Software\Policies\Microsoft\Windows NT\Printers\WPP"
# src/package/MachineChecks.cpp: the window's box at start.
WPP_BOX = ("Windows Protected Print mode is on. It blocks this printer's driver: while it is on, Windows accepts no "
           "printer driver, port monitor or language monitor that does not come with Windows, so installing this "
           "printer will fail.\r\n\r\nAn administrator can turn the mode off in Settings > Bluetooth & devices > "
           "Printers & scanners, or where Group Policy set it, with the policy \"Configure Windows protected "
           "print\" (Computer Configuration > Administrative Templates > Printers), and then run the installer "
           "again.")


def box_text(text):
    """A box's text as a driver command word: quotes and line breaks escaped."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r").replace("\n", "\\n") + '"'


def test_protected_print_policy_box_at_start_and_setup_refuses_with_1625(setup, installer, package):
    """Wine has no Protected Print mode: the policy value alone stands for it (docs/WINE.md)."""
    check("the policy value WindowsProtectedPrintGroupPolicyState = 1 is set",
          Result(setup.reg_add(WPP_POLICY_KEY, "WindowsProtectedPrintGroupPolicyState", "1", "REG_DWORD"),
                 "reg add failed"))
    try:
        inst = installer(setup, package)
        check("the installer window is open", inst.drive(f"wait-window {dq(TITLE)} 30"))
        said = inst.ui(f"expect-box {box_text(WPP_BOX)} 30", "answer-box IDOK")
        check("one box at start, which the window waits for, says the mode blocks the driver",
              Result(said and "owned by the window" in said.output, said.output))
        check("the start-up goes on to its end",
              inst.ui("expect-enabled install 60", "expect-item driver 0 RV-580 0"))
        check("window closes", inst.ui("close", "wait-gone 10"))
        check("installer exits with code 0", inst.wait_exit(10))

        before = Driver(setup).spooler()
        result, run = exits(setup, 1625, "install", "/model", "RV-640", "/port", "LPT1:")
        check("printer-setup install: 1625", result)
        check("it says why", Result("Windows Protected Print mode is on" in run.output, run.output))
        left = setup.drive_c_names("Ticket", "Barcode", "DriverName.cfg")
        check("nothing was unpacked", Result(not left, f"drive_c has {left}"))
        after = Driver(setup).spooler()
        check("the spooler is unchanged", Result(after == before, f"{before} -> {after}"))
        check("plan: 1625 as well", exits(setup, 1625, "plan", "/model", "RV-640", "/port", "LPT1:")[0])
    finally:
        setup.reg_delete(WPP_POLICY_KEY)
