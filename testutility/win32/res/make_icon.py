#!/usr/bin/env python3
"""Writes polecheck.ico: a small pole display (16 x 16 and 32 x 32, 32 bits per pixel)."""
import struct


def image(n):
    # A dark casing with a two-line green screen on a stand.
    s = n / 32
    px = []
    for y in range(n):
        yy = n - 1 - y  # bitmap rows go bottom-up
        row = []
        for x in range(n):
            if 4 * s <= yy < 18 * s and 2 * s <= x < n - 2 * s:
                if 6 * s <= yy < 16 * s and 4 * s <= x < n - 4 * s:
                    line = (7 * s <= yy < 10 * s) or (12 * s <= yy < 15 * s)
                    lit = line and int(x / (2 * s)) % 2 == 0
                    c = (40, 230, 120, 255) if lit else (20, 60, 30, 255)
                else:
                    c = (50, 50, 60, 255)
            elif 18 * s <= yy < 28 * s and n / 2 - 2 * s <= x < n / 2 + 2 * s:
                c = (90, 90, 100, 255)
            elif 28 * s <= yy < 30 * s and n / 2 - 8 * s <= x < n / 2 + 8 * s:
                c = (90, 90, 100, 255)
            else:
                c = (0, 0, 0, 0)
            row.append(c)
        px.append(row)
    data = b''.join(bytes((b, g, r, a)) for row in px for (r, g, b, a) in row)
    stride = ((n + 31) // 32) * 4
    mask = b''
    for row in px:
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(data) + len(mask), 0, 0, 0, 0)
    return header + data + mask


def main():
    images = [(16, image(16)), (32, image(32))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, d in images:
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(d), offset)
        offset += len(d)
    for _, d in images:
        out += d
    with open('polecheck.ico', 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
