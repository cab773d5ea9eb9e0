#!/usr/bin/env python3
"""Checks the icon files of vantrel-cli from outside.

For pictures of random sizes and colours, written here as plain 24-bit bitmap files, the icon
that `vantrel-cli icon` writes is compared pixel for pixel with a second implementation of the
rendering (cover the 32 x 32 square with proportions kept, nearest-neighbour stretch, nearest
palette colour). The icon file itself is read by a reader of our own and, when Pillow is there,
by Pillow too.
"""
import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (128, 128, 128),
    (192, 192, 192), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def write_bmp24(path, width, height, pixels):
    """pixels[y][x] = (r, g, b), rows from the top."""
    stride = (width * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 0, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + data)


def read_icon_bmp(path):
    """Our own reader of the icon file; checks its exact layout. Returns rows of (r, g, b)."""
    with open(path, "rb") as f:
        data = f.read()
    assert len(data) == 630, f"icon file has {len(data)} bytes, not 630"
    magic, size, reserved, offset = struct.unpack_from("<2sIII", data, 0)
    assert magic == b"BM" and size == 630 and reserved == 0 and offset == 118, (magic, size, reserved, offset)
    (hsize, width, height, planes, bits, compression, image_size, _, _, used, _) = struct.unpack_from(
        "<IiiHHIIiiII", data, 14)
    assert (hsize, width, height, planes, bits, compression) == (40, 32, 32, 1, 4, 0)
    assert image_size in (0, 512) and used in (0, 16)
    table = [tuple(data[54 + 4 * k + 2 - c] for c in range(3)) for k in range(16)]
    assert table == PALETTE, "colour table is not the icon palette in its order"
    rows = [None] * 32
    for stored in range(32):
        y = 31 - stored  # bottom-up
        row = []
        for byte in data[118 + 16 * stored:118 + 16 * stored + 16]:
            row += [PALETTE[byte >> 4], PALETTE[byte & 15]]
        rows[y] = row
    return rows


def nearest(colour):
    best, best_distance = 0, None
    for index, entry in enumerate(PALETTE):
        distance = sum((a - b) ** 2 for a, b in zip(colour, entry))
        if best_distance is None or distance < best_distance:
            best, best_distance = index, distance
    return PALETTE[best]


def trunc_div(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def expected_icon(width, height, pixels):
    w, h = 32, height * 32 // width
    if h < 32:
        h, w = 32, width * 32 // height
    x0, y0 = trunc_div(32 - w, 2), trunc_div(32 - h, 2)
    return [[nearest(pixels[(y - y0) * height // h][(x - x0) * width // w]) for x in range(32)] for y in range(32)]


def random_picture(rng, width, height):
    def colour():
        if rng.random() < 0.5:
            return PALETTE[rng.randrange(16)]
        return tuple(rng.randrange(256) for _ in range(3))
    return [[colour() for _ in range(width)] for _ in range(height)]


def run_icon(cli, picture_path, icon_path):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run([cli, "icon", picture_path, "-o", icon_path], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert result.returncode == 0, result.stderr


def check_with_pillow(icon_path, rows):
    try:
        from PIL import Image
    except ImportError:
        return False
    with Image.open(icon_path) as image:
        assert image.size == (32, 32) and image.mode == "P", (image.size, image.mode)
        rgb = image.convert("RGB")
        for y in range(32):
            for x in range(32):
                assert rgb.getpixel((x, y)) == rows[y][x], ("Pillow disagrees", x, y)
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--rounds", type=int, default=40)
    args = parser.parse_args()
    rng = random.Random(20261207)
    sizes = [(32, 32), (64, 64), (64, 32), (100, 33), (33, 32), (32, 33), (1, 1), (3, 200), (150, 7)]
    sizes += [(rng.randint(1, 120), rng.randint(1, 120)) for _ in range(args.rounds)]
    pillow = False
    with tempfile.TemporaryDirectory() as folder:
        picture_path = os.path.join(folder, "picture.bmp")
        icon_path = os.path.join(folder, "theicon.bmp")
        for width, height in sizes:
            pixels = random_picture(rng, width, height)
            write_bmp24(picture_path, width, height, pixels)
            run_icon(args.cli, picture_path, icon_path)
            rows = read_icon_bmp(icon_path)
            expected = expected_icon(width, height, pixels)
            for y in range(32):
                for x in range(32):
                    assert rows[y][x] == expected[y][x], (width, height, x, y, rows[y][x], expected[y][x])
            pillow = check_with_pillow(icon_path, rows) or pillow
        # A picture that cannot be loaded is an error, and the icon file stays as it was.
        with open(icon_path, "rb") as f:
            before = f.read()
        with open(os.path.join(folder, "broken.gif"), "wb") as f:
            f.write(b"GIF89a broken")
        for bad in ("missing.png", "broken.gif", "picture.tif"):
            result = subprocess.run([args.cli, "icon", os.path.join(folder, bad), "-o", icon_path],
                                    env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            assert result.returncode != 0 and result.stderr.strip(), (bad, result.returncode, result.stderr)
            with open(icon_path, "rb") as f:
                assert f.read() == before, f"{bad} changed the icon file"
    print(f"{len(sizes)} pictures: icons agree with the second rendering"
          + (", and Pillow reads the same pixels" if pillow else " (Pillow not installed)"))


if __name__ == "__main__":
    try:
        main()
    except AssertionError as error:
        print(f"FAILED: {error}", file=sys.stderr)
        sys.exit(1)
