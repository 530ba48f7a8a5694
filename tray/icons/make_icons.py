#!/usr/bin/env python3
"""Draws the tray program's icons from pictures.txt.

    make_icons.py --out DIR            icon400.ico ... icon404.ico in DIR
    make_icons.py --sheet FILE.png     a preview of every icon at 16 pixels
                                       and enlarged, on a light and a dark
                                       background

Icon 400 (the program's) gets 16, 32 and 48 pixel images at 16 and 256
colours; 401 to 404 (the states) one 16 by 16 image of 16 colours each.
Standard library only.
"""
import argparse
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 16


def read_pictures(path):
    colours, pictures, current = {}, {}, None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if current is not None and len(pictures[current]) < SIZE:
                if len(line) != SIZE:
                    sys.exit(f"{path}:{number}: a picture row has {SIZE} characters")
                pictures[current].append(line)
                continue
            if not line.strip() or line.startswith("#"):
                continue
            words = line.split()
            if words[0] == "picture" and len(words) == 2:
                current = int(words[1])
                pictures[current] = []
            elif len(words) == 5 and words[1] == "=" and len(words[0]) == 1:
                colours[words[0]] = tuple(int(v) for v in words[2:])
            else:
                sys.exit(f"{path}:{number}: not a colour, picture or comment: {line}")
    if len(colours) > 15:
        sys.exit(f"{path}: at most 15 colours")
    for ident, rows in pictures.items():
        if len(rows) != SIZE:
            sys.exit(f"{path}: picture {ident} has {len(rows)} rows, not {SIZE}")
        for row in rows:
            for ch in row:
                if ch != "." and ch not in colours:
                    sys.exit(f"{path}: picture {ident} uses the unknown colour {ch!r}")
    return colours, pictures


def palette_of(colours):
    # Index 0 is the transparent pixel (black under the mask).
    letters = sorted(colours)
    return letters, [(0, 0, 0)] + [colours[c] for c in letters]


def enlarged(rows, factor):
    return ["".join(ch * factor for ch in row) for row in rows for _ in range(factor)]


def ico_image(rows, letters, palette, bits):
    n = len(rows)
    count = 1 << bits
    colours = palette + [(0, 0, 0)] * (count - len(palette))
    index = {c: i + 1 for i, c in enumerate(letters)}
    xor = bytearray()
    mask = bytearray()
    xor_stride = ((n * bits + 31) // 32) * 4
    mask_stride = ((n + 31) // 32) * 4
    for row in reversed(rows):  # bottom-up
        line = bytearray(xor_stride)
        bitline = bytearray(mask_stride)
        for x, ch in enumerate(row):
            value = index.get(ch, 0)
            if bits == 4:
                line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            else:
                line[x] = value
            if ch == ".":
                bitline[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bitline
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, count, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    return header + table + bytes(xor) + bytes(mask)


def ico_file(images):
    """images: list of (size, bits, data)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256,
                           16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, data in images)


def write_icons(out_dir, colours, pictures):
    letters, palette = palette_of(colours)
    os.makedirs(out_dir, exist_ok=True)
    for ident, rows in sorted(pictures.items()):
        if ident == 400:
            images = [(SIZE * f, bits, ico_image(enlarged(rows, f), letters, palette, bits))
                      for bits in (4, 8) for f in (1, 2, 3)]
        else:
            images = [(SIZE, 4, ico_image(rows, letters, palette, 4))]
        path = os.path.join(out_dir, f"icon{ident}.ico")
        with open(path + ".tmp", "wb") as f:
            f.write(ico_file(images))
        os.replace(path + ".tmp", path)


def png(width, height, pixels):
    """pixels: rows of (r, g, b)."""
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_sheet(path, colours, pictures):
    """Each icon at 16 pixels and enlarged four times, on a light taskbar
    colour (top half) and a dark one (bottom half)."""
    ids = sorted(pictures)
    zoom, pad = 4, 8
    cell = SIZE * zoom + pad + SIZE + pad
    width = pad + len(ids) * cell
    band = pad + SIZE * zoom + pad
    height = 2 * band
    backgrounds = [(240, 240, 240), (32, 32, 32)]
    pixels = [[backgrounds[y // band] for _ in range(width)] for y in range(height)]
    for i, ident in enumerate(ids):
        rows = pictures[ident]
        for b in range(2):
            x0, y0 = pad + i * cell, b * band + pad
            for y, row in enumerate(rows):
                for x, ch in enumerate(row):
                    if ch == ".":
                        continue
                    for dy in range(zoom):
                        for dx in range(zoom):
                            pixels[y0 + y * zoom + dy][x0 + x * zoom + dx] = colours[ch]
                    pixels[y0 + y][x0 + SIZE * zoom + pad + x] = colours[ch]
    with open(path, "wb") as f:
        f.write(png(width, height, pixels))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pictures", default=os.path.join(HERE, "pictures.txt"))
    parser.add_argument("--out")
    parser.add_argument("--sheet")
    args = parser.parse_args()
    colours, pictures = read_pictures(args.pictures)
    missing = {400, 401, 402, 403, 404} - set(pictures)
    if missing:
        sys.exit(f"{args.pictures}: no picture for {sorted(missing)}")
    if args.out:
        write_icons(args.out, colours, pictures)
    if args.sheet:
        write_sheet(args.sheet, colours, pictures)


if __name__ == "__main__":
    main()
