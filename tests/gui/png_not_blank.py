#!/usr/bin/env python3
"""Checks that a PNG shows something: many colours, and a good share of the
picture unlike its most common colour. Reads 8-bit RGB and RGBA PNGs with
the standard library only."""
import struct
import sys
import zlib
from collections import Counter


def pixels(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour not in (2, 6):
                raise ValueError("only 8-bit RGB or RGBA")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
    raw = zlib.decompress(idat)
    stride = width * channels
    previous = bytearray(stride)
    rows = []
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = previous[x]
            c = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + b) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append(bytes(line))
        previous = line
    return [row[x:x + 3] for row in rows for x in range(0, stride, channels)]


def main():
    colours = Counter(pixels(sys.argv[1]))
    total = sum(colours.values())
    common = colours.most_common(1)[0][1]
    share = 1 - common / total
    print(f"{sys.argv[1]}: {len(colours)} colours, {share:.0%} unlike the most common")
    if len(colours) < 16 or share < 0.05:
        print("the picture is blank")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
