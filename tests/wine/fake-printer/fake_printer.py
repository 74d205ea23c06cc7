#!/usr/bin/env python3
"""A serial printer on the far end of a pseudo-terminal, for the Wine runs.

Answers the real-time status request DLE EOT n (10 04 n) and the label
printers' status query ESC ! ? (1B 21 3F) with one status byte; anything else
is read and ignored. Every request and answer is logged, one line each.

Usage: fake_printer.py DEVICE [--status HEX] [--log FILE]
"""

import argparse
import os
import select
import sys
import time

REQUESTS = [bytes([0x10, 0x04, n]) for n in range(1, 5)] + [bytes([0x1B, 0x21, 0x3F])]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("device")
    parser.add_argument("--status", default="12", help="the status byte, hex (default 12: on line)")
    parser.add_argument("--log", default="-")
    args = parser.parse_args()
    status = bytes.fromhex(args.status)
    log = sys.stdout if args.log == "-" else open(args.log, "a", buffering=1)

    fd = os.open(args.device, os.O_RDWR | os.O_NOCTTY)
    log.write(f"listening on {args.device}\n")
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
        pending += data
        # A request may come split over reads; keep the tail that could
        # still begin one.
        while True:
            found = [(pending.find(r), r) for r in REQUESTS if r in pending]
            if not found:
                pending = pending[-2:]
                break
            at, request = min(found)
            os.write(fd, status)
            log.write(f"request {request.hex(' ')} -> {status.hex(' ')}\n")
            pending = pending[at + len(request):]


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
