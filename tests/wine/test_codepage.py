"""Text in the system's ANSI code page. Wine takes a process's ANSI code page from its Unix locale
(de_DE.UTF-8 gives 1252, zh_CN.UTF-8 936), so the installer and the UI driver run under that locale.
The package's catalogue is written in the code page's bytes, as one written on such a Windows is;
the installer must show its names, install the model picked and hand a typed printer name to the
spooler and the registry as the same characters. The UI driver reads the window texts and the
spooler in UTF-16 and prints UTF-8, and the registry is exported with regedit (UTF-16LE), so every
check compares the exact characters."""

import shutil

import pytest

from flows import (TCPIP_DIALOG, TCPIP_MONITOR_KEY, TCPIP_PORT, DONE, build_tcpip_monitor,
                   finish_and_exit, install_asking_parallel_port, start_32bit_run)
from harness import OUT, PRINTERS_KEY, ROOT, WINDOWS_KEY, Driver, Result, check, dq, full_key, run, screenshot

DRVPACK = ROOT / "build/tools/drvpack/drvpack"
SAMPLE_STAGE = ROOT / "build/sample/stage"
CHINESE_TCPIP = "标准 TCP/IP 端口"


def codepage_package(folder, catalogue, encoding):
    """FOLDER/DriverData.Drv: the sample package with the catalogue CATALOGUE (packages/catalogues,
    UTF-8) in the code page's bytes."""
    if not DRVPACK.exists() and (ROOT / "build/CMakeCache.txt").exists():
        run(["cmake", "--build", ROOT / "build", "--target", "drvpack"], out=OUT / "drvpack-build.log", timeout=1800)
    if not DRVPACK.exists() or not SAMPLE_STAGE.is_dir():
        return Result(False, "drvpack or the sample's staging folder is missing (build the host build first)")
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(SAMPLE_STAGE, folder / "stage", symlinks=True)
    text = (ROOT / "packages/catalogues" / catalogue).read_text(encoding="utf-8")
    (folder / "stage/DriverName.cfg").write_bytes(text.encode(encoding))
    rc, out = run([DRVPACK, "build", folder / "stage", "-o", folder / "DriverData.Drv"], out=folder / "drvpack.log")
    return Result(rc == 0, out)


def exported(tree, key):
    """The key of TREE that is KEY, whose root and parents may differ in letter case as Windows
    allows; its own name must match exactly. None when there is none."""
    want = full_key(key)
    for path in tree or {}:
        if path.upper() == want.upper() and path.rsplit("\\", 1)[-1] == want.rsplit("\\", 1)[-1]:
            return path
    return None


def exported_value(prefix, key, name, want):
    """Value NAME of KEY as regedit exports it is WANT, character for character."""
    tree = prefix.reg_tree(key)
    path = exported(tree, key)
    got = tree[path].get(name) if path else None
    return Result(got == want, f"{key} {name} = {got!r} in the export")


def exported_key(prefix, key):
    """KEY is in regedit's export of its parent, named character for character."""
    parent = key.rsplit("\\", 1)[0]
    tree = prefix.reg_tree(parent)
    return Result(exported(tree, key) is not None, f"keys under {parent}: {list(tree or {})}")


@pytest.fixture
def locale_prefix(win32_prefix, package):
    """codepage(NAME, LANG): the 32-bit prefix NAME, its Wine processes under LANG; the default
    locale afterwards."""
    used = []

    def get(name, lang, what):
        prefix = win32_prefix(name)
        used.append(prefix)
        prefix.add_default_printer_key()
        check(f"the installer and the UI driver run with LANG={lang} ({what})", prefix.use_locale(lang))
        return prefix

    yield get
    for prefix in used:
        prefix.default_locale()


def test_codepage_1252_names_shown_installed_and_recorded(installer, locale_prefix, package):
    """Receipt05 (model 4, RV-640) has two names, the second "Küche 80"; it is at position 6 of the
    list, so a name that failed to match its catalogue bytes would fall back to model 6 (RV-660)."""
    printer, pkg = "Drucker Büro", OUT / "package-cp1252"
    check("package with a code page 1252 catalogue (Küche 80, MP-220 Büro, LB-400 Versandetikett Größe M)",
          codepage_package(pkg, "de-1252.cfg", "cp1252"))
    prefix = locale_prefix("cp1252", "de_DE.UTF-8", "code page 1252")
    inst = start_32bit_run(installer, prefix, [package[0], pkg / "DriverData.Drv"], None)
    check('driver list shows the Latin-1 names right: item 6 "Küche 80", item 27 "MP-220 Büro"',
          inst.ui("expect-item driver 5 RV-640 0", f"expect-item driver 6 {dq('Küche 80')} 0",
                  f"expect-item driver 27 {dq('MP-220 Büro')} 0",
                  f"expect-item driver 35 {dq('LB-400 Versandetikett Größe M')} 0", script=True))
    check(f'choose "Küche 80", type the printer name "{printer}", port type "Parallel port"',
          inst.ui(f"select-combo-text driver {dq('Küche 80')}", f"expect-text printer-name {dq('Küche 80')} 5",
                  f"set-text printer-name {dq(printer)}", f"expect-text printer-name {dq(printer)} 5",
                  "select-list-row port-type 2", script=True))
    port = install_asking_parallel_port(inst, OUT / "codepage-1252-parallel.png")
    check(f'spooler has printer "{printer}" with the model picked, RV-640, on {port}',
          inst.drive(f"expect-printer {dq(printer)} RV-640 {port}", script=True))
    check(f'the Windows key\'s "Device" is "{printer},winspool,{port}" (regedit export)',
          exported_value(prefix, WINDOWS_KEY, "Device", f"{printer},winspool,{port}"))
    check(f'the spooler\'s registry names the printer "{printer}"',
          exported_key(prefix, PRINTERS_KEY + "\\" + printer))
    finish_and_exit(inst, "codepage-1252-finished.png")


def add_chinese_tcpip_monitor(prefix, drive):
    """The test monitor, describing its port as a Simplified Chinese Windows describes TCP/IP ports
    (its key's PortDescription value)."""
    dll = build_tcpip_monitor()
    if not dll:
        return Result(False, (OUT / "tcpipmon-build.log").read_text())
    (prefix.drive_c / "windows/system32/tcpipmon.dll").write_bytes(dll.read_bytes())
    key = full_key(TCPIP_MONITOR_KEY)
    body = f'[{key}]\n"Driver"="tcpipmon.dll"\n"PortDescription"="{CHINESE_TCPIP}"\n\n[{key}\\Ports\\{TCPIP_PORT}]'
    if not prefix.reg_import(body):
        return Result(False, "regedit /S failed")
    return drive(f"expect-port {TCPIP_PORT} {dq(CHINESE_TCPIP)}", script=True)


def test_codepage_936_names_and_chinese_tcpip_port_installed_and_recorded(installer, locale_prefix, package):
    printer, pkg = "厨房打印机", OUT / "package-cp936"
    check("package with a code page 936 catalogue (厨房打印机 80, MP-220 移动, LB-400 标签)",
          codepage_package(pkg, "zh-936.cfg", "gbk"))
    prefix = locale_prefix("cp936", "zh_CN.UTF-8", "code page 936")
    check(f'test TCP/IP monitor added: EnumPortsW lists {TCPIP_PORT} as "{CHINESE_TCPIP}"',
          add_chinese_tcpip_monitor(prefix, Driver(prefix)))
    inst = start_32bit_run(installer, prefix, [package[0], pkg / "DriverData.Drv"], None)
    check('driver list shows the Chinese names right: item 6 "厨房打印机 80", "LB-400 标签"',
          inst.ui(f"expect-item driver 6 {dq('厨房打印机 80')} 0", f"expect-item driver 27 {dq('MP-220 移动')} 0",
                  f"expect-item driver 34 {dq('LB-400 标签')} 0", script=True))
    check(f'choose "厨房打印机 80", type the printer name "{printer}", port type "TCP/IP port"',
          # The choice fills in the printer name: typed before that shows, the name would be replaced.
          inst.ui(f"select-combo-text driver {dq('厨房打印机 80')}", f"expect-text printer-name {dq('厨房打印机 80')} 5",
                  f"set-text printer-name {dq(printer)}",
                  f"expect-text printer-name {dq(printer)} 5", "select-list-row port-type 3", script=True))
    check(f'Install opens "{TCPIP_DIALOG}", listing {TCPIP_PORT}, selected',
          inst.ui("click install", f"wait-window {dq(TCPIP_DIALOG)} 20", f"expect-item port-list 0 {TCPIP_PORT} 5",
                  "expect-list-selected port-list 0 0"))
    shot = OUT / "codepage-936-tcpip-dialog.png"
    check(f"screenshot {shot}", screenshot(prefix.display, shot))
    finished = (inst.drive(f"wait-window {dq(TCPIP_DIALOG)} 0", "click select-port", "wait-gone 5") and
                inst.ui(f"expect-text status {dq(DONE)} 60", f"expect-text install {dq('&Finish')} 5"))
    if not finished:
        inst.answer_box()
    check(f'OK takes {TCPIP_PORT}; completed, "&Finish"', finished)
    check(f'spooler has printer "{printer}" with the model picked, RV-640, on {TCPIP_PORT}',
          inst.drive(f"expect-printer {dq(printer)} RV-640 {TCPIP_PORT}", script=True))
    check(f'the Windows key\'s "Device" is "{printer},winspool,{TCPIP_PORT}" (regedit export)',
          exported_value(prefix, WINDOWS_KEY, "Device", f"{printer},winspool,{TCPIP_PORT}"))
    finish_and_exit(inst, "codepage-936-finished.png")
