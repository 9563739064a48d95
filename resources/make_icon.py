#!/usr/bin/env python3
"""Draws the program icon and writes LathmereTest.ico: 48, 32 and 16 pixels at 8 and 32 bits
per pixel, and a 256-pixel PNG image. Pure Python, deterministic: run it again to get the same file.

The artwork: a film frame (dark blue rounded square with sprocket holes) holding a white "L"
and a red recording dot."""
import struct
import zlib

BLUE = (28, 58, 112)
EDGE = (14, 30, 60)
WHITE = (245, 245, 245)
RED = (214, 40, 40)
HOLE = (200, 210, 230)


def pixel(x, y):
    """Colour and alpha of the point (x, y) in the unit square (y down)."""
    r = 0.16  # corner radius of the frame
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r or not (0 <= x <= 1 and 0 <= y <= 1):
        return (0, 0, 0), 0
    if x < 0.04 or x > 0.96 or y < 0.04 or y > 0.96:
        return EDGE, 255
    # sprocket holes along the top and bottom edges
    if (0.08 < y < 0.15 or 0.85 < y < 0.92) and (int(x * 8) % 2 == 1) and 0.1 < x < 0.9:
        return HOLE, 255
    # the "L"
    if 0.24 < x < 0.38 and 0.22 < y < 0.78:
        return WHITE, 255
    if 0.24 < x < 0.62 and 0.64 < y < 0.78:
        return WHITE, 255
    # the recording dot
    if (x - 0.70) ** 2 + (y - 0.36) ** 2 < 0.13 ** 2:
        return RED, 255
    return BLUE, 255


def render(size):
    """Rows of (r, g, b, a), top row first, 4x4 supersampled."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(4):
                for sx in range(4):
                    (r, g, b), a = pixel((px + (sx + 0.5) / 4) / size, (py + (sy + 0.5) / 4) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / 16
            if acc[3]:
                row.append(tuple(round(c / acc[3]) for c in acc[:3]) + (round(a),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def and_mask(rows):
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def dib_32(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    return header + pixels + and_mask(rows)


def dib_8(rows):
    """8 bits per pixel with a fixed palette: the artwork's colours plus a 6x6x6 cube."""
    size = len(rows)
    palette = [(0, 0, 0), BLUE, EDGE, WHITE, RED, HOLE]
    palette += [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    palette += [(0, 0, 0)] * (256 - len(palette))

    def nearest(c):
        return min(range(len(palette)), key=lambda i: sum((p - q) ** 2 for p, q in zip(palette[i], c)))

    cache = {}
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    stride = (size + 3) // 4 * 4
    pixels = b""
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            key = (r, g, b) if a >= 128 else (0, 0, 0)
            if key not in cache:
                cache[key] = nearest(key)
            line[x] = cache[key]
        pixels += bytes(line)
    return header + pal + pixels + and_mask(rows)


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    images = []  # (size, colour count, bits per pixel, data)
    for bpp in (8, 32):
        for size in (48, 32, 16):
            rows = render(size)
            images.append((size, 0, bpp, dib_8(rows) if bpp == 8 else dib_32(rows)))
    images.append((256, 0, 32, png(render(256))))

    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, bpp, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(data for *_, data in images)
    with open(__file__.rsplit("/", 1)[0] + "/LathmereTest.ico", "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
