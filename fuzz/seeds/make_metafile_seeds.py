#!/usr/bin/env python3
"""Writes the seed metafiles of WmfFuzz and EmfFuzz into fuzz/seeds/wmf and fuzz/seeds/emf.

The tests make their metafiles in code (tests/icon/PictureFiles.h: filled rectangles only); the
fuzzers start from more kinds of records, so that the mutations reach pens, paths, text, embedded
bitmaps and EMF+ records of the two libraries. Run it again after changing a seed here. The
other files in those folders are inputs the fuzzers found, kept so that every run replays them.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u16(*values):
    return b"".join(struct.pack("<H", v & 0xFFFF) for v in values)


def u32(*values):
    return b"".join(struct.pack("<I", v & 0xFFFFFFFF) for v in values)


def f32(*values):
    return b"".join(struct.pack("<f", v) for v in values)


def dib(width, height):
    """A bottom-up 24-bit device-independent bitmap: information header and pixel rows."""
    header = u32(40, width, height) + u16(1, 24) + u32(0, 0, 0, 0, 0, 0)
    stride = (width * 3 + 3) // 4 * 4
    rows = b""
    for y in range(height):
        row = b"".join(bytes((40 * x % 256, 80 * y % 256, 200)) for x in range(width))
        rows += row + b"\0" * (stride - len(row))
    return header + rows


# --------------------------------------------------------------------------------------------
# Windows metafiles: an optional placeable header, the 18-byte header, then records of
# size in 16-bit words (32 bits), function (16 bits) and parameters.


class Wmf:
    def __init__(self):
        self.records = b""
        self.largest = 3

    def record(self, function, params=b""):
        if len(params) % 2:
            params += b"\0"
        words = 3 + len(params) // 2
        self.largest = max(self.largest, words)
        self.records += u32(words) + u16(function) + params
        return self

    def file(self, width, height, placeable=True, objects=4):
        self.record(0x0000)  # EOF
        words = (18 + len(self.records)) // 2
        body = u16(1, 9, 0x0300) + u32(words) + u16(objects) + u32(self.largest) + u16(0)
        body += self.records
        if not placeable:
            return body
        head = u32(0x9AC6CDD7) + u16(0, 0, 0, width, height, 96) + u32(0)
        checksum = 0
        for at in range(0, 20, 2):
            checksum ^= struct.unpack_from("<H", head, at)[0]
        return head + u16(checksum) + body


def wmf_frame(meta, width, height):
    meta.record(0x020B, u16(0, 0))  # SETWINDOWORG y, x
    meta.record(0x020C, u16(height, width))  # SETWINDOWEXT y, x
    return meta


def wmf_rectangles():
    meta = wmf_frame(Wmf(), 64, 32)
    meta.record(0x02FA, u16(5, 0, 0, 0, 0))  # CREATEPENINDIRECT: null pen
    meta.record(0x012D, u16(0))  # SELECTOBJECT
    for left, top, right, bottom, colour in ((0, 0, 32, 32, 0x0000FF), (32, 16, 64, 32, 0xFF0000)):
        meta.record(0x02FC, u16(0) + u32(colour) + u16(0))  # CREATEBRUSHINDIRECT solid
        meta.record(0x012D, u16(1))
        meta.record(0x041B, u16(bottom, right, top, left))  # RECTANGLE
        meta.record(0x01F0, u16(1))  # DELETEOBJECT
    return meta.file(64, 32)


def wmf_shapes(placeable=True):
    meta = wmf_frame(Wmf(), 100, 100)
    meta.record(0x0103, u16(8))  # SETMAPMODE anisotropic
    meta.record(0x0102, u16(1))  # SETBKMODE transparent
    meta.record(0x0106, u16(2))  # SETPOLYFILLMODE winding
    meta.record(0x02FA, u16(0, 3, 0) + u32(0x00336699))  # CREATEPENINDIRECT solid, width 3
    meta.record(0x012D, u16(0))
    meta.record(0x02FC, u16(2) + u32(0x0000CC00) + u16(3))  # CREATEBRUSHINDIRECT hatched
    meta.record(0x012D, u16(1))
    meta.record(0x001E)  # SAVEDC
    meta.record(0x0324, u16(3, 10, 10, 90, 10, 50, 80))  # POLYGON
    meta.record(0x0325, u16(4, 0, 0, 20, 90, 40, 0, 60, 90))  # POLYLINE
    meta.record(0x0418, u16(60, 60, 20, 20))  # ELLIPSE bottom, right, top, left
    meta.record(0x061C, u16(10, 10, 95, 95, 50, 50))  # ROUNDRECT
    meta.record(0x0817, u16(0, 50, 50, 100, 100, 100, 0, 0))  # ARC
    meta.record(0x081A, u16(50, 0, 0, 50, 100, 100, 0, 0))  # PIE
    meta.record(0x0214, u16(5, 5))  # MOVETO y, x
    meta.record(0x0213, u16(95, 95))  # LINETO
    meta.record(0x0538, u16(2, 3, 3, 0, 0, 30, 0, 0, 30, 60, 60, 90, 60, 60, 90))  # POLYPOLYGON
    meta.record(0x0416, u16(90, 90, 10, 10))  # INTERSECTCLIPRECT
    meta.record(0x0127, u16(0xFFFF))  # RESTOREDC -1
    meta.record(0x01F0, u16(1))
    meta.record(0x01F0, u16(0))
    return meta.file(100, 100, placeable)


def wmf_text():
    meta = wmf_frame(Wmf(), 200, 60)
    face = b"Arial".ljust(32, b"\0")
    logfont = u16(24, 0, 0, 0, 700) + bytes((1, 0, 0, 0, 0, 0, 0, 0)) + face
    meta.record(0x02FB, logfont)  # CREATEFONTINDIRECT
    meta.record(0x012D, u16(0))
    meta.record(0x0209, u32(0x00202080))  # SETTEXTCOLOR
    meta.record(0x012E, u16(24))  # SETTEXTALIGN baseline
    text = b"Umfrage <\xe4\xf6\xfc> & Co"
    meta.record(0x0521, u16(len(text)) + text + (b"\0" if len(text) % 2 else b"") + u16(30, 10))  # TEXTOUT
    meta.record(0x0A32, u16(50, 10, len(text), 0) + text)  # EXTTEXTOUT y, x, count, options
    return meta.file(200, 60)


def wmf_bitmap():
    meta = wmf_frame(Wmf(), 40, 40)
    picture = dib(4, 3)
    # STRETCHDIB: raster operation, colour usage, source and destination extents, the DIB.
    meta.record(0x0F43, u32(0x00CC0020) + u16(0, 3, 4, 0, 0, 30, 40, 0, 0) + picture)
    # DIBSTRETCHBLT: raster operation, source and destination extents, the DIB.
    meta.record(0x0B41, u32(0x00CC0020) + u16(3, 4, 0, 0, 10, 10, 20, 20) + picture)
    return meta.file(40, 40)


# --------------------------------------------------------------------------------------------
# Enhanced metafiles: the 88-byte header record, then records of type, size and parameters.


class Emf:
    def __init__(self):
        self.records = b""
        self.count = 0

    def record(self, kind, params=b""):
        params += b"\0" * (-len(params) % 4)
        self.records += u32(kind, 8 + len(params)) + params
        self.count += 1
        return self

    def file(self, width, height, handles=4):
        self.record(14, u32(0, 16, 20))  # EOF
        size = 88 + len(self.records)
        head = u32(1, 88)
        head += u32(0, 0, width - 1, height - 1)  # bounds in device pixels
        head += u32(0, 0, width * 2540 // 96, height * 2540 // 96)  # frame, 0.01 mm
        head += u32(0x464D4520, 0x10000, size, self.count + 1) + u16(handles, 0)
        head += u32(0, 0, 0)
        head += u32(1920, 1080, 1920 * 254 // 960, 1080 * 254 // 960)
        return head + self.records


def emf_rectangles():
    meta = Emf()
    meta.record(37, u32(0x80000008))  # SELECTOBJECT stock null pen
    for handle, (rect, colour) in enumerate((((0, 0, 32, 32), 0x0000FF), ((32, 16, 64, 32), 0xFF0000)), 1):
        meta.record(39, u32(handle, 0, colour, 0))  # CREATEBRUSHINDIRECT solid
        meta.record(37, u32(handle))
        meta.record(43, u32(*rect))  # RECTANGLE
        meta.record(40, u32(handle))  # DELETEOBJECT
    return meta.file(64, 32)


def emf_shapes():
    meta = Emf()
    meta.record(17, u32(8))  # SETMAPMODE anisotropic
    meta.record(9, u32(100, 100))  # SETWINDOWEXTEX
    meta.record(11, u32(100, 100))  # SETVIEWPORTEXTEX
    meta.record(38, u32(1, 0, 2, 0, 0x00993366))  # CREATEPEN solid, width 2
    meta.record(37, u32(1))
    meta.record(39, u32(2, 2, 0x0000AA00, 5))  # CREATEBRUSHINDIRECT hatched
    meta.record(37, u32(2))
    meta.record(33)  # SAVEDC
    meta.record(35, f32(1.0, 0.2, -0.2, 1.0, 5.0, 5.0))  # SETWORLDTRANSFORM
    meta.record(86, u32(0, 0, 90, 80, 3) + u16(10, 10, 90, 10, 50, 80))  # POLYGON16
    meta.record(87, u32(0, 0, 60, 90, 4) + u16(0, 0, 20, 90, 40, 0, 60, 90))  # POLYLINE16
    meta.record(85, u32(0, 0, 90, 90, 4) + u16(5, 5, 30, 90, 60, 0, 90, 90))  # POLYBEZIER16
    meta.record(42, u32(20, 20, 60, 60))  # ELLIPSE
    meta.record(44, u32(10, 10, 95, 95, 20, 20))  # ROUNDRECT
    meta.record(47, u32(0, 0, 100, 100, 100, 50, 50, 0))  # PIE
    meta.record(59)  # BEGINPATH
    meta.record(27, u32(10, 90))  # MOVETOEX
    meta.record(54, u32(50, 10))  # LINETO
    meta.record(54, u32(90, 90))
    meta.record(61)  # CLOSEFIGURE
    meta.record(60)  # ENDPATH
    meta.record(63, u32(0, 0, 100, 100))  # STROKEANDFILLPATH
    meta.record(30, u32(5, 5, 95, 95))  # INTERSECTCLIPRECT
    meta.record(34, u32(0xFFFFFFFF))  # RESTOREDC -1
    meta.record(40, u32(2))
    meta.record(40, u32(1))
    return meta.file(100, 100)


def emf_text():
    meta = Emf()
    face = "Arial".encode("utf-16-le").ljust(64, b"\0")
    logfont = u32(24, 0, 0, 0, 700) + bytes((1, 0, 0, 0, 0, 0, 0, 0)) + face
    meta.record(82, u32(1) + logfont)  # EXTCREATEFONTINDIRECTW
    meta.record(37, u32(1))
    meta.record(24, u32(0x00802020))  # SETTEXTCOLOR
    meta.record(22, u32(24))  # SETTEXTALIGN baseline
    text = "Umfrage äöü".encode("utf-16-le")
    chars = len(text) // 2
    # EXTTEXTOUTW: bounds, graphics mode, scales, then the EmrText and its string.
    emr_text_at = 8 + 16 + 4 + 8
    string_at = emr_text_at + 40
    params = u32(0, 0, 200, 60, 1) + f32(1.0, 1.0)
    params += u32(10, 40, chars, string_at, 0, 0, 0, 200, 60, 0) + text
    meta.record(84, params)
    return meta.file(200, 60)


def emf_bitmap():
    meta = Emf()
    picture = dib(4, 3)
    header, bits = picture[:40], picture[40:]
    fixed = 8 + 72  # record head and the fixed fields of STRETCHDIBITS
    params = u32(0, 0, 40, 30)  # bounds
    params += u32(0, 0, 0, 0, 4, 3)  # destination x, y, source x, y, width, height
    params += u32(fixed, len(header), fixed + len(header), len(bits))  # where the DIB lies
    params += u32(0, 0x00CC0020, 40, 30)  # colour usage, raster operation, destination size
    meta.record(81, params + header + bits)  # STRETCHDIBITS
    return meta.file(40, 30)


def emf_plus():
    meta = Emf()

    def plus(kind, flags, data):
        return u16(kind, flags) + u32(12 + len(data), len(data)) + data

    records = plus(0x4001, 1, u32(0xDBC01002, 1, 96, 96))  # EmfPlusHeader, dual
    records += plus(0x400A, 0x8000, u32(0xFF3366CC, 2) + f32(0, 0, 20, 20, 30, 10, 30, 20))  # FillRects
    records += plus(0x400A, 0xC000, u32(0xFFCC3366, 1) + u16(5, 5, 10, 10))  # FillRects, 16-bit
    records += plus(0x400E, 0x8000, u32(0xFF00AA00) + f32(40, 0, 20, 30))  # FillEllipse
    records += plus(0x4002, 0, b"")  # EndOfFile
    meta.record(70, u32(4 + len(records)) + b"EMF+" + records)  # GDICOMMENT
    meta.record(39, u32(1, 0, 0x0000FF, 0))  # the GDI fallback
    meta.record(37, u32(1))
    meta.record(43, u32(0, 0, 60, 30))
    return meta.file(64, 32)


def write(folder, name, data):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    with open(os.path.join(HERE, folder, name), "wb") as out:
        out.write(data)


def main():
    write("wmf", "rectangles.wmf", wmf_rectangles())
    write("wmf", "shapes.wmf", wmf_shapes())
    write("wmf", "shapes-not-placeable.wmf", wmf_shapes(placeable=False))
    write("wmf", "text.wmf", wmf_text())
    write("wmf", "bitmap.wmf", wmf_bitmap())
    write("emf", "rectangles.emf", emf_rectangles())
    write("emf", "shapes.emf", emf_shapes())
    write("emf", "text.emf", emf_text())
    write("emf", "bitmap.emf", emf_bitmap())
    write("emf", "emfplus.emf", emf_plus())


if __name__ == "__main__":
    main()
