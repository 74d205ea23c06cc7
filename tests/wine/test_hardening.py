"""Where the installer takes its libraries from. It runs elevated, often from a download folder: a
7-zip32.dll planted in the current folder must never be loaded, while ours beside the program still
is; a winspool.drv planted beside the program (not a known DLL, so the loader would take it from
there for a static import) must never be loaded either. tests/wine/planted-dll builds a stand-in
that leaves C:\\planted-NAME-loaded.txt behind when anything loads it."""

import shutil
import zipfile

import pytest

from harness import BASE_ENV, OUT, ROOT, Result, check, dq, run

PLANTED = OUT / "planted"
# Wine prefers its builtin winspool.drv to a native one beside the program, where Windows would take
# the planted copy for a static import; "n,b" makes Wine search like Windows, so the check can fail
# (docs/WINE.md).
PLANTED_OVERRIDES = BASE_ENV["WINEDLLOVERRIDES"] + ";winspool.drv=n,b"
NO_SPOOLER_BOX = ("The printer driver folder of this Windows could not be read (error 126); the driver was not "
                  "installed.")


@pytest.fixture(scope="module")
def planted(exe):
    for name in ("7-zip32.dll", "winspool.drv"):
        rc, text = run(["bash", ROOT / "tests/wine/planted-dll/build.sh", PLANTED / name],
                       out=OUT / "planted-build.log")
        check(f"the planted stand-in {name} builds", Result(rc == 0, text))


def planted_run(installer, prefix, exe, package, name, ours):
    """installer.exe in OUT/NAME-app (with our 7-zip32.dll beside it when OURS) beside a planted
    winspool.drv, started from OUT/NAME-work, which holds the package and a planted 7-zip32.dll."""
    app = OUT / f"{name}-app"
    shutil.rmtree(app, ignore_errors=True)
    app.mkdir(parents=True)
    for marker in prefix.drive_c.glob("planted-*-loaded.txt"):
        marker.unlink()
    shutil.copy(exe, app)
    shutil.copy(PLANTED / "winspool.drv", app)
    if ours:
        shutil.copy(exe.parent / "7-zip32.dll", app)
    return installer(prefix, [package[1], PLANTED / "7-zip32.dll"], work=OUT / f"{name}-work", app=app,
                     WINEDLLOVERRIDES=PLANTED_OVERRIDES)


def not_loaded(prefix, name):
    found = [p.name for p in prefix.drive_c.iterdir() if p.name.lower() == f"planted-{name}-loaded.txt".lower()]
    return Result(not found, f"{found} exists")


def test_planted_libraries_never_loaded_and_missing_spooler_reported(prefix64, installer, exe, package, planted):
    inst = planted_run(installer, prefix64, exe, package, "planted-ours", ours=True)
    check("our library beside the program, a planted one in the current folder: window appears",
          inst.appears(30))
    check("Install becomes enabled with the sample catalogue unpacked by our library",
          inst.ui("expect-enabled install 60", "expect-item driver 0 RV-580 0"))
    check("the planted 7-zip32.dll was not loaded", not_loaded(prefix64, "7-zip32.dll"))
    check("the planted winspool.drv was not loaded", not_loaded(prefix64, "winspool.drv"))
    inst.close_and_exit()

    inst = planted_run(installer, prefix64, exe, package, "planted-none", ours=False)
    check("no library beside the program, a planted one in the current folder: window appears",
          inst.appears(30))
    check("Install becomes enabled", inst.ui("expect-enabled install 60"))
    left = prefix64.drive_c_names("Ticket", "Barcode", "DriverName.cfg")
    check("nothing was unpacked to drive C", Result(not left, f"drive_c has {left}"))
    check("the planted 7-zip32.dll was not loaded", not_loaded(prefix64, "7-zip32.dll"))
    check("the planted winspool.drv was not loaded", not_loaded(prefix64, "winspool.drv"))
    inst.close_and_exit()

    # No winspool.drv can be loaded at all (Wine's override "" disables it): every spooler call is
    # refused with 126, the start-up ends as usual and Install reports the driver folder unreadable.
    inst = installer(prefix64, package, work=OUT / "nospooler-work",
                     WINEDLLOVERRIDES=BASE_ENV["WINEDLLOVERRIDES"] + ";winspool.drv=")
    check("winspool.drv disabled: window appears", inst.appears(30))
    check("Install becomes enabled with the sample catalogue",
          inst.ui("expect-enabled install 60", "expect-item driver 0 RV-580 0"))
    check("Install: the spooler's refusal is reported, the window stays",
          inst.ui("click install", f"expect-box {dq(NO_SPOOLER_BOX)} 30", "answer-box IDOK",
                  "expect-enabled install 10"))
    inst.close_and_exit()


HOSTILE_BOX = ("The driver package was not unpacked: it holds files for other places than DriverName.cfg and the "
               "Ticket and Barcode folders, and this installer writes nowhere else.\r\n\r\nAsk your supplier for a "
               "driver package that holds only those.")
NAME_BOX = ("Windows does not accept this printer name, so nothing was installed.\r\n\r\nA printer name cannot "
            "contain \"\\\".\r\n\r\nType another printer name and press Install again.")
# What a package must never leave: a file for the spooler's folder, a shortcut on every user's desktop.
STRAYS = ("windows/system32/spool/drivers/w32x86/3/evil.dll", "users/Public/Desktop/Printer.lnk")


def box(text):
    """expect-box's quoted TEXT, with its line breaks as the driver writes them."""
    return dq(text).replace("\r", "\\r").replace("\n", "\\n")


def drive_tree(prefix):
    """Every path below drive C, lower-cased, but for Wine's own temporary files."""
    return {str(p.relative_to(prefix.drive_c)).lower() for p in prefix.drive_c.rglob("*")
            if "temp" not in [part.lower() for part in p.relative_to(prefix.drive_c).parts]}


def test_package_writing_outside_its_folders_is_refused_and_leaves_nothing(prefix64, installer, package):
    hostile = OUT / "hostile-package/DriverData.Drv"
    hostile.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(package[1], hostile)
    with zipfile.ZipFile(hostile, "a") as archive:
        for stray in STRAYS:
            archive.writestr(stray, b"MZ")
    before = drive_tree(prefix64)
    inst = installer(prefix64, [package[0], hostile], work=OUT / "hostile-work")
    check("a package with files for other places: window appears", inst.appears(30))
    said = inst.ui(f"expect-box {box(HOSTILE_BOX)} 60", "answer-box IDOK", "expect-enabled install 60")
    check("the start-up says the package was not unpacked, in a box the window waits for",
          Result(said and "owned by the window" in said.output, said.output))
    inst.close_and_exit()
    left = sorted(drive_tree(prefix64) - before)
    check("nothing is left on drive C but what was there", Result(not left, f"new on drive C: {left}"))


def test_printer_name_windows_refuses_is_told_before_anything_is_staged(prefix64, installer, package):
    inst = installer(prefix64, package, work=OUT / "badname-work")
    check("window appears", inst.appears(30))
    check("a name with \"\\\" is refused when Install is pressed, and Install stays usable",
          inst.ui("expect-enabled install 60", "set-text printer-name \"Kitchen\\\\Bar\"", "click install",
                  f"expect-box {box(NAME_BOX)} 30", "answer-box IDOK", "expect-enabled install 10"))
    staged = [str(p) for p in (prefix64.drive_c / "windows").rglob("*") if p.name.lower() == "rvres.dll"]
    check("no driver file was staged", Result(not staged, f"staged: {staged}"))
    inst.close_and_exit()
