"""The serial channel against a fake printer on pseudo-terminals: the probe program (the installer's
CSerialPort on the real Win32 platform and window framework), a probe sequence over several ports,
and a receipt printer installed on the port the installer finds.

A pty answers the modem-status ioctls with ENOTTY, which makes Wine abort every WaitCommEvent:
tests/wine/pty-shim, preloaded into the Wine process, answers them as a serial port would."""

import os
import re
from collections import Counter

import pytest

from flows import PROBE, PROMPT_TITLE, SHIM, finish_and_exit, start_32bit_run
from harness import OUT, PORTS_KEY, PRINTERS_KEY, Result, check, dq, screenshot

def probe(prefix, ports, timeout=30):
    """comm_probe on PORTS at 9600 baud with 10 04 01 and 700 ms to answer: (exit code, output)."""
    name = re.sub(r"\W", "-", ports)
    return prefix.run("wine", PROBE, ports, "9600", "100401", "700", timeout=timeout,
                      out=OUT / f"probe-com{name}.out", LD_PRELOAD=SHIM)


def test_probe_hears_printer_on_its_line_and_nothing_on_a_silent_one(prefix64, com_lines):
    lines = com_lines(prefix64, ["com5", "com6"], "com5")
    rc, out = probe(prefix64, "5")
    check("COM5: the printer's reply reaches the owner window within 700 ms",
          Result(rc == 0 and re.search(r"^byte 12 from COM5 ", out, re.M), out))
    check("the fake printer got 10 04 01", lines.printer_asked())
    rc, out = probe(prefix64, "6")
    check("COM6: a silent line gives no byte", Result(rc == 1 and re.search(r"^COM6: 0 byte\(s\)", out, re.M), out))


def test_probe_sequence_hears_printer_on_last_port_every_run(prefix64, com_lines):
    """Probes of COM1 and COM5 to COM8 in turn with one channel, as the installer probes: a wait left
    behind by an earlier port must not spoil a later one."""
    runs = int(os.environ.get("PROBE_RUNS", "3"))
    com_lines(prefix64, ["com5", "com6", "com7", "com8"], "com8")
    outputs = [probe(prefix64, "1,5,6,7,8", timeout=60)[1] for _ in range(runs)]
    (OUT / "probe-sequence.txt").write_text("".join(outputs))
    heard = sum(bool(re.search(r"^byte 12 from COM8 ", out, re.M)) for out in outputs)
    counts = Counter(m for out in outputs for m in re.findall(r"^COM\d+: \d+ byte.*$", out, re.M))
    check(f"COM8 heard in every one of {runs} runs",
          Result(heard == runs, "\n".join(f"{n} {line}" for line, n in sorted(counts.items()))))


@pytest.mark.skipif(not os.environ.get("PROBE_TIMING"), reason="timings for bench/probe_bench.sh (PROBE_TIMING=1)")
def test_probe_timings_of_silent_and_missing_port(prefix64, com_lines):
    """PROBE_RUNS probes each of a silent line (COM6) and of a port that does not exist (COM9); the
    lines go to probe-timing.txt."""
    runs = int(os.environ.get("PROBE_RUNS", "5"))
    com_lines(prefix64, ["com5", "com6"], "com5")
    lines = []
    for _ in range(runs):
        for port in ("6", "9"):
            out = probe(prefix64, port)[1]
            lines += re.findall(r"^COM\d+: (?:open|\d+ byte).*$", out, re.M)
    (OUT / "probe-timing.txt").write_text("".join(line + "\n" for line in lines))
    opened = sum("open" in line for line in lines)
    check(f"timings of {runs} probes each of a silent and a missing port", Result(opened >= 2 * runs, opened))


def test_receipt_printer_installs_on_serial_port_found_by_probing(installer, win32_prefix, package, com_lines):
    """Four COM ports on ptys, the fake printer on the last, so the probe opens, asks and closes three
    silent ports before it; the user lets the installer find the port at 9600 baud."""
    prefix = win32_prefix("serial")
    prefix.add_default_printer_key()
    lines = com_lines(prefix, ["com5", "com6", "com7", "com8"], "com8")
    inst = start_32bit_run(installer, prefix, package, "RV-640", LD_PRELOAD=SHIM)
    check('choose "Serial port"', inst.ui("select-list-row port-type 0"))
    check("Install ends by asking whether to find the serial port",
          inst.ui("click install", f"wait-window {dq(PROMPT_TITLE)} 60"))
    check(f"screenshot {OUT / 'serial-prompt.png'}", screenshot(prefix.display, OUT / "serial-prompt.png"))
    check('9600 baud, "&Yes"', inst.drive(f"wait-window {dq(PROMPT_TITLE)} 0", "select-combo-text baud-rate 9600",
                                          "click prompt-yes", "wait-gone 10"))
    check("probing finds the printer on COM8:",
          inst.ui(f"expect-text status {dq('The available printer port:  COM8:')} 60",
                  f"expect-text install {dq('&Finish')} 10"))
    check("the fake printer was asked with 10 04 01 and answered", lines.printer_asked())
    got = prefix.reg_value(PORTS_KEY, "COM8:")
    check("Ports value COM8: is 9600,n,8,1", Result(got == "9600,n,8,1", f"COM8: = {got!r}"))
    got = prefix.reg_value(PRINTERS_KEY + "\\RV-640", "Port")
    check("the printer's port record names COM8:", Result(got == "COM8:", f"Port = {got!r}"))
    finish_and_exit(inst, "serial-finished.png")
