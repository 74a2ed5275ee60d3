#!/usr/bin/env python3
"""Draws Melodrift's artwork: the player's information-screen border and the
application icon, each also at twice the size for screens scaled by two (Qt
picks "name@2x.png" for the border image; the hicolor theme looks in
"NxN@2" folders). Standard library only; run it again after changing a colour.

    python3 resources/make-artwork.py resources/
"""
import math
import struct
import sys
import zlib
from pathlib import Path


def write_png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples, 8 bits per channel."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    Path(path).write_bytes(png)


def clamp(v):
    return max(0, min(255, int(round(v))))


def rounded_rect_coverage(x, y, w, h, radius):
    """Signed distance from (x, y) to a rounded rectangle's edge (negative inside)."""
    qx = abs(x - w / 2) - (w / 2 - radius)
    qy = abs(y - h / 2) - (h / 2 - radius)
    outside = math.hypot(max(qx, 0), max(qy, 0))
    inside = min(max(qx, qy), 0)
    return outside + inside - radius


def screen(scale=1):
    """A dark display panel with a bright bevelled rim; the rim is what the
    3-pixel border image shows around the player's title and artist. Drawn
    at the given scale, so the double-size image shows the same panel."""
    width, height = 239 * scale, 98 * scale
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            d = rounded_rect_coverage(x + 0.5, y + 0.5, width, height, 7 * scale)
            if d > 0:
                row.append((0, 0, 0, 0))
                continue
            edge = -d
            alpha = 255 if edge >= 1 else clamp(255 * edge)
            if edge < 3 * scale:
                shade = 1 - (y / height) * 0.5
                row.append((clamp(120 * shade), clamp(170 * shade), clamp(220 * shade), alpha))
            else:
                t = y / height
                glow = math.exp(-((x - width * 0.3) ** 2 + (y - height * 0.2) ** 2) / (4000.0 * scale * scale))
                row.append((clamp(10 + 30 * glow), clamp(18 + 40 * glow - 8 * t), clamp(36 + 60 * glow - 12 * t), 235))
        rows.append(row)
    return rows


def icon(size):
    """A disc with a drifting sine wave: a record that is also a melody."""
    ss = 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    u = (x + (sx + 0.5) / ss) / size * 2 - 1
                    v = (y + (sy + 0.5) / ss) / size * 2 - 1
                    r = math.hypot(u, v)
                    if r > 0.94:
                        continue
                    wave = 0.35 * math.sin(u * 3.2 + 0.6) - 0.05
                    on_wave = abs(v - wave) < 0.11
                    if r < 0.12:
                        colour = (250, 250, 250)
                    elif on_wave and r < 0.86:
                        colour = (255, 214, 120)
                    else:
                        t = (v + 1) / 2
                        ring = 0.08 * math.sin(r * 40)
                        colour = (30 + 40 * t + 20 * ring, 60 + 50 * t + 20 * ring, 140 + 70 * t + 20 * ring)
                    acc[0] += colour[0]
                    acc[1] += colour[1]
                    acc[2] += colour[2]
                    acc[3] += 1
            n = acc[3]
            if n == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((clamp(acc[0] / n), clamp(acc[1] / n), clamp(acc[2] / n), clamp(255 * n / (ss * ss))))
        rows.append(row)
    return rows


def write_ico(path, pngs):
    """A Windows icon group holding PNG-compressed images, one per size."""
    header = struct.pack("<HHH", 0, 1, len(pngs))
    offset = 6 + 16 * len(pngs)
    entries = b""
    data = b""
    for size, blob in pngs:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset + len(data))
        data += blob
    Path(path).write_bytes(header + entries + data)


ICON_NAME = "org.melodrift.Melodrift.png"


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    (out / "images").mkdir(parents=True, exist_ok=True)
    for scale, name in ((1, "screen.png"), (2, "screen@2x.png")):
        rows = screen(scale)
        write_png(out / "images" / name, len(rows[0]), len(rows), rows)
    blobs = []
    for size in (16, 32, 48, 64, 128, 256):
        for folder, pixels in ((f"{size}x{size}", size), (f"{size}x{size}@2", 2 * size)):
            target = out / "icons" / folder / ICON_NAME
            target.parent.mkdir(parents=True, exist_ok=True)
            write_png(target, pixels, pixels, icon(pixels))
        blobs.append((size, (out / "icons" / f"{size}x{size}" / ICON_NAME).read_bytes()))
    write_ico(out / "icons" / "melodrift.ico", blobs)


if __name__ == "__main__":
    main()
