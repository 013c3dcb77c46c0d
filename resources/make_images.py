#!/usr/bin/env python3
"""Draws the module's icon and toolbox bitmap: a card reader with a chip card
standing in its slot.

Usage: make_images.py ICON_PATH BITMAP_PATH

The images are drawn from a few shapes on the standard 16-colour palette and
written as a two-image .ico (32x32 and 16x16, 4 bits per pixel, with a
transparency mask) and a 16x15 4-bit .bmp. The output is byte-for-byte the
same on every run, so the build stays reproducible and git holds no binaries.
"""

import struct
import sys

# The 16-colour palette every 4-bit image of the platform is drawn in (RGB).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, OLIVE, NAVY, TEAL, SILVER, GRAY, LIME, YELLOW, BLUE, CYAN, WHITE = (
    0, 3, 4, 6, 7, 8, 10, 11, 12, 14, 15)

# Toolbox containers take the bottom-left pixel's colour as transparent;
# silver is also the classic button face, so the glyph sits well either way.
TOOLBOX_BACKGROUND = SILVER


class Canvas:
    """A grid of palette indices; None marks a transparent pixel."""

    def __init__(self, width, height, background=None):
        self.width, self.height, self.background = width, height, background
        self.pixels = [[background] * width for _ in range(height)]

    def fill(self, left, top, right, bottom, colour):
        """Fills the rectangle with both corners inclusive."""
        for y in range(max(top, 0), min(bottom, self.height - 1) + 1):
            for x in range(max(left, 0), min(right, self.width - 1) + 1):
                self.pixels[y][x] = colour

    def frame(self, left, top, right, bottom, outline, inside, rounded=False):
        """An outlined rectangle; rounded gives its four corner pixels back to the background."""
        self.fill(left, top, right, bottom, outline)
        self.fill(left + 1, top + 1, right - 1, bottom - 1, inside)
        if rounded:
            for x, y in ((left, top), (right, top), (left, bottom), (right, bottom)):
                if 0 <= y < self.height and 0 <= x < self.width:
                    self.pixels[y][x] = self.background

    def point(self, x, y, colour):
        self.fill(x, y, x, y, colour)


def draw_large():
    """32x32: a card with its chip and printing, half-way into the reader's
    slot; the reader has a display, a status light and a keypad."""
    c = Canvas(32, 32)
    c.frame(10, 1, 21, 15, BLACK, WHITE, rounded=True)  # the card
    c.fill(11, 3, 20, 4, BLUE)                     # its issuer's band
    c.frame(12, 6, 16, 9, OLIVE, YELLOW)           # its contact chip
    c.fill(14, 6, 14, 9, OLIVE)
    c.fill(12, 11, 19, 11, GRAY)                   # embossed number
    c.frame(3, 13, 28, 29, BLACK, GRAY, rounded=True)  # the reader's body
    c.fill(4, 14, 27, 14, SILVER)                  # light falling on its top
    c.fill(10, 13, 21, 14, WHITE)                  # the card passes in front
    c.fill(10, 13, 10, 14, BLACK)
    c.fill(21, 13, 21, 14, BLACK)
    c.fill(8, 15, 23, 15, BLACK)                   # the slot swallows the card
    c.frame(6, 18, 22, 21, BLACK, TEAL)            # display
    c.fill(8, 19, 14, 20, CYAN)                    # text on the display
    c.frame(24, 18, 26, 20, BLACK, LIME)           # status light
    for row in (23, 26):                           # keypad, two rows of four
        for col in (7, 11, 15, 19):
            c.fill(col, row, col + 2, row + 1, SILVER)
            c.fill(col, row, col + 2, row, WHITE)
    c.fill(23, 23, 26, 27, NAVY)                   # the enter key
    return c


def draw_small(height=16, background=None):
    """16x16 (or 16x15 for the toolbox, one row less above the card)."""
    c = Canvas(16, height, background)
    top = height - 16                              # -1 crops the card's top row
    c.frame(5, top + 1, 10, top + 8, BLACK, WHITE)     # the card
    c.fill(6, top + 2, 9, top + 2, BLUE)               # its band
    c.fill(6, top + 4, 7, top + 5, YELLOW)             # its chip
    c.frame(1, top + 7, 14, top + 15, BLACK, GRAY, rounded=True)  # the reader
    c.fill(6, top + 7, 9, top + 7, WHITE)              # card in front of the top
    c.fill(3, top + 8, 12, top + 8, BLACK)             # the slot
    c.fill(3, top + 10, 9, top + 11, TEAL)             # display
    c.fill(4, top + 10, 7, top + 10, CYAN)
    c.point(11, top + 10, LIME)                        # status light
    for x in (3, 5, 7, 9, 11):                         # keypad
        c.point(x, top + 13, WHITE)
    return c


def four_bit_row(pixels):
    """Two pixels a byte, the left one in the high nibble."""
    indices = [BLACK if p is None else p for p in pixels]
    return bytes((indices[i] << 4) | indices[i + 1] for i in range(0, len(indices), 2))


def mask_row(pixels):
    """The AND mask: one bit a pixel, set where the pixel is transparent."""
    bits = [1 if p is None else 0 for p in pixels]
    return bytes(sum(bit << (7 - i) for i, bit in enumerate(bits[b:b + 8]))
                 for b in range(0, len(bits), 8))


def dib_rows(canvas, pack):
    """Rows bottom-up, each padded to a multiple of four bytes, as DIBs store them."""
    rows = (pack(canvas.pixels[y]) for y in reversed(range(canvas.height)))
    return b"".join(row + b"\0" * (-len(row) % 4) for row in rows)


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 16)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def icon_image(canvas):
    """One icon image: a DIB of double height, colour bits then the AND mask."""
    colours = dib_rows(canvas, four_bit_row)
    mask = dib_rows(canvas, mask_row)
    return (info_header(canvas.width, 2 * canvas.height, len(colours) + len(mask))
            + palette_bytes() + colours + mask)


def icon_file(canvases):
    images = [icon_image(c) for c in canvases]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for canvas, image in zip(canvases, images):
        directory += struct.pack("<BBBBHHII", canvas.width, canvas.height, 16, 0, 1, 4,
                                 len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def bitmap_file(canvas):
    pixels = dib_rows(canvas, four_bit_row)
    header_size = 14 + 40 + 4 * len(PALETTE)
    return (struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
            + info_header(canvas.width, canvas.height, len(pixels)) + palette_bytes() + pixels)


def main(argv):
    if len(argv) != 3:
        sys.exit("usage: make_images.py ICON_PATH BITMAP_PATH")
    with open(argv[1], "wb") as f:
        f.write(icon_file([draw_large(), draw_small()]))
    with open(argv[2], "wb") as f:
        f.write(bitmap_file(draw_small(height=15, background=TOOLBOX_BACKGROUND)))


if __name__ == "__main__":
    main(sys.argv)
