#!/usr/bin/python3
"""Draws Tavrel's icon: an arrow going down into an open cardboard box.

Writes res/tavrel.ico (four images, in this order: 16x16 and 32x32 with the
standard 16-colour palette, then 16x16 and 32x32 with 256 colours) and
docs/icon.png (the four images side by side, enlarged 8 times).

Each size has its own pixel map; the colour depth only changes the colours.
Only the standard library is used, so the output is the same byte for byte
wherever it runs. `--check` regenerates in memory and compares with the
files on disk instead of writing them.

    /usr/bin/python3 tools/make_icon.py [--check]
"""

import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ICO_PATH = os.path.join(ROOT, "res", "tavrel.ico")
PNG_PATH = os.path.join(ROOT, "docs", "icon.png")

# Materials: . transparent, K outline, A/a arrow (lit/shaded side),
# L/l flaps (lit left, shaded right), I inside of the box, F/f front (lit/shaded).
MAP_16 = """
.....KKKKKK.....
.....KAAAaK.....
.....KAAAaK.....
K....KAAAaK....K
LK.KKKAAAaKKK.Kl
LLK.KAAAAAaK.Kll
KLLK.KAAAaK.KllK
.KKKKKKAaKKKKKK.
.KIIIIIKKIIIIIK.
KKKKKKKKKKKKKKKK
KFFFFFFFFFFFFFfK
KFFFFFFFFFFFFFfK
KFFFFFFFFFFFFFfK
KFFFFFFFFFFFFFfK
KffffffffffffffK
KKKKKKKKKKKKKKKK
"""

MAP_32 = """
................................
............KKKKKKKK............
............KAAAAAaK............
............KAAAAAaK............
............KAAAAAaK............
............KAAAAAaK............
............KAAAAAaK............
............KAAAAAaK............
....K.......KAAAAAaK.......K....
...KLK......KAAAAAaK......KlK...
..KLLK......KAAAAAaK......KllK..
.KLLLLK.KKKKKAAAAAaKKKKK.KllllK.
KLLLLLK..KAAAAAAAAAAAaK..KlllllK
.KLLLLLKKKKAAAAAAAAAaKKKKlllllK.
.KLLLLKIIIIKAAAAAAAaKIIIIKllllK.
..KLLKIIIIIIKAAAAAaKIIIIIIKllK..
..KLKIIIIIIIIKAAAaKIIIIIIIIKlK..
...KIIIIIIIIIIKAaKIIIIIIIIIIK...
..KKKKKKKKKKKKKKKKKKKKKKKKKKKK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KFFFFFFFFFFFFFFFFFFFFFFFFFfK..
..KffffffffffffffffffffffffffK..
..KKKKKKKKKKKKKKKKKKKKKKKKKKKK..
"""

# The standard Windows 16-colour palette, in its usual index order.
VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, OLIVE, NAVY, YELLOW, BLUE = 0, 1, 3, 4, 11, 12

VGA16_COLOUR = {
    "K": BLACK, "A": BLUE, "a": NAVY,
    "L": YELLOW, "l": OLIVE, "I": MAROON, "F": OLIVE, "f": MAROON,
}

# 256 colours: the 16 standard ones, then one 16-step ramp per material,
# from its lit end to its shaded end; unused entries stay black.
RAMP_STEPS = 16
RAMPS = [
    ("arrow", (0x7F, 0xB8, 0xFF), (0x10, 0x3C, 0xB0)),
    ("flap", (0xF6, 0xDE, 0xA8), (0xA8, 0x7C, 0x44)),
    ("inside", (0x6E, 0x4A, 0x26), (0x2A, 0x1A, 0x0C)),
    ("front", (0xE4, 0xBC, 0x80), (0xA0, 0x74, 0x40)),
    ("outline", (0x30, 0x24, 0x18), (0x00, 0x00, 0x00)),
]


def ramp_index(name, t):
    """Palette index of the ramp `name` at 0 <= t <= 1 (0 lit, 1 shaded)."""
    base = 16 + RAMP_STEPS * [r[0] for r in RAMPS].index(name)
    step = min(RAMP_STEPS - 1, max(0, int(t * (RAMP_STEPS - 1) + 0.5)))
    return base + step


def palette_256():
    colours = list(VGA16)
    for _, lit, shaded in RAMPS:
        for i in range(RAMP_STEPS):
            colours.append(tuple((lit[c] * (RAMP_STEPS - 1 - i) + shaded[c] * i)
                                 // (RAMP_STEPS - 1) for c in range(3)))
    return colours + [(0, 0, 0)] * (256 - len(colours))


def parse(art):
    rows = art.strip("\n").split("\n")
    assert all(len(r) == len(rows) for r in rows), "pixel map must be square"
    return rows


def extent(rows, materials):
    """Top and bottom rows that hold any of `materials`."""
    ys = [y for y, r in enumerate(rows) if any(c in materials for c in r)]
    return ys[0], ys[-1]


def colour_256(rows, x, y):
    """Light from the upper left; each surface shades away from it."""
    n = len(rows)
    c = rows[y][x]
    if c == "A":
        # Across the arrow, lit on its left edge.
        row = rows[y]
        left = row.rfind("K", 0, x)
        right = row.find("K", x)
        return ramp_index("arrow", 0.65 * (x - left - 1) / max(1, right - left - 2))
    if c == "a":
        return ramp_index("arrow", 1.0)
    if c in "Ll":
        top, bottom = extent(rows, "Ll")
        t = (y - top) / max(1, bottom - top)
        return ramp_index("flap", 0.45 * t if c == "L" else 0.55 + 0.45 * t)
    if c == "I":
        # The back wall catches light; it darkens towards the front rim.
        top, bottom = extent(rows, "I")
        return ramp_index("inside", (y - top) / max(1, bottom - top))
    if c == "F":
        top, bottom = extent(rows, "F")
        return ramp_index("front", 0.6 * (y - top) / max(1, bottom - top) + 0.15 * x / n)
    if c == "f":
        return ramp_index("front", 1.0)
    if c == "K":
        # Softer outline where it borders the lit cardboard.
        return ramp_index("outline", 0.0 if y >= n // 2 else 1.0)
    raise ValueError("unknown material %r" % c)


def dib(rows, bpp, palette, colour):
    """A DIB with its AND mask, as the images of an .ico file hold them."""
    n = len(rows)
    transparent = [[c == "." for c in r] for r in rows]
    index = [[0 if transparent[y][x] else colour(rows, x, y) for x in range(n)]
             for y in range(n)]

    def row_bytes(bits):
        return (n * bits + 31) // 32 * 4

    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(n)):  # DIB rows run bottom-up
        line = bytearray(row_bytes(bpp))
        for x in range(n):
            if bpp == 8:
                line[x] = index[y][x]
            else:
                line[x // 2] |= index[y][x] << (4 if x % 2 == 0 else 0)
        xor += line
        bits = bytearray(row_bytes(1))
        for x in range(n):
            if transparent[y][x]:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits

    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    assert len(palette) == 1 << bpp
    return header + table + bytes(xor) + bytes(mask)


def images():
    """(pixel map, bits per pixel, palette, colour function) in icon id order."""
    m16, m32 = parse(MAP_16), parse(MAP_32)
    assert len(m16) == 16 and len(m32) == 32
    vga = lambda rows, x, y: VGA16_COLOUR[rows[y][x]]
    p256 = palette_256()
    return [(m16, 4, VGA16, vga), (m32, 4, VGA16, vga),
            (m16, 8, p256, colour_256), (m32, 8, p256, colour_256)]


def build_ico():
    parts = [(len(rows), bpp, dib(rows, bpp, pal, col)) for rows, bpp, pal, col in images()]
    out = struct.pack("<HHH", 0, 1, len(parts))
    offset = 6 + 16 * len(parts)
    for size, bpp, data in parts:
        colours = 1 << bpp if bpp < 8 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, data in parts)


SCALE = 8
GAP = 16
CHECKER = ((0xFF, 0xFF, 0xFF), (0xE4, 0xE4, 0xE4))


def preview_pixels():
    """RGB rows of the four images enlarged, on a checkerboard that shows
    the transparent parts."""
    imgs = images()
    height = 32 * SCALE + 2 * GAP
    width = sum(len(r) * SCALE for r, _, _, _ in imgs) + (len(imgs) + 1) * GAP
    canvas = [[CHECKER[((x // SCALE) + (y // SCALE)) % 2] for x in range(width)]
              for y in range(height)]
    left = GAP
    for rows, _, pal, col in imgs:
        n = len(rows)
        top = GAP + (32 - n) * SCALE  # stand the images on one base line
        for y in range(n):
            for x in range(n):
                if rows[y][x] == ".":
                    continue
                rgb = pal[col(rows, x, y)]
                for dy in range(SCALE):
                    line = canvas[top + y * SCALE + dy]
                    for dx in range(SCALE):
                        line[left + x * SCALE + dx] = rgb
        left += n * SCALE + GAP
    return width, height, canvas


def png_raw(width, height, canvas):
    """Scan lines with filter byte 0, as stored (compressed) in IDAT."""
    return b"".join(b"\0" + bytes(v for px in line for v in px) for line in canvas)


def build_png():
    width, height, canvas = preview_pixels()

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(png_raw(width, height, canvas), 9))
            + chunk(b"IEND", b""))


def png_content(data):
    """Header and uncompressed scan lines: equal for equal pictures, whatever
    zlib build compressed them."""
    pos, header, idat = 8, b"", b""
    while pos < len(data):
        size, = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + size]
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + size
    return header, zlib.decompress(idat)


def main(argv):
    ico, png = build_ico(), build_png()
    if argv[1:] == ["--check"]:
        failures = []
        with open(ICO_PATH, "rb") as f:
            if f.read() != ico:
                failures.append(ICO_PATH)
        with open(PNG_PATH, "rb") as f:
            if png_content(f.read()) != png_content(png):
                failures.append(PNG_PATH)
        for path in failures:
            print("%s: expected the picture tools/make_icon.py draws, got another; "
                  "regenerate it with /usr/bin/python3 tools/make_icon.py" % path)
        return 1 if failures else 0
    if argv[1:]:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    os.makedirs(os.path.dirname(PNG_PATH), exist_ok=True)
    with open(ICO_PATH, "wb") as f:
        f.write(ico)
    with open(PNG_PATH, "wb") as f:
        f.write(png)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
