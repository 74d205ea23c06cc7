"""What the Wine tests work with: prefixes, the virtual display, the UI driver, the installer's
process, the registry and the spooler as Python data, serial lines on pseudo-terminals.

Quirks of Wine that shape these helpers are explained in docs/WINE.md.
"""

import os
import re
import shlex
import shutil
import signal
import subprocess
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
HERE = Path(__file__).resolve().parent
OUT = Path(os.environ.get("WINE_E2E_OUT") or ROOT / "build" / "wine-e2e")
TITLE = "Configure & Install v1.0"
SCREEN = "1024x768"
BASE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}

# Under software emulation (scripts/wine-vm.sh) everything takes several times longer: every bound a
# helper waits for is multiplied by this.
TIME_SCALE = float(os.environ.get("WINE_TIME_SCALE") or 1)

PORTS_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports"
WINDOWS_KEY = r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows"
MONITORS_KEY = r"HKLM\System\CurrentControlSet\Control\Print\Monitors"
PRINTERS_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers"
WINE_PORTS_KEY = r"HKLM\Software\Wine\Ports"
SERIALCOMM_KEY = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"

# ---- checks -------------------------------------------------------------------------------------

# Every check made in this run; the terminal summary reports the count.
CHECKS = {"passed": 0}


class Result:
    """A step's outcome: truthy when it passed, with what it printed."""

    def __init__(self, ok, output=""):
        self.ok = bool(ok)
        self.output = output

    def __bool__(self):
        return self.ok


def check(what, result):
    """One check: fails the test with WHAT and the step's output, counts it when it passes."""
    output = getattr(result, "output", "")
    log(("PASS: " if result else "FAIL: ") + what)
    assert result, f"{what}\n{output}".rstrip()
    CHECKS["passed"] += 1
    return result


def log(text):
    OUT.mkdir(parents=True, exist_ok=True)
    with open(OUT / "run.log", "a", encoding="utf-8") as f:
        f.write(text + "\n")


def dq(text):
    """Quotes a word for a driver command."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


# ---- processes ----------------------------------------------------------------------------------

# Helpers started in the background (pty lines, fake printers, displays): ended with the session.
BACKGROUND = []


def run(args, env=None, cwd=None, timeout=120, out=None):
    """Runs ARGS; its output replaces the file OUT (a file, not a pipe: Wine services started on the
    way inherit it and would hold a pipe open), or adds to wine.log. Returns (exit code, output); a
    timeout gives 124 and kills the process group."""
    OUT.mkdir(parents=True, exist_ok=True)
    path = Path(out) if out else OUT / "wine.log"
    with open(path, "wb" if out else "ab") as f:
        start = f.tell()
        proc = subprocess.Popen(
            [str(a) for a in args], env=env, cwd=cwd, stdout=f, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            rc = proc.wait(timeout=timeout * TIME_SCALE)
        except subprocess.TimeoutExpired:
            kill_group(proc)
            rc = 124
    with open(path, "rb") as f:
        f.seek(start)
        text = f.read().decode("utf-8", "replace").replace("\r", "")
    if rc == 124:
        text += "timed out\n"
    return rc, text


def kill_group(proc, sig=signal.SIGTERM):
    try:
        os.killpg(proc.pid, sig)
    except ProcessLookupError:
        return
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()


def background(args, **kw):
    proc = subprocess.Popen([str(a) for a in args], stdin=subprocess.DEVNULL, start_new_session=True, **kw)
    BACKGROUND.append(proc)
    return proc


def end_background():
    while BACKGROUND:
        proc = BACKGROUND.pop()
        if proc.poll() is None:
            kill_group(proc)


def wait_for(predicate, seconds, step=0.1):
    deadline = time.monotonic() + seconds * TIME_SCALE
    while True:
        if predicate():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(step)


def full_key(key):
    """KEY with its root spelled out, as regedit takes and writes it."""
    return re.sub(r"^HKLM\\", r"HKEY_LOCAL_MACHINE\\", re.sub(r"^HKCU\\", r"HKEY_CURRENT_USER\\", key))


def windows_path(path):
    """PATH as a Wine program sees it: drive Z: is the Unix root."""
    return "Z:" + str(path).replace("/", "\\")


# ---- display ------------------------------------------------------------------------------------


class Display:
    """A virtual X server; -displayfd picks a free display and reports it once it accepts
    connections."""

    def __init__(self, size, name):
        fd_file = OUT / f"{name}.displayfd"
        fd_file.write_text("")
        with open(fd_file, "w") as fd, open(OUT / f"{name}.log", "w") as err:
            self.proc = background(["Xvfb", "-displayfd", str(fd.fileno()), "-screen", "0", f"{size}x24",
                                    "-nolisten", "tcp"], stdout=subprocess.DEVNULL, stderr=err,
                                   pass_fds=(fd.fileno(),))
        self.name = None

        def reported():
            digits = re.sub(r"\D", "", fd_file.read_text())
            if digits:
                self.name = ":" + digits
            return bool(digits) or self.proc.poll() is not None

        wait_for(reported, 10)
        if not self.name:
            raise RuntimeError(f"Xvfb did not start (see {OUT / (name + '.log')})")

    def stop(self):
        if self.proc.poll() is None:
            kill_group(self.proc)


def screenshot(display, path):
    """The whole screen as PATH; a black or blank frame (two colours or fewer) means nothing was
    painted."""
    rc, text = run(["import", "-display", display, "-window", "root", path], out=OUT / "import.out")
    if rc:
        return Result(False, text)
    rc, colours = run(["identify", "-format", "%k", path], out=OUT / "identify.out")
    ok = rc == 0 and colours.strip().isdigit() and int(colours) > 2
    return Result(ok, f"{path}: {colours.strip()} colours")


# ---- prefixes -----------------------------------------------------------------------------------


class Prefix:
    """A Wine prefix with a persistent wineserver; `env` adds to every Wine process in it."""

    current = None  # the prefix a test works in, for the failure report

    def __init__(self, path, arch, display):
        self.path = Path(path)
        self.arch = arch
        self.display = display
        self.env = {}

    def environ(self, **extra):
        env = {k: v for k, v in os.environ.items() if k not in ("WINEARCH", "WINEPREFIX")}
        env.update(BASE_ENV)
        env.update(WINEPREFIX=str(self.path), DISPLAY=self.display)
        env.update(self.env)
        env.update({k: v for k, v in extra.items() if v is not None})
        for k in [k for k, v in extra.items() if v is None]:
            env.pop(k, None)
        return env

    def run(self, *args, timeout=120, out=None, cwd=None, **extra):
        return run(args, env=self.environ(**extra), timeout=timeout, out=out, cwd=cwd)

    def wine(self, *args, **kw):
        return self.run("wine", *args, **kw)

    def restart_server(self):
        """A new server session: Wine reads its port mapping and desktop settings as it starts."""
        for args in (["wineserver", "-k"], ["wineserver", "-w"], ["wineserver", "-p"]):
            rc, _ = self.run(*args)
            if rc and args[1] != "-k":
                return False
        return True

    def kill_server(self):
        self.run("wineserver", "-k")

    def create(self, screen=SCREEN):
        """A fresh Windows 10 prefix: no crash dialog, a persistent server, and a Wine desktop of the
        display's size (without a window manager Wine stalls 2 s whenever a window hides and draws no
        title bars). The server fixes a new prefix's architecture, so it needs WINEARCH too, and it
        starts first: started after wineboot it would find wineboot's server running."""
        shutil.rmtree(self.path, ignore_errors=True)
        self.path.mkdir(parents=True)
        arch = {"WINEARCH": self.arch}
        steps = [
            (["wineserver", "-p"], arch),
            (["wineboot", "-i"], arch if self.arch == "win32" else {}),
            (["wine", "winecfg", "-v", "win10"], {}),
            (["wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
              "/d", "0", "/f"], {}),
            (["wine", "reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f"], {}),
            (["wine", "reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default", "/d", screen,
              "/f"], {}),
        ]
        for args, extra in steps:
            rc, _ = self.run(*args, **extra)
            if rc:
                raise RuntimeError(f"creating prefix {self.path} failed at {args} (see {OUT / 'wine.log'})")
        # The desktop exists since wineboot: a new server session takes the setting.
        if not self.restart_server():
            raise RuntimeError(f"restarting the server of {self.path} failed")

    def copy_from(self, clean):
        shutil.rmtree(self.path, ignore_errors=True)
        shutil.copytree(clean.path, self.path, symlinks=True)
        rc, _ = self.run("wineserver", "-p")
        if rc:
            raise RuntimeError(f"starting the server of {self.path} failed")

    @property
    def drive_c(self):
        return self.path / "drive_c"

    @property
    def spool_drivers(self):
        return self.drive_c / "windows/system32/spool/drivers/w32x86/3"

    # ---- registry ----

    def reg_values(self, key):
        """The values of KEY as {name: data} (`wine reg query`: ASCII data only, see reg_export)."""
        rc, text = self.wine("reg", "query", key, out=OUT / "reg.out")
        if rc:
            return None
        values = {}
        for line in text.splitlines():
            m = re.match(r"^    (\S.*?)    (REG_[A-Z_]+)    ?(.*)$", line)
            if m:
                values[m.group(1)] = m.group(3)
        return values

    def reg_value(self, key, name):
        return (self.reg_values(key) or {}).get(name)

    def reg_add(self, key, name=None, data=None, kind=None):
        args = ["reg", "add", key]
        if name is not None:
            args += ["/v", name]
        if kind:
            args += ["/t", kind]
        if data is not None:
            args += ["/d", data]
        return self.wine(*args, "/f")[0] == 0

    def reg_delete(self, key, name=None):
        args = ["reg", "delete", key] + (["/v", name] if name is not None else []) + ["/f"]
        return self.wine(*args)[0] == 0

    def reg_export(self, key):
        """KEY and its subkeys as regedit exports them, as text: regedit writes UTF-16LE, where
        `wine reg query` would print through the console code page. regedit takes the roots by their
        full names only."""
        key = full_key(key)
        path = OUT / "export.reg"
        path.unlink(missing_ok=True)
        rc, _ = self.wine("regedit", "/E", windows_path(path), key)
        if rc or not path.exists():
            return None
        return path.read_bytes().decode("utf-16").lstrip("\ufeff").replace("\r", "")

    def reg_tree(self, key):
        """KEY and its subkeys from regedit's export, as {key path as written: {value name: data}}:
        string data with the .reg escapes undone, other types as their .reg text."""
        text = self.reg_export(key)
        if text is None:
            return None
        tree, values = {}, None
        for line in text.splitlines():
            if line.startswith("[") and line.endswith("]"):
                values = tree.setdefault(line[1:-1], {})
            elif values is not None:
                m = re.match(r'^(?:"((?:[^"\\]|\\.)*)"|(@))=(.*)$', line)
                if m:
                    name = "" if m.group(2) else re.sub(r"\\(.)", r"\1", m.group(1))
                    data = m.group(3)
                    if len(data) >= 2 and data[0] == data[-1] == '"':
                        data = re.sub(r"\\(.)", r"\1", data[1:-1])
                    values[name] = data
        return tree

    def reg_import(self, body):
        """Imports a .reg body as regedit reads it: UTF-16LE with a byte-order mark, so non-ASCII
        data arrives exactly."""
        path = OUT / "import.reg"
        text = "Windows Registry Editor Version 5.00\r\n\r\n" + body.replace("\n", "\r\n") + "\r\n"
        path.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
        return self.wine("regedit", "/S", windows_path(path))[0] == 0

    def add_default_printer_key(self):
        """Every Windows has the key of the default printer; a fresh Wine prefix does not, and the
        installer opens it rather than creating it (docs/WINE.md)."""
        return self.reg_add(WINDOWS_KEY)

    def port_names(self):
        return sorted((self.reg_values(PORTS_KEY) or {}).keys())

    def spooler_service_state(self):
        """The Spooler service's state as sc reports it (RUNNING, STOPPED, ...)."""
        _, text = self.wine("sc", "query", "spooler", out=OUT / "sc.out")
        m = re.search(r"^\s*STATE\s*:\s*\d+\s*(\S+)", text, re.M)
        return m.group(1) if m else None

    def drive_c_names(self, *names):
        """Those of NAMES at the root of drive C, in any letter case, as Windows names them."""
        present = {p.name.lower() for p in self.drive_c.iterdir()}
        return [n for n in names if n.lower() in present]

    def use_locale(self, lang):
        """Later Wine processes (installer, UI driver) run under the Unix locale LANG, from which Wine
        takes the ANSI code page. The locale is compiled into the run's folder (LOCPATH): nothing is
        installed. The first process under a new locale updates the prefix, and the server goes away
        under whatever starts meanwhile: one process takes that first, then the server restarts."""
        folder = OUT / "locale"
        target = folder / lang
        if not (target / "LC_CTYPE").exists():
            folder.mkdir(parents=True, exist_ok=True)
            # localedef may warn (exit 1) and still write the locale: its files are what counts.
            run(["localedef", "-i", lang.split(".")[0], "-f", "UTF-8", target])
            if not (target / "LC_CTYPE").exists():
                return Result(False, f"localedef could not make {lang} (see {OUT / 'wine.log'})")
        # LC_ALL, not only LANG: an LC_CTYPE in the environment would otherwise keep the code page.
        # Python itself sets LC_CTYPE=C.UTF-8 when it starts under the C locale (PEP 538), as it
        # does where no LANG is set, and its children inherit it.
        self.env.update(LOCPATH=str(folder), LANG=lang, LC_ALL=lang)
        self.wine("cmd", "/c", "exit")
        if not self.restart_server():
            return Result(False, "restarting the server failed")
        # What Wine made of the locale, for the log: chcp names the OEM code page it took from it.
        _, text = self.wine("cmd", "/c", "chcp", out=OUT / "chcp.out")
        log(f"LANG={lang}: {text.strip()}")
        return Result(True)

    def default_locale(self):
        for name in ("LOCPATH", "LANG", "LC_ALL"):
            self.env.pop(name, None)


# ---- the UI driver ------------------------------------------------------------------------------


def control_names():
    """{name: id} from src/res/control_names.h, the table the UI driver and installer-sim use."""
    ids = {"IDOK": 1, "IDCANCEL": 2}  # winuser.h
    for m in re.finditer(r"^#define (ID\w+) (\d+)", (ROOT / "src/res/resource.h").read_text(), re.M):
        ids[m.group(1)] = int(m.group(2))
    table = (ROOT / "src/res/control_names.h").read_text()
    return {m.group(1): ids[m.group(2)] for m in re.finditer(r'X\("([\w-]+)", (\w+)\)', table)}


CONTROLS = control_names()
# The commands whose first argument (wait-window-or-text: second) is a control.
CONTROL_COMMANDS = {
    "expect-text", "print-text", "expect-enabled", "expect-disabled", "click", "click-and-wait", "select-combo",
    "select-list-row", "expect-list-selected", "expect-count", "expect-item", "select-combo-text", "watch-text",
    "expect-seen", "print-seen", "time-to-text", "set-text", "check", "expect-column-width",
    "expect-columns-fit"}


def checked_command(command):
    """COMMAND unchanged; a control that is neither a known name nor an id is refused here, before a
    minute of waiting."""
    try:
        words = shlex.split(command)  # the driver's quoting: "..." with backslashes, '...'
    except ValueError:
        return command  # the driver reports it
    position = 2 if words[0] == "wait-window-or-text" else 1 if words[0] in CONTROL_COMMANDS else 0
    if position and len(words) > position:
        control = words[position]
        if control not in CONTROLS and not control.isdigit():
            raise ValueError(f"unknown control {control!r} in {command!r} (names: {', '.join(CONTROLS)})")
    return command


class Driver:
    """Runs the UI driver (build-win/uidriver.exe) in a prefix."""

    exe = None

    def __init__(self, prefix):
        self.prefix = prefix

    def __call__(self, *commands, script=False, timeout=100, **env):
        """One driver run; passes when every command did. With SCRIPT the commands go in a UTF-8
        script file: Wine decodes a program's arguments with the Unix locale's charset, which would
        mangle non-ASCII ones."""
        commands = [checked_command(c) for c in commands]
        if script:
            path = OUT / "driver-script.txt"
            path.write_text("\n".join(commands) + "\n", encoding="utf-8")
            args = ["-f", windows_path(path)]
        else:
            args = commands
        rc, text = self.prefix.run("wine", self.exe, *args, timeout=timeout, out=OUT / "driver.out", **env)
        with open(OUT / "driver.log", "a", encoding="utf-8") as f:
            f.write(text)
        return Result(rc == 0, text)

    def spooler(self):
        """What the spooler holds (print-spooler): {"printers": {name: port}, "drivers": [names],
        "monitors": [names]}, names sorted; None when the driver could not read it."""
        result = self("print-spooler")
        m = re.search(r'^ok   print-spooler: printers "(.*)", drivers "(.*)", monitors "(.*)"$', result.output, re.M)
        if not result or not m:
            return None
        printers = dict(entry.rsplit(" on ", 1) for entry in listed(m.group(1), "; "))
        return {"printers": printers, "drivers": listed(m.group(2), ", "), "monitors": listed(m.group(3), ", ")}

    def ports(self):
        """The spooler's ports (print-ports, EnumPortsW level 2): [(name, monitor, description)];
        None when the driver could not read them."""
        result = self("print-ports")
        m = re.search(r'^ok   print-ports: ports: (.*)$', result.output, re.M)
        if not result or not m:
            return None
        return re.findall(r"(?:^|, )(.+?) \((.+?): (.*?)\)(?=, |$)", m.group(1))


def listed(text, separator):
    """The items of a list the driver printed quoted and joined by SEPARATOR."""
    text = re.sub(r"\\(.)", r"\1", text)
    return text.split(separator) if text else []


# ---- the installer ------------------------------------------------------------------------------


class Installer:
    """installer.exe running from a working folder, with the UI driver pointed at its window."""

    current = None  # the installer a test drives, for the failure report

    def __init__(self, prefix, exe, work, files=(), app=None, **env):
        """Copies EXE (into APP, or WORK) and FILES into WORK and starts it there, where it looks
        for its data."""
        self.prefix = prefix
        self.drive = Driver(prefix)
        work = Path(work)
        shutil.rmtree(work, ignore_errors=True)
        work.mkdir(parents=True)
        if app is None:
            shutil.copy(exe, work)
            program = Path(exe).name
        else:
            program = str(Path(app) / Path(exe).name)
        for f in files:
            shutil.copy(f, work)
        self.log = open(OUT / "installer.log", "wb")
        self.proc = subprocess.Popen(["wine", program], cwd=work, env=prefix.environ(**env), stdout=self.log,
                                     stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, start_new_session=True)
        Installer.current = self

    def running(self):
        return self.proc.poll() is None

    def appears(self, seconds=30):
        return self.drive(f"wait-window {dq(TITLE)} {seconds}")

    def ui(self, *commands, **kw):
        """Driver commands against the installer's window."""
        if not self.running():
            return Result(False, "the installer is no longer running")
        return self.drive(f"wait-window {dq(TITLE)} 5", *commands, **kw)

    def wait_exit(self, seconds=10, code=0):
        try:
            rc = self.proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return Result(False, f"still running after {seconds}s")
        return Result(rc == code, f"exit code {rc}")

    def close_and_exit(self):
        check("window closes on WM_CLOSE", self.ui("close", "wait-gone 10"))
        check("installer exits with code 0", self.wait_exit(10))

    def status_text(self):
        result = self.drive(f"wait-window {dq(TITLE)} 1", "print-text status", timeout=20)
        return result.output

    def answer_box(self):
        """A message box the installer shows, if any, goes to the log and is answered."""
        if self.ui("wait-box 0", "dump-box"):
            if not self.ui("wait-box 0", "answer-box IDOK"):
                self.ui("wait-box 0", "answer-box IDCANCEL")

    def stop(self):
        if self.running():
            kill_group(self.proc)
        self.log.close()


# ---- serial lines -------------------------------------------------------------------------------


class SerialLines:
    """COM ports on pseudo-terminal pairs made by socat (TTY/NAME-win for Wine, TTY/NAME-dev for the
    device), the fake printer behind one of them. Wine maps COMn through HKLM\\Software\\Wine\\Ports
    and makes the dosdevices link and the SERIALCOMM entry when its server starts again."""

    def __init__(self, prefix, ports, printer=None, state_file=None):
        self.prefix = prefix
        self.ports = ports
        self.printer = printer
        self.state_file = state_file  # the fake printer's state, changeable while it runs
        self.tty = OUT / "tty"
        self.printer_log = OUT / "fake-printer.log"
        self.procs = []

    def line(self, port):
        win, dev = self.tty / f"{port}-win", self.tty / f"{port}-dev"
        for p in (win, dev):
            p.unlink(missing_ok=True)
        with open(OUT / "socat.log", "a") as err:
            self.procs.append(background(["socat", f"pty,raw,echo=0,link={win}", f"pty,raw,echo=0,link={dev}"],
                       stdout=subprocess.DEVNULL, stderr=err))
        return wait_for(lambda: win.exists() and dev.exists(), 5)

    def start(self):
        self.tty.mkdir(parents=True, exist_ok=True)
        for port in self.ports:
            if not self.line(port):
                return Result(False, f"socat made no {port} line (see {OUT / 'socat.log'})")
        if self.printer:
            self.printer_log.unlink(missing_ok=True)
            self.procs.append(background(
                ["python3", HERE / "fake-printer/fake_printer.py", self.tty / f"{self.printer}-dev", "--log",
                 self.printer_log] + (["--state-file", self.state_file] if self.state_file else []),
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for port in self.ports:
            # A link left by an earlier mapping would stand; a link made by hand would never reach
            # SERIALCOMM.
            (self.prefix.path / "dosdevices" / port).unlink(missing_ok=True)
            if not self.prefix.reg_add(WINE_PORTS_KEY, port.upper(), str(self.tty / f"{port}-win")):
                return Result(False, f"mapping {port} failed")
        return Result(self.prefix.restart_server())

    def mapped(self):
        """The dosdevices links point at the ptys and SERIALCOMM lists every port (the mount manager
        writes them a moment after the first program of the new server session starts)."""
        listed = {}

        def all_listed():
            listed.clear()
            listed.update(self.prefix.reg_values(SERIALCOMM_KEY) or {})
            return all(port.upper() in listed.values() for port in self.ports)

        wait_for(all_listed, 10, 0.2)
        lines, ok = [f"SERIALCOMM: {listed}"], True
        for port in self.ports:
            link = self.prefix.path / "dosdevices" / port
            target = os.readlink(link) if link.is_symlink() else None
            lines.append(f"dosdevices/{port} -> {target}")
            ok &= target == str(self.tty / f"{port}-win") and port.upper() in listed.values()
        return Result(ok, "\n".join(lines))

    def stop(self):
        for proc in self.procs:
            if proc.poll() is None:
                kill_group(proc)

    def printer_asked(self):
        """The fake printer got the status request 10 04 01 and answered 12."""
        text = self.printer_log.read_text() if self.printer_log.exists() else ""
        return Result(any(line.startswith("request 10 04 01 -> 12") for line in text.splitlines()), text)
