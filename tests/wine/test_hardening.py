"""Where the installer takes its libraries from. It runs elevated, often from a download folder: a
7-zip32.dll planted in the current folder must never be loaded, while ours beside the program still
is; a winspool.drv planted beside the program (not a known DLL, so the loader would take it from
there for a static import) must never be loaded either. tests/wine/planted-dll builds a stand-in
that leaves C:\\planted-NAME-loaded.txt behind when anything loads it."""

import shutil

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
