#!/usr/bin/env python3
"""Draws the program's icon (a small television with an alarm dot) as res/telomiya.ico."""
import struct
import sys


def pixel(size, x, y):
    s = size / 32.0
    X, Y = x / s, y / s
    # antennae
    if 6 <= Y < 9 and (abs((X - 16) + (Y - 9) * 1.2) < 1.2 or abs((X - 16) - (Y - 9) * 1.2) < 1.2):
        return (60, 60, 60, 255)
    if 9 <= Y < 27 and 3 <= X < 29:
        if 12 <= Y < 24 and 6 <= X < 22:
            return (84, 166, 252, 255)  # screen
        if (X - 25) ** 2 + (Y - 15) ** 2 < 4:
            return (230, 40, 40, 255)  # alarm dot
        return (50, 50, 60, 255)
    if 27 <= Y < 29 and (6 <= X < 9 or 23 <= X < 26):
        return (50, 50, 60, 255)
    return (0, 0, 0, 0)


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        for x in range(size):
            r, g, b, a = pixel(size, x + 0.5, y + 0.5)
            rows.append(struct.pack("BBBB", b, g, r, a))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = bytes(mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/telomiya.ico")
