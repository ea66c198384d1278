#!/usr/bin/env python3
"""Draws the Vantorel icon and writes the PNGs the window uses (16, 32, 48 px), the larger
ones the desktop's icon theme takes from the package (64, 128, 256 px), and the eight-image
vantorel.ico (16, 32, 48 px in 256 colours and 32-bit colour, 16 and 32 px in 16 colours).
Standard library only; run from any folder."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SUPERSAMPLE = 6

BLUE = (30, 90, 168)
DARK_BLUE = (18, 55, 110)
WHITE = (255, 255, 255)
ORANGE = (240, 135, 25)


def rounded_square(x, y, margin=0.03, radius=0.2):
    lo, hi = margin, 1 - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= half_width


def envelope(x, y):
    return 0.14 <= x <= 0.78 and 0.24 <= y <= 0.66


def flap(x, y):
    return envelope(x, y) and (near_segment(x, y, 0.14, 0.24, 0.46, 0.48, 0.035)
                               or near_segment(x, y, 0.46, 0.48, 0.78, 0.24, 0.035))


def badge(x, y):
    return math.hypot(x - 0.72, y - 0.72) <= 0.22


def arrow(x, y):
    # a right-pointing arrow inside the badge: the message moving into the store
    shaft = 0.58 <= x <= 0.76 and abs(y - 0.72) <= 0.035
    head = near_segment(x, y, 0.72, 0.62, 0.83, 0.72, 0.035) or near_segment(x, y, 0.72, 0.82, 0.83, 0.72, 0.035)
    return shaft or head


def colour_at(x, y):
    """Topmost shape first; None is transparent."""
    if badge(x, y):
        if arrow(x, y):
            return WHITE
        return ORANGE if math.hypot(x - 0.72, y - 0.72) <= 0.19 else WHITE
    if flap(x, y):
        return BLUE
    if envelope(x, y):
        return WHITE
    if rounded_square(x, y):
        return BLUE if y < 0.5 + 0.3 * (x - 0.5) else DARK_BLUE
    return None


def render(size):
    """Rows of (r, g, b, a) tuples, top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        r += c[0]; g += c[1]; b += c[2]; a += 1
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / (n * n))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]
CUBE = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
PALETTE256 = CUBE + [(v, v, v) for v in range(8, 248, 6)][:40]


def nearest(palette, c):
    return min(range(len(palette)), key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))


def and_mask(rows):
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def dib(rows, bpp):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    if bpp == 32:
        pixels = b"".join(bytes(v for p in row for v in (p[2], p[1], p[0], p[3])) for row in reversed(rows))
        return header + pixels + and_mask(rows)
    palette = VGA16 if bpp == 4 else PALETTE256
    colours = struct.pack("<II", 0, 0)[:0] + b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    stride = ((size * bpp + 31) // 32) * 4
    pixels = b""
    for row in reversed(rows):
        indexes = [nearest(palette, p) if p[3] >= 128 else 0 for p in row]
        if bpp == 4:
            packed = bytearray((indexes[i] << 4) | (indexes[i + 1] if i + 1 < size else 0) for i in range(0, size, 2))
        else:
            packed = bytearray(indexes)
        pixels += bytes(packed) + bytes(stride - len(packed))
    return header + colours + pixels + and_mask(rows)


def ico(images):
    """images: list of (rows, bpp)."""
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for rows, bpp in images:
        data = dib(rows, bpp)
        size = len(rows)
        colours = 16 if bpp == 4 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp, len(data), offset)
        blobs += data
        offset += len(data)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + blobs


def main():
    rendered = {size: render(size) for size in (16, 32, 48, 64, 128, 256)}
    for size, rows in rendered.items():
        with open(os.path.join(HERE, f"vantorel-{size}.png"), "wb") as f:
            f.write(png(rows))
    images = [(rendered[s], 8) for s in (16, 32, 48)] + [(rendered[s], 32) for s in (16, 32, 48)] \
        + [(rendered[s], 4) for s in (16, 32)]
    with open(os.path.join(HERE, "vantorel.ico"), "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
