#!/usr/bin/env python3
"""Seed archives for fuzz/archive_fuzz.cpp.

    make_archive_corpus.py OUT_DIR [DriverData.Drv]

Without a package: writes small crafted ZIP archives to OUT_DIR (what
fuzz/corpus/archive/ holds). With the sample package: writes the package
and a few of its entries repacked instead (scripts/fuzz.sh does that at run
time). The output is the same on every run.
"""
import os
import struct
import sys
import zipfile
import zlib

DATE = (2020, 1, 1, 0, 0, 0)


def deflate(data):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()


def build(entries, comment=b"", zip64_locator=False, zip64=False, offsets=None):
    """A ZIP archive from (name, data, method, flags, crc, size) tuples; crc
    and size None mean the true ones, so damaged archives can be made.
    zip64: every size and offset in ZIP64 fields and records, as archivers
    that always write them do; offsets: the central directory's local
    header offsets instead of the true ones."""
    body = b""
    central = b""
    for index, (name, data, method, flags, crc, size) in enumerate(entries):
        name = name.encode("latin-1") if isinstance(name, str) else name
        stored = deflate(data) if method == 8 else data
        crc = zlib.crc32(data) & 0xFFFFFFFF if crc is None else crc
        size = len(data) if size is None else size
        offset = len(body) if offsets is None else offsets[index]
        local_extra = central_extra = b""
        sizes = (len(stored), size)
        if zip64:
            local_extra = struct.pack("<HHQQ", 1, 16, size, len(stored))
            central_extra = struct.pack("<HHQQQ", 1, 24, size, len(stored), offset)
            sizes = (0xFFFFFFFF, 0xFFFFFFFF)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45 if zip64 else 20, flags, method, 0, 0x5021, crc,
                            sizes[0], sizes[1], len(name), len(local_extra)) + name + local_extra + stored
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45 if zip64 else 20, 45 if zip64 else 20,
                               flags, method, 0, 0x5021, crc, sizes[0], sizes[1], len(name), len(central_extra),
                               0, 0, 0, 0, 0xFFFFFFFF if zip64 else offset) + name + central_extra
    locator = b""
    if zip64_locator:
        locator = struct.pack("<IIQI", 0x07064B50, 0, 0, 1)
    counts = (len(entries), len(central), len(body))
    if zip64:
        locator = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, len(entries), len(entries),
                              len(central), len(body))
        locator += struct.pack("<IIQI", 0x07064B50, 0, len(body) + len(central), 1)
        counts = (0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, counts[0], counts[0], counts[1], counts[2],
                      len(comment)) + comment
    return body + central + locator + end


def entry(name, data=b"", method=8, flags=0, crc=None, size=None):
    return (name, data, method, flags, crc, size)


def crafted():
    text = b"PrintName1=Receipt 80\r\n" * 4
    good = [entry("DriverName.cfg", b"[Model0]\r\n" + text), entry("Ticket/", method=0),
            entry("Ticket/x86/a.dll", b"MZ" + bytes(range(64)), method=0)]
    archives = {
        "stored.zip": build([entry("readme.txt", b"stored entry\n", method=0)]),
        "deflated.zip": build([entry("data.bin", bytes(range(256)) * 4)]),
        "folders.zip": build(good),
        "empty.zip": build([]),
        "empty-file.zip": build([entry("zero", b"", method=0), entry("zero-deflated", b"")]),
        "backslashes.zip": build([entry("Barcode\\Common\\x.dat", b"x"), entry("Barcode\\", method=0)]),
        "comment.zip": build([entry("a.txt", b"a")], comment=b"PK\x05\x06 a fake end record in the comment"),
        "duplicate-names.zip": build([entry("same.txt", b"first"), entry("SAME.txt", b"second"),
                                      entry("same.txt", b"third", method=0)]),
        "file-then-folder.zip": build([entry("a", b"file"), entry("a/b", b"below a file")]),
        "folder-then-file.zip": build([entry("d/", method=0), entry("d", b"over a folder")]),
        "bad-crc.zip": build([entry("good.txt", b"good"), entry("bad.txt", b"bad data", crc=0x12345678)]),
        "bad-crc-stored.zip": build([entry("bad.txt", b"bad data", method=0, crc=1)]),
        "wrong-size.zip": build([entry("short.txt", b"longer than recorded", size=5)]),
        "encrypted.zip": build([entry("secret.txt", b"x", flags=1)]),
        "method-12.zip": build([entry("bzip.txt", b"x", method=12)]),
        "zip64-locator.zip": build([entry("a.txt", b"a")], zip64_locator=True),
        "zip64.zip": build(good, zip64=True),
        "other-format-7z.zip": b"7z\xbc\xaf\x27\x1c\x00\x04" + bytes(24),
        "zip64-size-beyond-ratio.zip": build([entry("liar.txt", bytes(100), size=1 << 40)], zip64=True),
        "zip64-shared-record.zip": build([entry("bomb.txt", bytes(4096)), entry("bom2.txt", bytes(4096))],
                                         zip64=True, offsets=[0, 0]),
        "zip64-offset-outside.zip": build([entry("a.txt", b"a")], zip64=True, offsets=[1 << 62]),
    }
    for index, name in enumerate(["../evil.txt", "/absolute.txt", "C:evil.txt", "a/../../evil.txt",
                                  "..\\evil.txt", "a/ . /evil.txt", "tab\there.txt", "ok/..", "./"]):
        archives["traversal-%d.zip" % index] = build([entry("fine.txt", b"fine"), entry(name, b"evil")])
    for index, name in enumerate(["COM\xb9.txt", "Ticket/LPT\xb2", "com\xc2\xb3.dll", "DriverData.Drv"]):
        archives["device-or-self-%d.zip" % index] = build([entry("fine.txt", b"fine"),
                                                          entry(name.encode("latin-1"), b"evil")])
    # Entries sharing one local record, and one inside another's data.
    shared = build([entry("bomb.txt", bytes(4096))])
    record_end = shared.index(b"PK\x01\x02")
    central = shared[record_end:shared.index(b"PK\x05\x06")]
    copies = central + central.replace(b"bomb.txt", b"bom2.txt")
    archives["shared-record.zip"] = shared[:record_end] + copies + struct.pack(
        "<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, len(copies), record_end, 0)
    outer = build([entry("outer.bin", shared[:record_end], method=0)])
    outer_end = outer.index(b"PK\x01\x02")
    inner = central[:42] + struct.pack("<I", 30 + len("outer.bin")) + central[46:]
    both = outer[outer_end:outer.index(b"PK\x05\x06")] + inner
    archives["record-inside-data.zip"] = outer[:outer_end] + both + struct.pack(
        "<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, len(both), outer_end, 0)
    archives["size-beyond-ratio.zip"] = build([entry("liar.txt", bytes(100), size=5000000)])
    whole = build(good)
    archives["truncated-data.zip"] = whole[:40] + whole[len(whole) // 2:]
    archives["truncated-end.zip"] = whole[:-10]
    archives["truncated-central.zip"] = whole[:len(whole) - 30]
    # A deflated stream cut short while the headers still claim it whole.
    damaged = bytearray(build([entry("cut.bin", bytes(range(200)) * 8)]))
    damaged[40:48] = b"\xff" * 8
    archives["damaged-stream.zip"] = bytes(damaged)
    return archives


def from_package(path):
    with open(path, "rb") as f:
        data = f.read()
    archives = {"sample-package.zip": data}
    # A few of its entries repacked: the package's names at a size the
    # fuzzer mutates quickly.
    with zipfile.ZipFile(path) as package:
        names = [info for info in package.infolist() if info.filename.lower().endswith((".cfg", "/", ".ini"))]
        picked = [entry(info.filename, package.read(info), method=0 if info.is_dir() else 8) for info in names[:6]]
    archives["sample-excerpt.zip"] = build(picked)
    return archives


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    archives = crafted() if len(sys.argv) == 2 else from_package(sys.argv[2])
    for name, data in sorted(archives.items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    print("%s: %d archives" % (out, len(archives)))


if __name__ == "__main__":
    main()
