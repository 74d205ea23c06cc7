#!/usr/bin/env python3
"""A receipt printer for the Wine runs, on the far end of a pseudo-terminal or on a loopback TCP port.

Answers the real-time status requests DLE EOT n (10 04 n, n = 1..4) with the
byte its state gives for n, and the label printers' status query ESC ! ?
(1B 21 3F) with one status byte; anything else is read and ignored. Every
request and answer is logged, one line each.

The state is a name (ready, paper-end, cover-open, off-line, near-end, silent)
taken from --state, or read afresh from --state-file at each request so that
a test can change it while the printer runs. A silent printer reads and never
answers.

Usage: fake_printer.py DEVICE [--status HEX] [--state NAME | --state-file FILE] [--log FILE]
       fake_printer.py --tcp PORTFILE [--lifetime SECONDS] [--state ...] [--log FILE]
With --tcp it listens on 127.0.0.1 only, on a port the system picks, writes
that port's number to PORTFILE, and stops by itself after --lifetime seconds.
"""

import argparse
import os
import select
import socket
import sys
import time

REQUESTS = [bytes([0x10, 0x04, n]) for n in range(1, 5)] + [bytes([0x1B, 0x21, 0x3F])]
LABEL_QUERY = REQUESTS[-1]

# The answer to DLE EOT 1, 2, 3 and 4 in each state. Bits 1 and 4 are always
# set and bits 0 and 7 never, which is how a status byte is told apart.
# 1: 0x08 off line. 2: 0x04 cover open, 0x20 paper end stop, 0x40 error.
# 3: 0x08 auto-cutter, 0x20 unrecoverable. 4: 0x0C near end, 0x60 paper end.
STATES = {
    "ready": [0x12, 0x12, 0x12, 0x12],
    "paper-end": [0x1A, 0x32, 0x12, 0x72],
    "cover-open": [0x1A, 0x16, 0x12, 0x12],
    "off-line": [0x1A, 0x12, 0x12, 0x12],
    "near-end": [0x12, 0x12, 0x12, 0x1E],
    "silent": None,
}


class Printer:
    def __init__(self, args, log):
        self.args = args
        self.log = log
        self.label_status = bytes.fromhex(args.status)

    def state(self):
        name = self.args.state
        if self.args.state_file:
            try:
                with open(self.args.state_file) as f:
                    name = f.read().strip() or name
            except OSError:
                pass
        return name if name in STATES else "ready"

    def answer(self, request):
        """The bytes that answer REQUEST (b"" when the printer stays silent) and the state they come from."""
        name = self.state()
        if STATES[name] is None:
            return b"", name
        if request == LABEL_QUERY or not self.args.state and not self.args.state_file:
            return self.label_status, name  # --status alone: the same byte to every request
        return bytes([STATES[name][request[2] - 1]]), name

    def feed(self, pending, data, send):
        """Answers every request complete in PENDING + DATA; returns the tail that could still begin one."""
        pending += data
        while True:
            found = [(pending.find(r), r) for r in REQUESTS if r in pending]
            if not found:
                return pending[-2:]
            at, request = min(found)
            reply, state = self.answer(request)
            if reply:
                send(reply)
            told = f" ({state})" if self.args.state or self.args.state_file else ""
            self.log.write(f"request {request.hex(' ')} -> {reply.hex(' ') if reply else 'nothing'}{told}\n")
            pending = pending[at + len(request):]


def serve_device(printer, device):
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
    printer.log.write(f"listening on {device}\n")
    pending = b""
    while True:
        ready, _, _ = select.select([fd], [], [], 1.0)
        if not ready:
            continue
        try:
            data = os.read(fd, 256)
        except OSError:
            time.sleep(0.05)  # the other end is not open yet
            continue
        if not data:
            time.sleep(0.05)
            continue
        pending = printer.feed(pending, data, lambda b: os.write(fd, b))


def serve_tcp(printer, port_file, lifetime):
    """One connection at a time on 127.0.0.1, as a raw printer port takes them; ends after LIFETIME."""
    end = time.monotonic() + lifetime
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as server:
        server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        server.bind(("127.0.0.1", 0))
        server.listen(4)
        port = server.getsockname()[1]
        printer.log.write(f"listening on 127.0.0.1 port {port}\n")
        with open(port_file + ".tmp", "w") as f:
            f.write(f"{port}\n")
        os.replace(port_file + ".tmp", port_file)
        while time.monotonic() < end:
            ready, _, _ = select.select([server], [], [], 0.5)
            if not ready:
                continue
            conn, peer = server.accept()
            printer.log.write(f"connection from {peer[0]}\n")
            with conn:
                pending = b""
                while time.monotonic() < end:
                    ready, _, _ = select.select([conn], [], [], 0.5)
                    if not ready:
                        continue
                    data = conn.recv(256)
                    if not data:
                        break
                    pending = printer.feed(pending, data, conn.sendall)
        printer.log.write("lifetime over\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("device", nargs="?")
    parser.add_argument("--status", default="12", help="the label query's answer, hex (default 12: on line)")
    parser.add_argument("--state", choices=sorted(STATES), help="answer the status requests in this state")
    parser.add_argument("--state-file", help="a file holding the state's name, read at each request")
    parser.add_argument("--tcp", metavar="PORTFILE", help="listen on 127.0.0.1 instead of a device")
    parser.add_argument("--lifetime", type=float, default=300, help="with --tcp: stop after this many seconds")
    parser.add_argument("--log", default="-")
    args = parser.parse_args()
    if bool(args.tcp) == bool(args.device):
        parser.error("give either DEVICE or --tcp PORTFILE")
    log = sys.stdout if args.log == "-" else open(args.log, "a", buffering=1)
    printer = Printer(args, log)
    if args.tcp:
        serve_tcp(printer, args.tcp, args.lifetime)
    else:
        serve_device(printer, args.device)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
