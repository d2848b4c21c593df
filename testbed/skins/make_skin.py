#!/usr/bin/env python3
"""Draws the command images of one stand-in skin resource library and writes its .rc file.

    make_skin.py SKIN OUTDIR     (SKIN: blue, gray, lightgray or generic)

The product's skin libraries hold the bitmaps of the add-in's commands (ids
14560..14650, the 150 % variant at id + 1, the 200 % variant at id + 2) and the PNG images
12761 and 14111 of Create PDF (+1, +2). These stand-ins draw simple icons: a page with a red
"PDF" band, a scanner, an envelope, a pencil, a pair of arrows. Some variants are left out on
purpose so that the loaders' fall-backs are exercised (MISSING below).

For the tests, pixel (0, 0) of every image is a marker: red = id >> 8, green = id & 0xFF,
blue = the skin's number (SKINS), alpha 255. PNG pixel (1, 0) is (200, 100, 50) at alpha 128,
to check premultiplication. String 1 of each library is its file name.
"""
import pathlib
import struct
import sys
import zlib

SKINS = {  # name: (library file, marker number, accent colour)
    "generic": ("UIRES64_GEN.DLL", 4, (46, 125, 50)),
    "gray": ("UIRES64_GEN_GRAY.DLL", 1, (80, 80, 80)),
    "lightgray": ("UIRES64_GEN_LIGHTGRAY.DLL", 2, (150, 150, 150)),
    "blue": ("UIRES64_GEN_BLUE.DLL", 3, (43, 108, 176)),
}

# Bitmap ids: (classic id, ribbon id, picture). Classic images are 16 px, ribbon images 32 px.
COMMANDS = [
    (14560, 14570, "create"),    # Create PDF, Create new PDF from a local file
    (14580, 14590, "scan"),      # Create new PDF from a scanner
    (14600, 14610, "convert"),   # Open with the conversion tool
    (14620, 14630, "mail"),      # Send PDF in e-mail
    (14640, 14650, "edit"),      # Open with the PDF editor
]
PNGS = [(12761, 32, "create"), (14111, 16, "create")]  # id, size at 100 %, picture

# Variants (id + 1, id + 2) that a skin does not have.
MISSING = {
    "blue": {14562, 14641, 14652},
    "generic": {i + v for i in range(14560, 14660, 10) for v in (1, 2)} - {14561, 14571}
    | {12763, 14113},
    "gray": {i + v for i in range(14560, 14660, 10) for v in (1, 2)} | {12762, 12763, 14112, 14113},
    "lightgray": {i + v for i in range(14560, 14660, 10) for v in (1, 2)}
    | {12762, 12763, 14112, 14113},
}

WHITE, OUTLINE, RED, DARK = (255, 255, 255), (70, 70, 70), (204, 32, 39), (40, 40, 40)

# 3 x 5 glyphs for the "PDF" label.
GLYPHS = {
    "P": ["111", "101", "111", "100", "100"],
    "D": ["110", "101", "101", "101", "110"],
    "F": ["111", "100", "110", "100", "100"],
}


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]  # rows of RGBA, top row first

    def put(self, x, y, rgb, alpha=255):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = (*rgb, alpha)

    def scale(self, v):
        return int(round(v * self.size))

    def fill(self, inside, rgb):
        """Fills every pixel whose centre (in 0..1 units) satisfies inside(x, y)."""
        for y in range(self.size):
            for x in range(self.size):
                if inside((x + 0.5) / self.size, (y + 0.5) / self.size):
                    self.put(x, y, rgb)

    def rect(self, x0, y0, x1, y1, rgb):
        self.fill(lambda x, y: x0 <= x < x1 and y0 <= y < y1, rgb)

    def polygon(self, points, rgb):
        def inside(x, y):
            result = False
            for i in range(len(points)):
                (ax, ay), (bx, by) = points[i], points[i - 1]
                if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                    result = not result
            return result
        self.fill(inside, rgb)

    def line(self, a, b, rgb):
        x0, y0 = min(self.size - 1, int(a[0] * self.size)), min(self.size - 1, int(a[1] * self.size))
        x1, y1 = min(self.size - 1, int(b[0] * self.size)), min(self.size - 1, int(b[1] * self.size))
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, rgb)
            if (x0, y0) == (x1, y1):
                break
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def outline(self, points, rgb):
        for i in range(len(points)):
            self.line(points[i - 1], points[i], rgb)

    def text(self, x0, y0, text, rgb, unit):
        for n, char in enumerate(text):
            for row, bits in enumerate(GLYPHS[char]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        for dy in range(unit):
                            for dx in range(unit):
                                self.put(x0 + (n * 4 + col) * unit + dx, y0 + row * unit + dy, rgb)


def page(c, x0=0.16, y0=0.06, x1=0.84, y1=0.94):
    fold = (x1 - x0) * 0.3
    points = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    c.polygon(points, WHITE)
    c.outline(points, OUTLINE)
    c.outline([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)], OUTLINE)


def pdf_band(c, x0=0.06, y0=0.56, x1=0.80, y1=0.88):
    c.rect(x0, y0, x1, y1, RED)
    band_width, band_height = c.scale(x1) - c.scale(x0), c.scale(y1) - c.scale(y0)
    unit = max(1, min((band_width - 2) // 11, (band_height - 2) // 5))
    width, height = 11 * unit, 5 * unit
    left = c.scale(x0) + max(0, (band_width - width + 1) // 2)
    top = c.scale(y0) + max(0, (band_height - height + 1) // 2)
    c.text(left, top, "PDF", WHITE, unit)


def draw(picture, size, accent):
    c = Canvas(size)
    if picture == "create":
        page(c)
        for y in (0.22, 0.32, 0.42):
            c.rect(0.26, y, 0.58, y + 0.05, accent)
        pdf_band(c)
    elif picture == "scan":
        c.polygon([(0.08, 0.30), (0.92, 0.14), (0.92, 0.22), (0.08, 0.38)], accent)  # lid
        c.rect(0.06, 0.42, 0.94, 0.74, (200, 200, 200))
        c.outline([(0.06, 0.42), (0.94, 0.42), (0.94, 0.74), (0.06, 0.74)], OUTLINE)
        c.rect(0.12, 0.50, 0.88, 0.56, (60, 200, 90))  # scan light
        c.rect(0.50, 0.78, 0.96, 0.98, RED)
    elif picture == "convert":
        page(c, 0.06, 0.06, 0.62, 0.70)
        c.rect(0.14, 0.44, 0.54, 0.62, RED)
        c.polygon([(0.40, 0.78), (0.78, 0.78), (0.78, 0.68), (0.96, 0.84), (0.78, 1.0), (0.78, 0.90),
                   (0.40, 0.90)], accent)
        c.polygon([(0.96, 0.30), (0.70, 0.30), (0.70, 0.20), (0.52, 0.36), (0.70, 0.52), (0.70, 0.42),
                   (0.96, 0.42)], accent)
    elif picture == "mail":
        body = [(0.04, 0.22), (0.96, 0.22), (0.96, 0.78), (0.04, 0.78)]
        c.polygon(body, WHITE)
        c.outline(body, OUTLINE)
        c.outline([(0.04, 0.22), (0.50, 0.56), (0.96, 0.22)], accent)
        c.rect(0.46, 0.66, 0.98, 0.96, RED)
    elif picture == "edit":
        page(c)
        pdf_band(c, 0.06, 0.18, 0.80, 0.46)
        c.polygon([(0.42, 0.92), (0.50, 0.76), (0.90, 0.52), (0.98, 0.64), (0.58, 0.88)], accent)
        c.polygon([(0.42, 0.92), (0.50, 0.76), (0.58, 0.88)], DARK)
    return c


def mark(c, image_id, skin_number, png):
    c.put(0, 0, ((image_id >> 8) & 0xFF, image_id & 0xFF, skin_number))
    if png:
        c.put(1, 0, (200, 100, 50), 128)


def bmp_bytes(c):
    """32 bits per pixel, BI_RGB, bottom-up, alpha kept in the fourth byte."""
    rows = b"".join(bytes(v for r, g, b, a in row for v in (b, g, r, a)) for row in reversed(c.px))
    info = struct.pack("<IiiHHIIiiII", 40, c.size, c.size, 1, 32, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return header + info + rows


def png_bytes(c):
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in c.px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    ihdr = struct.pack(">IIBBBBB", c.size, c.size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + \
        chunk(b"IEND", b"")


def main():
    skin, out = sys.argv[1], pathlib.Path(sys.argv[2])
    library, number, accent = SKINS[skin]
    out.mkdir(parents=True, exist_ok=True)
    lines = [f"// Stand-in skin resource library {library}; written by make_skin.py.",
             "STRINGTABLE", "BEGIN", f'  1 "{library}"', "END"]
    for classic, ribbon, picture in COMMANDS:
        for base, size in ((classic, 16), (ribbon, 32)):
            for variant, factor in ((0, 2), (1, 3), (2, 4)):  # 100 %, 150 %, 200 %
                image_id = base + variant
                if image_id in MISSING[skin]:
                    continue
                c = draw(picture, size * factor // 2, accent)
                mark(c, image_id, number, png=False)
                path = out / f"{image_id}.bmp"
                path.write_bytes(bmp_bytes(c))
                lines.append(f'{image_id} BITMAP "{path.as_posix()}"')
    for base, size, picture in PNGS:
        for variant, factor in ((0, 2), (1, 3), (2, 4)):
            image_id = base + variant
            if image_id in MISSING[skin]:
                continue
            c = draw(picture, size * factor // 2, accent)
            mark(c, image_id, number, png=True)
            path = out / f"{image_id}.png"
            path.write_bytes(png_bytes(c))
            lines.append(f'{image_id} PNG "{path.as_posix()}"')
    (out / f"{skin}.rc").write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
