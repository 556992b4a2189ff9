#!/usr/bin/env python3
"""Draws the skin's images and the program's icons.

Run once from the repository root after changing a drawing:
    python3 resources/skin/make_skin_images.py
It needs nothing beyond the Python standard library and rewrites the PNG files
under resources/skin and resources/icons.
"""
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir)
SUB = 4  # sub-samples per axis for smooth edges


class Canvas:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [[(0, 0, 0, 0)] * width for _ in range(height)]

    def over(self, x, y, colour, cover):
        if cover <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        r, g, b, a = colour
        a = a / 255.0 * cover
        dr, dg, db, da = self.px[y][x]
        da = da / 255.0
        oa = a + da * (1 - a)
        if oa <= 0:
            return
        mix = lambda s, d: (s * a + d * da * (1 - a)) / oa
        self.px[y][x] = (round(mix(r, dr)), round(mix(g, dg)), round(mix(b, db)), round(oa * 255))

    def shape(self, inside, colour):
        """Paints colour (or colour(x, y)) where inside(fx, fy) holds, smoothed."""
        for y in range(self.h):
            for x in range(self.w):
                hits = 0
                for sy in range(SUB):
                    for sx in range(SUB):
                        if inside(x + (sx + 0.5) / SUB, y + (sy + 0.5) / SUB):
                            hits += 1
                if hits:
                    c = colour(x, y) if callable(colour) else colour
                    self.over(x, y, c, hits / (SUB * SUB))

    def set(self, x, y, colour):
        self.px[y][x] = colour

    def save(self, relative):
        path = os.path.join(ROOT, relative)
        raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in self.px)
        chunk = lambda tag, data: (struct.pack(">I", len(data)) + tag + data +
                                   struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))
        png = (b"\x89PNG\r\n\x1a\n" +
               chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0)) +
               chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(png)
        os.replace(tmp, path)


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def vgradient(top, bottom, height):
    def colour(_x, y):
        t = y / max(1, height - 1)
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    return colour


def hgradient(left, right, width):
    def colour(x, _y):
        t = x / max(1, width - 1)
        return tuple(round(a + (b - a) * t) for a, b in zip(left, right))
    return colour


def framed(w, h, radius, border, top, bottom, name, horizontal=False, width=1):
    """A rounded frame `width` pixels wide round a filled inside."""
    c = Canvas(w, h)
    c.shape(rounded(0, 0, w, h, radius), border)
    fill = hgradient(top, bottom, w) if horizontal else vgradient(top, bottom, h)
    c.shape(rounded(width, width, w - width, h - width, max(0, radius - width)), fill)
    c.save(name)


# Borders that identify a control contrast at least 3:1 with the white window (118 grey:
# 4.5:1); the focus is a frame two pixels wide in FOCUS, at least 3:1 against the border
# and the inside it replaces, and unlike the lighter blue frame of a hovered control.
BORDER = (118, 118, 118, 255)
FOCUS = (0, 25, 100, 255)


def triangle(w, h, direction, colour, name):
    c = Canvas(w, h)

    def inside(x, y):
        if direction in ("down", "up"):
            t = y / h if direction == "down" else (h - y) / h
            half = (1 - t) * w / 2
            return abs(x - w / 2) <= half
        t = x / w if direction == "right" else (w - x) / w
        half = (1 - t) * h / 2
        return abs(y - h / 2) <= half
    c.shape(inside, colour)
    c.save(name)


def buttons():
    framed(75, 25, 3, BORDER, (252, 252, 252, 255), (222, 222, 222, 255),
           "resources/skin/button_norm.png")
    framed(75, 25, 3, (60, 110, 190, 255), (244, 249, 255, 255), (205, 222, 245, 255),
           "resources/skin/button_hl.png")
    framed(75, 25, 3, FOCUS, (252, 252, 252, 255), (222, 222, 222, 255),
           "resources/skin/button_focus.png", width=2)
    framed(75, 25, 3, (70, 95, 140, 255), (196, 206, 222, 255), (226, 232, 242, 255),
           "resources/skin/button_pressed.png")
    framed(75, 25, 3, (190, 190, 190, 255), (242, 242, 242, 255), (236, 236, 236, 255),
           "resources/skin/button_disabled.png")


def fields():
    # Frames of line edits and combo boxes: a thin border round a white field.
    framed(12, 12, 2, BORDER, (255, 255, 255, 255), (255, 255, 255, 255),
           "resources/skin/field.png")
    framed(12, 12, 2, FOCUS, (255, 255, 255, 255), (255, 255, 255, 255),
           "resources/skin/field_focus.png", width=2)
    framed(12, 12, 2, (200, 200, 200, 255), (245, 245, 245, 255), (245, 245, 245, 255),
           "resources/skin/field_disabled.png")
    triangle(9, 5, "down", (40, 40, 40, 255), "resources/skin/arrow_down.png")
    triangle(9, 5, "up", (40, 40, 40, 255), "resources/skin/arrow_up.png")
    triangle(5, 9, "left", (40, 40, 40, 255), "resources/skin/arrow_left.png")
    triangle(5, 9, "right", (40, 40, 40, 255), "resources/skin/arrow_right.png")
    triangle(9, 5, "down", (160, 160, 160, 255), "resources/skin/arrow_down_disabled.png")


def scroll_bars():
    # Handles: vertical ones lit from the left, horizontal ones from the top.
    framed(15, 30, 3, (150, 150, 150, 255), (250, 250, 250, 255), (215, 215, 215, 255),
           "resources/skin/v_scroll.png", horizontal=True)
    framed(30, 15, 3, (150, 150, 150, 255), (250, 250, 250, 255), (215, 215, 215, 255),
           "resources/skin/h_scroll.png")
    framed(15, 30, 3, (60, 110, 190, 255), (244, 249, 255, 255), (200, 218, 242, 255),
           "resources/skin/v_scroll_hl.png", horizontal=True)
    framed(30, 15, 3, (60, 110, 190, 255), (244, 249, 255, 255), (200, 218, 242, 255),
           "resources/skin/h_scroll_hl.png")


def progress():
    framed(10, 16, 2, (40, 95, 175, 255), (130, 180, 240, 255), (55, 115, 200, 255),
           "resources/skin/progress_chunk.png")


def program_icon():
    # An envelope with a round "@" badge: the program makes mail addresses.
    c = Canvas(80, 62)
    blue = (30, 70, 140, 255)
    c.shape(rounded(4, 9, 66, 55, 3), blue)
    c.shape(rounded(6.5, 11.5, 63.5, 52.5, 1.5), vgradient((255, 255, 255, 255),
                                                           (228, 236, 248, 255), 62))

    def flap(x, y):
        # Two strokes from the upper corners meeting in the middle of the envelope.
        mid_x, mid_y = 35.0, 34.0
        for (ax, ay) in ((6.5, 11.5), (63.5, 11.5)):
            dx, dy = mid_x - ax, mid_y - ay
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
            px, py = ax + t * dx, ay + t * dy
            if (x - px) ** 2 + (y - py) ** 2 <= 1.3 ** 2:
                return True
        return False
    c.shape(flap, blue)

    cx, cy = 61.0, 41.0
    ring = lambda r0, r1: (lambda x, y: r0 ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 ** 2)
    c.shape(ring(0, 17.5), (255, 255, 255, 255))
    c.shape(ring(0, 16), vgradient((255, 160, 60, 255), (225, 95, 20, 255), 62))
    white = (255, 255, 255, 255)
    # The "@": an open outer ring, an inner ring and the stem that joins them.
    import math

    def outer(x, y):
        d = math.hypot(x - cx, y - cy)
        ang = math.degrees(math.atan2(y - cy, x - cx))
        return 9.2 <= d <= 11.6 and not (10 < ang < 55)
    c.shape(outer, white)
    c.shape(ring(3.0, 5.2), white)
    c.shape(lambda x, y: cx + 3.2 <= x <= cx + 5.4 and cy - 5.2 <= y <= cy + 3.5, white)

    def tail(x, y):
        d = math.hypot(x - (cx + 7.6), y - (cy + 3.5))
        return 2.2 <= d <= 4.4 and y >= cy + 3.5
    c.shape(tail, white)
    c.save("resources/icons/korvani.png")


HAND = [
    # '#' is the hand (its edge becomes the black outline), '|' a black line
    # between fingers; the hot spot is the fingertip at x 6, y 0.
    "     ###",
    "    #####",
    "    #####",
    "    #####",
    "    #####",
    "    #####",
    "    #####",
    "    ####|###",
    "    ####|#####",
    "    ####|###|####",
    "    ####|###|###|###",
    " #######|###|###|###",
    "################|###",
    "####################",
    "####################",
    " ###################",
    "  ##################",
    "   #################",
    "    ###############",
    "     #############",
    "     #############",
    "     #############",
    "     #############",
]


def hand_cursor():
    c = Canvas(32, 32)
    mask = set()
    for y, row in enumerate(HAND):
        for x, ch in enumerate(row):
            if ch in "#|":
                mask.add((x, y))
    black, white = (0, 0, 0, 255), (255, 255, 255, 255)
    for (x, y) in mask:
        edge = any((x + dx, y + dy) not in mask for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        c.set(x, y, black if edge or HAND[y][x] == "|" else white)
    c.save("resources/icons/hand.png")


if __name__ == "__main__":
    buttons()
    fields()
    scroll_bars()
    progress()
    program_icon()
    hand_cursor()
