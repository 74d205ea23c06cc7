"""drvpack.exe, the vendor's package builder, as the vendor's staff use it: the sample package built from
its unpacked folder under a long folder name the ANSI code page cannot spell, checked plain and
--strict, a broken folder, a link leading out of the folder and hostile archives refused with the host
tool's very lines, and the installer then installing from the package drvpack.exe built. One 32-bit
prefix, "drvpack"."""

import shutil
import subprocess
import zipfile

import pytest

from flows import finish_and_exit, install_asking_parallel_port, start_32bit_run
from harness import OUT, ROOT, Result, check, run

# Long, with a blank, a letter of the ANSI code page (ü) and one outside it (Ω).
KIT = "Vendor Packages für Ωmega receipt printers"
HOST_DRVPACK = ROOT / "build/tools/drvpack/drvpack"


@pytest.fixture
def kit(win32_prefix, exe, package):
    """The "drvpack" prefix with drvpack.exe and the unpacked sample in C:\\KIT\\stage."""
    tool = exe.parent / "drvpack.exe"
    check("drvpack.exe was built", Result(tool.is_file(), f"{tool} is missing"))
    if not HOST_DRVPACK.is_file():
        run(["cmake", "--build", ROOT / "build", "--target", "drvpack"], out=OUT / "drvpack-build.log", timeout=1800)
    check("the host drvpack was built", Result(HOST_DRVPACK.is_file(), f"{HOST_DRVPACK} is missing"))
    prefix = win32_prefix("drvpack")
    folder = prefix.drive_c / KIT
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "stage").mkdir(parents=True)
    shutil.copy(tool, folder)
    with zipfile.ZipFile(package[1]) as sample:
        sample.extractall(folder / "stage")
    return prefix, folder


def windows(*parts):
    return "C:\\" + "\\".join([KIT] + list(parts))


def drvpack_exe(prefix, *args):
    """drvpack.exe ARGS in the kit folder: (exit code, output). Wine turns the Unix arguments into
    the program's UTF-16 command line by the Unix locale's character set: UTF-8, so Ω arrives."""
    return prefix.wine(windows("drvpack.exe"), *args, out=OUT / "drvpack.out", timeout=300, LC_ALL="C.UTF-8")


def host(*args):
    proc = subprocess.run([str(HOST_DRVPACK)] + [str(a) for a in args], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=300)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


def same_lines(got, expected, drop_last=False):
    """Both runs' exit codes and lines agree (the last line names a path, which differs when DROP_LAST)."""
    (rc, text), (want_rc, want) = got, expected
    lines, wanted = text.splitlines(), want.splitlines()
    if drop_last:
        lines, wanted = lines[:-1], wanted[:-1]
    return Result(rc == want_rc and lines == wanted,
                  f"drvpack.exe (exit {rc}):\n{text}\nhost drvpack (exit {want_rc}):\n{want}")


def test_drvpack_builds_and_checks_the_sample_from_its_unpacked_folder(kit):
    prefix, folder = kit
    built = drvpack_exe(prefix, "build", windows("stage"), "-o", windows("DriverData.Drv"))
    check("build from the unpacked folder: exit 0", Result(built[0] == 0, built[1]))
    archive = folder / "DriverData.Drv"
    with zipfile.ZipFile(archive) as made:
        names = made.namelist()
    count = sum(1 for n in names if not n.endswith("/"))
    check(f"the package holds the {count} files of the folder",
          Result(f", {count} files" in built[1] and count > 0, f"{built[1]}\n{names}"))
    host_rc, host_text = host("build", folder / "stage", "-o", OUT / "host-sample.zip")
    check("the host tool builds the same bytes from the same folder",
          Result(host_rc == 0 and (OUT / "host-sample.zip").read_bytes() == archive.read_bytes(), host_text))
    check("check: the host tool's lines, exit 0",
          same_lines(drvpack_exe(prefix, "check", windows("DriverData.Drv")), host("check", archive)))
    check("check --strict: the host tool's lines, exit 1 on the placeholder binaries",
          same_lines(drvpack_exe(prefix, "check", "--strict", windows("DriverData.Drv")),
                     host("check", "--strict", archive), drop_last=True))
    check("check of the folder itself: the host tool's lines",
          same_lines(drvpack_exe(prefix, "check", windows("stage")), host("check", folder / "stage")))
    rc, text = drvpack_exe(prefix, "extract", windows("DriverData.Drv"), "-o", windows("unpacked"))
    check("extract unpacks every file", Result(rc == 0 and f"{count} files" in text, text))


def test_drvpack_refuses_a_broken_folder_and_hostile_archives_as_the_host_tool_does(kit):
    prefix, folder = kit
    broken = folder / "broken"
    shutil.rmtree(broken, ignore_errors=True)
    shutil.copytree(folder / "stage", broken)
    (broken / "Ticket/x86/RV640.GPD").unlink()
    (broken / "Stray.txt").write_text("x")
    wine_run = drvpack_exe(prefix, "build", windows("broken"), "-o", windows("Broken.Drv"))
    check("a broken folder: the host tool's lines, nothing written",
          same_lines(wine_run, host("build", broken, "-o", OUT / "broken.zip"), drop_last=True) and
          Result(not (folder / "Broken.Drv").exists(), "Broken.Drv was written"))
    for name in ("zip64-shared-record.zip", "zip64-size-beyond-ratio.zip", "traversal-0.zip", "method-12.zip"):
        shutil.copy(ROOT / "fuzz/corpus/archive" / name, folder / name)
        check(f"check {name}: the host tool's lines, exit 1",
              same_lines(drvpack_exe(prefix, "check", windows(name)), host("check", folder / name), drop_last=True))
    rc, text = drvpack_exe(prefix, "check", windows("method-12.zip"))
    check("an archive in a method the library does not read names the way out",
          Result(rc == 1 and "rebuild it with drvpack build from the unpacked folder" in text, text))


def test_drvpack_never_packs_what_a_link_inside_the_folder_leads_to_outside_it(kit):
    prefix, folder = kit
    linked = folder / "linked"
    shutil.rmtree(linked, ignore_errors=True)
    shutil.copytree(folder / "stage", linked)
    # A junction to the system folder, made by Windows' own command.
    rc, text = prefix.wine("cmd", "/c", "mklink", "/J", windows("linked", "Ticket", "system"), "C:\\windows\\system32",
                           out=OUT / "mklink.out")
    check("mklink /J makes a junction", Result(rc == 0, text))
    made = linked / "Ticket" / "system"
    if not (made.is_symlink() and made.exists()):
        pytest.skip("Wine 8's mklink /J leaves no reparse point that leads anywhere (docs/WINE.md); the host "
                    "suite covers junctions")
    rc, text = drvpack_exe(prefix, "build", windows("linked"), "-o", windows("Linked.Drv"))
    check("build refuses the junction leading outside the folder, nothing written",
          Result(rc == 1 and "link: Ticket/system is a symbolic link leading outside the folder" in text and
                 not (folder / "Linked.Drv").exists(), text))


def test_the_installer_installs_from_the_package_drvpack_exe_built(kit, installer, exe):
    prefix, folder = kit
    built = drvpack_exe(prefix, "build", windows("stage"), "-o", windows("DriverData.Drv"))
    check("build from the unpacked folder: exit 0", Result(built[0] == 0, built[1]))
    prefix.add_default_printer_key()
    inst = start_32bit_run(installer, prefix, [exe.parent / "7-zip32.dll", folder / "DriverData.Drv"], "RV-640")
    check('choose "Parallel port"', inst.ui("select-list-row port-type 2"))
    port = install_asking_parallel_port(inst)
    check(f"spooler has printer RV-640 with its driver on {port}",
          inst.drive(f"expect-printer RV-640 RV-640 {port}"))
    finish_and_exit(inst, "drvpack-package-finished.png")
