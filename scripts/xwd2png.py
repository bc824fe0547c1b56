#!/usr/bin/env python3
"""Turns an X window dump (xwd -root, 24 or 32 bits a pixel) into a PNG: xwd2png.py IN OUT."""
import struct
import sys
import zlib


def main(src, dst):
    data = open(src, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    ncolors = header[19]
    step = bits_per_pixel // 8
    if step not in (3, 4):
        sys.exit("only 24 and 32 bits per pixel dumps are supported")
    pixels = data[header_size + ncolors * 12:]
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * step]
        out = bytearray(b"\0")
        for x in range(width):
            p = line[x * step:x * step + step]
            b, g, r = (p[0], p[1], p[2]) if byte_order == 0 else (p[-1], p[-2], p[-3])
            out += bytes((r, g, b))
        rows.append(bytes(out))

    def chunk(kind, body):
        c = kind + body
        return struct.pack(">I", len(body)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
    open(dst, "wb").write(png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
