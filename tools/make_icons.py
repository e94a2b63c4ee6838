#!/usr/bin/env python3
"""Writes the program's icons into app/icons/ so that every pixel is reproducible.

Standard library only. Run: python3 tools/make_icons.py [output-dir]
"""
import os
import struct
import sys

# The standard 16-colour palette, as (R, G, B).
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREEN_DARK, NAVY, SILVER, GREY, RED, LIME, YELLOW, BLUE, WHITE = 0, 2, 4, 7, 8, 9, 10, 11, 12, 15

# Opaque columns of the status disc, by row.
DISC = {3: (7, 8), 4: (5, 10), 5: (4, 11), 6: (4, 11), 7: (3, 12),
        8: (3, 12), 9: (4, 11), 10: (4, 11), 11: (5, 10), 12: (7, 8)}


def image(size, bits, pixels):
    """One icon image: header, palette, colour rows and mask rows, bottom-up.

    pixels[y][x] is a palette index, or None for transparent."""
    palette_entries = 1 << bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in
                       (VGA + [(0, 0, 0)] * (palette_entries - 16)))
    colour_stride = ((size * bits + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        row = [pixels[y][x] for x in range(size)]
        line = bytearray(colour_stride)
        bits_line = bytearray(mask_stride)
        for x, p in enumerate(row):
            index = 0 if p is None else p
            if bits == 4:
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            else:
                line[x] = index
            if p is None:
                bits_line[x // 8] |= 0x80 >> (x % 8)
        colour += line
        mask += bits_line
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(images):
    """images: list of (size, bits, data)."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + entries + b''.join(d for _, _, d in images)


def status_pixels(index):
    return [[index if y in DISC and DISC[y][0] <= x <= DISC[y][1] else None for x in range(16)]
            for y in range(16)]


def app_pixels():
    """32x32: a globe at the lower left, a tall exclamation mark at the right."""
    px = [[None] * 32 for _ in range(32)]
    cx, cy, r = 11.5, 19.5, 10.5
    for y in range(32):
        for x in range(32):
            dx, dy = x - cx, y - cy
            d2 = dx * dx + dy * dy
            if d2 > r * r:
                continue
            # Land: two blobs of green on the blue sea.
            land = ((x - 7) ** 2 / 16 + (y - 15) ** 2 / 9 < 1) or ((x - 15) ** 2 / 9 + (y - 23) ** 2 / 16 < 1)
            colour = LIME if land else BLUE
            # Dark along the lower right edge.
            if dx + dy > 0 and d2 > (r - 2.5) ** 2:
                colour = GREEN_DARK if land else NAVY
            px[y][x] = colour
    # The exclamation mark: a bar and a dot, light grey with a red outline.
    shape = set()
    for y in range(1, 23):
        half = 2 if y < 18 else 1
        for x in range(26 - half, 28 + half):
            shape.add((x, y))
    for y in range(25, 31):
        for x in range(24, 30):
            shape.add((x, y))
    for x, y in shape:
        edge = any((x + ax, y + ay) not in shape for ax, ay in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        px[y][x] = RED if edge else SILVER
    return px


def downscale(px):
    """Halves a picture: a pixel is opaque when most of its four sources are."""
    out = [[None] * 16 for _ in range(16)]
    for y in range(16):
        for x in range(16):
            quad = [px[2 * y + j][2 * x + i] for j in (0, 1) for i in (0, 1)]
            opaque = [p for p in quad if p is not None]
            if len(opaque) >= 2:
                out[y][x] = max(set(opaque), key=opaque.count)
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'app', 'icons')
    os.makedirs(target, exist_ok=True)
    for name, index in (('yellow', YELLOW), ('green', LIME), ('red', RED)):
        with open(os.path.join(target, name + '.ico'), 'wb') as f:
            f.write(icon_file([(16, 4, image(16, 4, status_pixels(index)))]))
    big = app_pixels()
    small = downscale(big)
    images = [(32, 4, image(32, 4, big)), (32, 8, image(32, 8, big)),
              (16, 4, image(16, 4, small)), (16, 8, image(16, 8, small))]
    with open(os.path.join(target, 'app.ico'), 'wb') as f:
        f.write(icon_file(images))


if __name__ == '__main__':
    main()
