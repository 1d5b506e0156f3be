#!/usr/bin/env python3
"""Draws Velmora's application icon and writes velmora.ico.

Standard library only. The artwork is a serial plug over an arrow on a
teal tile: bytes from the port go out as a stream. The output is
deterministic, and the .ico is kept in the repository, so the build never
runs this; run it again only after changing the drawing:

    python3 ui/resources/make_icon.py [output.ico]

Images, in the order the handset's icon group lists them:
32 and 16 px at 16 colours, 48/32/16 px at 256 colours, 48/32/16 px at
32 bits with alpha.
"""

import os
import struct
import sys

IMAGES = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]

TILE_TOP = (0x16, 0x7A, 0x8C)
TILE_BOTTOM = (0x0B, 0x46, 0x58)
PLUG = (0xE4, 0xE8, 0xEA)
PLUG_EDGE = (0x5A, 0x66, 0x6E)
PIN = (0x23, 0x2B, 0x31)
ARROW = (0xFF, 0xB0, 0x20)

SUPERSAMPLE = 6


def inside_rounded_square(x, y, radius):
    # Unit square with its corners rounded.
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and 0 <= x <= 1 and 0 <= y <= 1


def inside_plug(x, y, shrink=0.0):
    # A D-sub shell: wider at the top than at the bottom.
    top, bottom = 0.17 + shrink, 0.53 - shrink
    if not top <= y <= bottom:
        return False
    t = (y - 0.17) / 0.36
    half = 0.36 - 0.08 * t - shrink
    return abs(x - 0.5) <= half


def on_pin(x, y, size):
    # Pins only where there are pixels enough to show them.
    if size < 32:
        return False
    rows = ((0.29, [0.30, 0.40, 0.50, 0.60, 0.70]), (0.42, [0.35, 0.45, 0.55, 0.65]))
    for py, xs in rows:
        for px in xs:
            if (x - px) ** 2 + (y - py) ** 2 <= 0.035 ** 2:
                return True
    return False


def inside_arrow(x, y):
    shaft = 0.14 <= x <= 0.62 and abs(y - 0.75) <= 0.065
    head = 0.58 <= x <= 0.86 and abs(y - 0.75) <= 0.16 * (0.86 - x) / 0.28
    return shaft or head


def colour_at(x, y, size, shaded):
    """RGBA of one sample point in unit coordinates, y pointing down."""
    if not inside_rounded_square(x, y, 0.2):
        return (0, 0, 0, 0)
    # A palette cannot hold the gradient without bands: flat tile there.
    mix = y if shaded else 0.4
    rgb = tuple(int(a + (b - a) * mix) for a, b in zip(TILE_TOP, TILE_BOTTOM))
    edge = 0.045 if size >= 32 else 0.07
    if inside_plug(x, y):
        rgb = PLUG if inside_plug(x, y, edge) else PLUG_EDGE
        if on_pin(x, y, size):
            rgb = PIN
    if inside_arrow(x, y):
        rgb = ARROW
    return rgb + (255,)


def render(size, shaded):
    """Rows top to bottom of straight-alpha RGBA pixels."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = colour_at((px + (sx + 0.5) / n) / size,
                                           (py + (sy + 0.5) / n) / size, size, shaded)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3])
                           + (int(round(acc[3] / (n * n))),))
        rows.append(row)
    return rows


def vga_palette():
    return [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
            (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
            (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette_256():
    # The 16 standard colours, a 6x6x6 cube, then a grey ramp.
    colours = vga_palette()
    steps = [0, 51, 102, 153, 204, 255]
    colours += [(r, g, b) for r in steps for g in steps for b in steps]
    while len(colours) < 256:
        v = int((len(colours) - 232) * 255 / 23)
        colours.append((v, v, v))
    return colours


def nearest(palette, rgb):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = (p[0] - rgb[0]) ** 2 * 3 + (p[1] - rgb[1]) ** 2 * 4 + (p[2] - rgb[2]) ** 2 * 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def padded(row_bytes):
    return row_bytes + b"\0" * ((4 - len(row_bytes) % 4) % 4)


def pack_bits(values, bits):
    out = bytearray()
    per_byte = 8 // bits
    for i in range(0, len(values), per_byte):
        byte = 0
        for j, v in enumerate(values[i:i + per_byte]):
            byte |= v << (8 - bits * (j + 1))
        out.append(byte)
    return bytes(out)


def icon_image(size, bpp):
    """One icon image as stored in the file: header, palette, colour, mask."""
    pixels = render(size, bpp == 32)
    opaque = [[p[3] >= 128 for p in row] for row in pixels]
    palette = {4: vga_palette(), 8: palette_256()}.get(bpp, [])
    colour_rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = pixels[y]
        if bpp == 32:
            data = b"".join(struct.pack("<BBBB", b, g, r, a) for r, g, b, a in row)
        else:
            data = pack_bits([nearest(palette, p[:3]) if opaque[y][x] else 0
                              for x, p in enumerate(row)], bpp)
        colour_rows.append(padded(data))
    mask_rows = [padded(pack_bits([0 if o else 1 for o in opaque[y]], 1))
                 for y in range(size - 1, -1, -1)]
    colour = b"".join(colour_rows)
    mask = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + colour + mask


def write_ico(path):
    images = [icon_image(size, bpp) for size, bpp in IMAGES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (size, bpp), data in zip(IMAGES, images):
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_ico(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "velmora.ico"))
