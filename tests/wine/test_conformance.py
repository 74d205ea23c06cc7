"""The boundary's conformance groups (tests/conformance) against the real Win32 layer: conformance.exe,
the cases the host suite runs against the simulated machine, in a 64-bit prefix (a 32-bit process
under WoW64) and in a 32-bit one; the COM group once more on COM12, a pseudo-terminal with nothing
behind it. A case accepts Wine's answer only as a named difference (docs/WINE.md)."""

import re
import shutil

import pytest

from flows import SHIM
from harness import OUT, ROOT, Result, check, run

CONFORMANCE_EXE = ROOT / "build-win/conformance.exe"
# A working port monitor (the sample's monitor source) for the spooler's add and delete, built for each
# word size; conformance.exe adds it by this file name from the prefix's system folder.
CONFORMANCE_MONITOR = "conformance-monitor.dll"
MONITOR_SOURCE = ROOT / "packages/monitor/langmon.c"
MONITOR_FLAGS = ["-O2", "-Wall", "-Wextra", "-Werror", "-shared", "-s"]
MONITOR_COMPILERS = {"x86": ("i686-w64-mingw32-gcc", ["-Wl,--kill-at"]), "x64": ("x86_64-w64-mingw32-gcc", [])}


def monitor_dll(word):
    return OUT / f"monitor-{word}.dll"


@pytest.fixture(scope="module")
def conformance(exe, serial_tools):
    rc, text = run(["cmake", "--build", ROOT / "build-win", "-j2", "--target", "conformance"],
                   out=OUT / "conformance-build.log", timeout=1800)
    check("conformance.exe builds", Result(rc == 0 and CONFORMANCE_EXE.is_file(), text[-3000:]))
    for word, (compiler, extra) in MONITOR_COMPILERS.items():
        rc, text = run([compiler, *MONITOR_FLAGS, "-o", monitor_dll(word), MONITOR_SOURCE, *extra],
                       out=OUT / f"monitor-{word}-build.log")
        check(f"the {word} test port monitor builds", Result(rc == 0 and monitor_dll(word).is_file(), text))


def place_monitor(prefix, word):
    """Into system32 of PREFIX, where the spooler of that word size loads a monitor named without a
    folder (in a 64-bit prefix, the 64-bit system32)."""
    shutil.copyfile(monitor_dll(word), prefix.path / "drive_c/windows/system32" / CONFORMANCE_MONITOR)


def run_conformance(prefix, name, com_port=None):
    """conformance.exe in PREFIX; passes when it reports no failed case (its exit code) and printed
    its summary. Failures and the Wine differences met are shown."""
    rc, text = prefix.run("wine", CONFORMANCE_EXE, timeout=120, out=OUT / f"conformance-{name}.log",
                          LD_PRELOAD=SHIM, CONFORMANCE_COM_PORT=com_port or "",
                          CONFORMANCE_MONITOR_DLL=CONFORMANCE_MONITOR)
    shown = "\n".join(l for l in text.splitlines()
                      if re.search(r"Test failed|Wine difference|Tests skipped|^conformance", l))
    return Result(rc == 0 and re.search(r"^conformance: \d+ passed, 0 failed", text, re.M), shown)


def test_conformance_groups_pass_in_64bit_prefix(prefix64, conformance):
    place_monitor(prefix64, "x64")
    check("conformance groups in a 64-bit prefix", run_conformance(prefix64, "win64"))


def test_conformance_groups_pass_in_32bit_prefix_also_on_a_pty_com_port(win32_prefix, conformance, com_lines):
    prefix = win32_prefix("conformance32")
    place_monitor(prefix, "x86")
    check("conformance groups in a 32-bit prefix", run_conformance(prefix, "win32"))
    com_lines(prefix, ["com12"])
    check("conformance groups with COM12 in a 32-bit prefix", run_conformance(prefix, "com", "COM12"))
