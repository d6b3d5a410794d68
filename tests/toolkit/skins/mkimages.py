#!/usr/bin/env python3
"""Writes the PNG images a skin folder lists in its images.txt.

Each line: <entry name> <width> <height> <top colour RRGGBBAA> [<bottom colour>]
(a second colour gives a vertical gradient). Used at build time, so the
repository holds only this script and the lists, never the images.
"""
import struct
import sys
import zlib
from pathlib import Path


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def colour(text):
    return [int(text[i:i + 2], 16) for i in range(0, 8, 2)]


def main(folder):
    folder = Path(folder)
    if not (folder / "images.txt").exists():
        return
    for line in (folder / "images.txt").read_text().splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        parts = line.split()
        name, w, h, top = parts[0], int(parts[1]), int(parts[2]), colour(parts[3])
        bottom = colour(parts[4]) if len(parts) > 4 else top
        rows = []
        for y in range(h):
            t = y / (h - 1) if h > 1 else 0
            px = bytes(round(a + (b - a) * t) for a, b in zip(top, bottom))
            rows.append(px * w)
        out = folder / name
        out.parent.mkdir(parents=True, exist_ok=True)
        out.write_bytes(png(w, h, rows))


if __name__ == "__main__":
    main(sys.argv[1])
