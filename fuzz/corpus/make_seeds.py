#!/usr/bin/python3
"""Writes the seeds that do not come from the program itself: tables of other
programs written by python3-dbf, archive-memory rings and old-structure
parameter files laid out byte by byte. Run from fuzz/corpus:
    /usr/bin/python3 make_seeds.py
(fuzz/README.md says how the program's own seeds were made)."""
import os
import struct
import tempfile
import shutil

import dbf

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    os.makedirs(os.path.join(HERE, target), exist_ok=True)
    with open(os.path.join(HERE, target, name), "wb") as f:
        f.write(data)


# Tables of other programs: every dBASE level python3-dbf writes, with the
# field types the reader knows.
work = tempfile.mkdtemp()
try:
    tables = {
        "py-db3.dbf": ("NAME C(10); N N(8,2); D D; L L; NOTE M", "db3", "cp1250",
                       [("první", 12.5, dbf.Date(2004, 8, 31), True, "poznámka"), ("b", None, None, None, "")]),
        "py-fp.dbf": ("NAME C(10); F F(10,3); NOTE M", "fp", "cp852", [("žluť", -1.25, "řádek\nkůň")]),
        "py-clp.dbf": ("NAME C(12); N N(10,0); D D", "clp", "cp437", [("x", 7, dbf.Date(1999, 12, 31))]),
        "py-vfp.dbf": ("DATETIME T NULL; VSTUP1 B NULL; I I NULL; Y Y NULL; NAME C(6) NULL",
                       "vfp", "cp1252",
                       [(dbf.DateTime(2004, 8, 31, 12, 30, 0), 1.5, 3, 2.25, "été"),
                        (None, None, None, None, None)]),
    }
    for name, (fields, kind, cp, rows) in tables.items():
        t = dbf.Table(os.path.join(work, name), fields, dbf_type=kind, codepage=cp)
        t.open(dbf.READ_WRITE)
        for r in rows:
            t.append(r)
        t.close()
        with open(os.path.join(work, name), "rb") as f:
            put("fuzz_dbf", name, f.read())
finally:
    shutil.rmtree(work)


# Archive memory: 12 control bytes (input types, scaling, ring size, read and
# write pointers, status, read mode) and then the ring.
def header(count, unit, fmt, y, mo, d, h, mi, s):
    time = (h << 11) | (mi << 5) | (s // 2)
    date = ((y - 1980) << 9) | (mo << 5) | d
    return bytes([0xFB, (count // 10) << 4 | count % 10, unit, fmt]) + struct.pack("<HH", time, date)


def control(types, ring_shift, start, end, status, mode):
    return bytes([types[0], types[1], 7, 100, 20, ring_shift]) + struct.pack("<HH", start, end) + bytes([status, mode])


ring = header(10, 3, 0x07, 2004, 8, 31, 12, 30, 0)
for i in range(40):
    ring += struct.pack(">HH", 1000 * i % 64256, 64255 - 500 * i)
ring += header(2, 0, 0x01, 2004, 9, 1, 0, 0, 0) + bytes(range(0, 120, 3))
put("fuzz_archive", "two-inputs", control((1, 2), 1, 0, len(ring), 0, 0) + ring)
ring1 = header(5, 4, 0x02, 2010, 1, 1, 0, 0, 0) + bytes(range(200)) + bytes([0xFE, 0xFF])
put("fuzz_archive", "one-input-wrap", control((3, 4), 0, 200, 40, 1, 1) + ring1[:256])

# Old-structure parameter files: logger type, serial number, parameter block,
# input information and the check sum of the first 184 bytes.
for name, kind, serial, flags in (("old-both", 4, 12345678, 3), ("old-one", 2, 1, 2)):
    image = bytearray(188)
    struct.pack_into("<HxxI", image, 0, kind, serial)
    image[8] = flags
    image[8 + 16:8 + 28] = "Teplota".encode("cp1250").ljust(12, b"\0")
    image[136] = 1
    image[137] = 2
    struct.pack_into("<H", image, 184, sum(image[:184]) & 0xFFFF)
    put("fuzz_legacy_par", name, bytes(image))
