#!/usr/bin/env python3
"""Draws the program's two pictures: a page whose "CR LF" line ends become "LF".

    make_pictures.py            writes decrimp95.ico and about.bmp beside this script
    make_pictures.py --check    exits 1 if the committed files differ from what it draws

Standard library only, so the pictures can be redrawn on any machine.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# 5x7 letters for the line-end names.
GLYPHS = {
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
}

# The 16 colours every Windows display has; the icon uses exactly these.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = -1  # icon only: transparent through the AND mask


class Canvas:
    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def box(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def text(self, x, y, word, colours, bold):
        """Draws word from (x, y), one colour per letter; a blank is a 3-pixel gap."""
        advance = 7 if bold else 6
        for letter, colour in zip(word, colours):
            if letter == " ":
                x += 3
                continue
            for row, line in enumerate(GLYPHS[letter]):
                for column, mark in enumerate(line):
                    if mark == "#":
                        self.put(x + column, y + row, colour)
                        if bold:
                            self.put(x + column + 1, y + row, colour)
            x += advance


def page(canvas, left, top, right, bottom, ear, shadow, background):
    """A sheet of paper with a folded top-right corner and a drop shadow."""
    canvas.box(left + shadow, top + shadow, right + shadow, bottom + shadow, GRAY)
    canvas.box(left, top, right, bottom, BLACK)
    canvas.box(left + 1, top + 1, right - 1, bottom - 1, WHITE)
    # The fold: give the corner back to the background, then draw the flap over it.
    for i in range(ear + 1):
        canvas.box(right - ear + i + 1, top + i, right + shadow, top + i, background)
        canvas.box(right - ear + i, top + i, right - ear + i, top + ear, SILVER)
        canvas.put(right - ear, top + i, BLACK)
        canvas.put(right - ear + i, top + ear, BLACK)
        canvas.put(right - ear + i, top + i, BLACK)


def text_lines(canvas, left, top, lengths, step, colour):
    """Grey strokes standing for lines of text."""
    for i, length in enumerate(lengths):
        canvas.box(left, top + i * step, left + length - 1, top + i * step, colour)


def down_arrow(canvas, centre, top, bottom, shaft, head, colour):
    canvas.box(centre - shaft, top, centre + shaft, bottom - head, colour)
    for i in range(head + 1):
        canvas.box(centre - head + i, bottom - head + i, centre + head - i, bottom - head + i, colour)


def draw_about():
    c = Canvas(78, 84, TEAL)
    page(c, 8, 3, 66, 79, 10, 2, TEAL)
    text_lines(c, 13, 9, [36, 30, 40], 3, GRAY)
    # Before: the line end as it came, CR in red ahead of LF.
    c.text(18, 21, "CR LF", [RED, RED, None, NAVY, NAVY], True)
    c.box(16, 24, 31, 24, BLACK)  # the CR struck out
    down_arrow(c, 37, 31, 46, 2, 6, GREEN)
    # After: LF alone.
    c.text(31, 50, "LF", [NAVY, NAVY], True)
    text_lines(c, 13, 62, [42, 34, 44, 26], 3, GRAY)
    return c


def outline(canvas, colour, edge):
    """Rings every pixel of one colour with another, so a shape stands off the page."""
    ring = [(x, y) for y in range(canvas.height) for x in range(canvas.width)
            if canvas.pixels[y][x] != colour and any(
                0 <= x + dx < canvas.width and 0 <= y + dy < canvas.height
                and canvas.pixels[y + dy][x + dx] == colour
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))]
    for x, y in ring:
        canvas.put(x, y, edge)


def draw_icon():
    c = Canvas(32, 32, CLEAR)
    page(c, 2, 1, 22, 29, 6, 1, CLEAR)
    text_lines(c, 5, 5, [10, 8, 12, 9, 12], 3, GRAY)
    # The line-break mark: down the right edge, then left across the page.
    c.box(24, 10, 27, 24, GREEN)
    c.box(13, 21, 27, 24, GREEN)
    for i in range(5):
        c.box(12 - i, 18 + i, 12 - i, 27 - i, GREEN)
    outline(c, GREEN, BLACK)
    return c


def full_palette():
    """The 16 Windows colours, a 6x6x6 colour cube, then a ramp of greys: 256 entries."""
    colours = list(VGA)
    levels = [0, 51, 102, 153, 204, 255]
    colours += [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(8 + 10 * i, 8 + 10 * i, 8 + 10 * i) for i in range(256 - len(colours))]
    return colours


def palette_bytes(colours):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)


def info_header(width, height, bits, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, 0, 0)


def about_bmp(c):
    row_size = (c.width + 3) // 4 * 4
    rows = b"".join(bytes(c.pixels[y]) + bytes(row_size - c.width) for y in reversed(range(c.height)))
    dib = info_header(c.width, c.height, 8, len(rows)) + palette_bytes(full_palette()) + rows
    offset = 14 + 40 + 256 * 4
    return struct.pack("<2sIHHI", b"BM", 14 + len(dib), 0, 0, offset) + dib


def icon_ico(c):
    xor_rows, and_rows = b"", b""
    for y in reversed(range(c.height)):
        line = [BLACK if p == CLEAR else p for p in c.pixels[y]]
        xor_rows += bytes((line[x] << 4) | line[x + 1] for x in range(0, c.width, 2))
        mask = 0
        for x in range(c.width):
            mask = (mask << 1) | (c.pixels[y][x] == CLEAR)
        and_rows += struct.pack(">I", mask)
    # An icon's header counts the height of both masks together.
    image = info_header(c.width, 2 * c.height, 4, len(xor_rows) + len(and_rows))
    image += palette_bytes(VGA) + xor_rows + and_rows
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", c.width, c.height, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    outputs = {"about.bmp": about_bmp(draw_about()), "decrimp95.ico": icon_ico(draw_icon())}
    check = sys.argv[1:] == ["--check"]
    stale = []
    for name, data in outputs.items():
        path = os.path.join(HERE, name)
        if check:
            with open(path, "rb") as f:
                if f.read() != data:
                    stale.append(name)
        else:
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("not what make_pictures.py draws (run it again):", ", ".join(stale))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
