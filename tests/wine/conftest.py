"""Session set-up of the Wine tests: the builds, one virtual display, the prefixes, and what a failed
test leaves behind (build/wine-e2e/failures/<test>/)."""

import os
import re
import shutil
from pathlib import Path

import pytest

from flows import PROBE, SHIM_DIR
from harness import (CHECKS, OUT, ROOT, SCREEN, Display, Driver, Installer, Prefix, Result, SerialLines, check,
                     end_background, log, run, screenshot)

FAILURES = []  # (test, folder)
# The areas in the order they run: start-up first, the 64-bit prefix's conformance run last, as the
# later ones build on a machine the earlier ones have seen working.
MODULE_ORDER = ["test_startup", "test_install", "test_serial", "test_hardening", "test_codepage", "test_setup",
                "test_printer_test",
                "test_drvpack", "test_dpi", "test_conformance"]


def pytest_collection_modifyitems(items):
    def rank(item):
        name = item.module.__name__
        return MODULE_ORDER.index(name) if name in MODULE_ORDER else len(MODULE_ORDER)

    items.sort(key=rank)  # stable: the tests of a module keep their order


def pytest_configure(config):
    OUT.mkdir(parents=True, exist_ok=True)
    if not config.option.collectonly:  # --list must not clear the last run's screenshots
        for f in list(OUT.glob("*.log")) + list(OUT.glob("*.png")):
            f.unlink()
        shutil.rmtree(OUT / "failures", ignore_errors=True)


def _build(script, args, logname):
    rc, text = run(["bash", ROOT / script] + list(args), out=OUT / logname, timeout=1800)
    if rc:
        pytest.exit(f"{script} failed (see {OUT / logname}):\n" + "\n".join(text.splitlines()[-20:]), 1)


@pytest.fixture(scope="session")
def exe():
    """installer.exe under test: WINE_E2E_EXE, or the Windows build's; the UI driver beside it."""
    if os.environ.get("WINE_E2E_EXE"):
        path = Path(os.environ["WINE_E2E_EXE"]).resolve()
        if not path.is_file():
            pytest.exit(f"WINE_E2E_EXE={path} does not exist", 1)
    else:
        log("building installer.exe (scripts/build-windows.sh)")
        _build("scripts/build-windows.sh", [], "build.log")
        path = ROOT / "build-win/installer.exe"
    Driver.exe = ROOT / "build-win/uidriver.exe"
    _build("tests/wine/uidriver/build.sh", [Driver.exe], "uidriver-build.log")
    return path


@pytest.fixture(scope="session")
def package(exe):
    """What the installer finds in its folder: our archive library and the sample package (from the
    host build; a configured build/ makes just that target)."""
    sample = ROOT / "build/sample/DriverData.Drv"
    if not sample.exists() and (ROOT / "build/CMakeCache.txt").exists():
        run(["cmake", "--build", ROOT / "build", "--target", "sample_package"], out=OUT / "sample-build.log",
            timeout=1800)
    files = [exe.parent / "7-zip32.dll", sample]
    missing = [str(f) for f in files if not f.is_file()]
    check("archive library and sample package exist", Result(not missing, f"missing: {missing}"))
    return files


@pytest.fixture(scope="session")
def serial_tools(exe):
    """comm_probe.exe and the pty shim, built once."""
    rc, text = run(["bash", ROOT / "tools/comm-probe/build.sh", PROBE], out=OUT / "comm-probe-build.log",
                   timeout=600)
    if rc == 0:
        rc, text = run(["bash", ROOT / "tests/wine/pty-shim/build.sh", SHIM_DIR], out=OUT / "pty-shim-build.log")
    check("comm_probe.exe and the pty shim build", Result(rc == 0, text))


@pytest.fixture
def com_lines(serial_tools):
    """com_lines(prefix, ports, printer=None, state_file=None): each of PORTS ("com5", ...) on a
    pseudo-terminal, the fake printer behind PRINTER (in the state STATE_FILE names, if given), Wine's
    mapping checked; the lines end with the test."""
    made = []

    def make(prefix, ports, printer=None, state_file=None):
        lines = SerialLines(prefix, ports, printer, state_file)
        made.append(lines)
        first, last = ports[0].upper(), ports[-1].upper()
        behind = f", fake printer on {printer.upper()}" if printer else ""
        check(f"{first} to {last} on pseudo-terminals{behind}", lines.start())
        check(f"Wine maps {first} to {last} (dosdevices, SERIALCOMM)", lines.mapped())
        return lines

    yield make
    for lines in made:
        lines.stop()


@pytest.fixture(scope="session")
def display():
    screen = Display(SCREEN, "xvfb")
    yield screen.name
    screen.stop()


_PREFIXES = {}


@pytest.fixture(scope="session", autouse=True)
def _end_of_session():
    yield
    for prefix in _PREFIXES.values():
        prefix.kill_server()
    end_background()


def _use(prefix):
    Prefix.current = prefix
    return prefix


@pytest.fixture(scope="session")
def _prefix64(display, exe):
    """The 64-bit prefix the start-up tests share."""
    prefix = _PREFIXES["prefix"] = Prefix(OUT / "prefix", "win64", display)
    log(f"creating win64 prefix {prefix.path}")
    prefix.create()
    return prefix


@pytest.fixture
def prefix64(_prefix64):
    return _use(_prefix64)


@pytest.fixture(scope="session")
def _clean_win32(display, exe):
    """A 32-bit prefix nothing runs in: a new one takes a wineboot of about 10 s, a copy 3."""
    prefix = Prefix(OUT / "clean-win32", "win32", display)
    log(f"creating win32 prefix {prefix.path}")
    prefix.create()
    prefix.kill_server()
    run(["wineserver", "-w"], env=prefix.environ())
    return prefix


@pytest.fixture(scope="session")
def win32_prefix(_clean_win32):
    """win32_prefix(NAME): the 32-bit prefix NAME, a copy of the clean one the first time in a run,
    the same prefix afterwards (tests of one area build on what the one before left)."""

    def get(name):
        if name not in _PREFIXES:
            prefix = Prefix(OUT / name, "win32", _clean_win32.display)
            log(f"copying the clean 32-bit prefix to {prefix.path}")
            prefix.copy_from(_clean_win32)
            _PREFIXES[name] = prefix
        return _use(_PREFIXES[name])

    return get


@pytest.fixture
def installer(exe):
    """installer(prefix, files=(), work=OUT/work, **env): starts installer.exe; stopped after the
    test if it still runs."""
    started = []

    def start(prefix, files=(), work=None, **kw):
        _use(prefix)
        inst = Installer(prefix, exe, work or OUT / "work", files, **kw)
        started.append(inst)
        return inst

    yield start
    for inst in started:
        inst.stop()
    Installer.current = None


# ---- a failed test's evidence -------------------------------------------------------------------


def _evidence(name):
    """The screen, the installer's status text and the spooler's state of the prefix in use, in
    failures/NAME/."""
    folder = OUT / "failures" / re.sub(r"[^\w.-]+", "_", name)
    folder.mkdir(parents=True, exist_ok=True)
    prefix = Prefix.current
    if prefix:
        screenshot(prefix.display, folder / "screen.png")
        spooler = Driver(prefix)("print-spooler", "print-ports")
        (folder / "spooler.txt").write_text(spooler.output)
    inst = Installer.current
    if inst and inst.running():
        (folder / "status.txt").write_text(inst.status_text())
    elif inst:
        (folder / "status.txt").write_text(f"the installer had ended (exit code {inst.proc.returncode})\n")
    if (OUT / "installer.log").exists():
        shutil.copy(OUT / "installer.log", folder)
    return folder


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.failed and report.when in ("setup", "call"):
        try:
            folder = _evidence(item.name)
        except Exception as error:  # the evidence is a help, the failure is the result
            folder = f"(none: {error})"
        FAILURES.append((item.nodeid, folder))
        report.sections.append(("wine-e2e evidence", f"left in {folder}"))


def pytest_terminal_summary(terminalreporter):
    for test, folder in FAILURES:
        terminalreporter.write_line(f"wine-e2e: {test} failed: evidence in {folder}")
    terminalreporter.write_line(f"wine-e2e: {CHECKS['passed']} checks passed")
