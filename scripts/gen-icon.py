#!/usr/bin/env python3
"""Draws the application icon, a padlock, as a 32x32 16-colour .ico.

    scripts/gen-icon.py res/app.ico

Standard library only; the output is committed, so the build needs no Python.
"""
import struct
import sys

SIZE = 32
# The platform's standard 16-colour palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, OLIVE, SILVER, GREY, YELLOW, WHITE = 0, 3, 7, 8, 11, 15
CLEAR = None


def draw():
    px = [[CLEAR] * SIZE for _ in range(SIZE)]

    def put(x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            px[y][x] = c

    # Shackle: a thick arch from the top down into the body.
    cx, cy = 15.5, 11.0
    for y in range(2, 16):
        for x in range(SIZE):
            dx = x - cx
            if y <= cy:
                r = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if 5.0 <= r <= 9.0:
                    put(x, y, GREY if r > 8.0 or r < 6.0 else SILVER)
            elif 5.0 <= abs(dx) <= 9.0:
                put(x, y, GREY if abs(dx) > 8.0 or abs(dx) < 6.0 else SILVER)
    # Body with an outline and a lit top-left edge.
    for y in range(14, 30):
        for x in range(4, 28):
            edge = y in (14, 29) or x in (4, 27)
            put(x, y, OLIVE if edge else YELLOW)
    for x in range(5, 27):
        put(x, 15, WHITE)
    for y in range(15, 29):
        put(5, y, WHITE)
    for x in range(5, 27):
        put(x, 28, OLIVE)
    # Keyhole: a round top and a slot below it.
    for y in range(18, 23):
        for x in range(13, 19):
            if (x - 15.5) ** 2 + (y - 20.0) ** 2 <= 5.5:
                put(x, y, BLACK)
    for y in range(22, 26):
        for x in range(15, 17):
            put(x, y, BLACK)
    return px


def encode(px):
    xor_rows, and_rows = [], []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row = px[y]
        xor = bytearray()
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
        mask = bytearray(SIZE // 8)
        for x in range(SIZE):
            if row[x] is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        xor_rows.append(bytes(xor))
        and_rows.append(bytes(mask))
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + b''.join(xor_rows) + b''.join(and_rows)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], 'wb') as out:
        out.write(encode(draw()))


if __name__ == '__main__':
    main()
