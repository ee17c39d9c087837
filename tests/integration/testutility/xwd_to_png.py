#!/usr/bin/env python3
"""Converts an X window dump (the Xvfb frame buffer file, 24/32 bits per pixel) to PNG.

usage: xwd_to_png.py IN.xwd OUT.png
Prints the number of distinct colours, so that a caller can tell an empty screen from a window.
"""
import struct
import sys
import zlib


def main():
    src, dst = sys.argv[1], sys.argv[2]
    data = open(src, 'rb').read()
    fields = struct.unpack('>25I', data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    if bits_per_pixel not in (24, 32):
        sys.exit('unsupported depth %d' % bits_per_pixel)
    pixels = data[header_size + 12 * ncolors:]
    step = bits_per_pixel // 8

    def shift(mask):
        s = 0
        while mask and not mask & 1:
            mask >>= 1
            s += 1
        return s

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = []
    colours = set()
    for y in range(height):
        line = pixels[y * bytes_per_line:(y + 1) * bytes_per_line]
        out = bytearray(b'\x00')
        for x in range(width):
            p = line[x * step:(x + 1) * step]
            v = int.from_bytes(p, 'little' if byte_order == 0 else 'big')
            rgb = ((v & red_mask) >> rs, (v & green_mask) >> gs, (v & blue_mask) >> bs)
            out += bytes(rgb)
            if y % 4 == 0 and x % 4 == 0:
                colours.add(rgb)
        rows.append(bytes(out))

    def chunk(kind, body):
        c = kind + body
        return struct.pack('>I', len(body)) + c + struct.pack('>I', zlib.crc32(c) & 0xffffffff)

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(b''.join(rows), 6))
    png += chunk(b'IEND', b'')
    open(dst, 'wb').write(png)
    print(len(colours))


if __name__ == '__main__':
    main()
