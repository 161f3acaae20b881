#!/usr/bin/env python3
"""Draws the sample's emoticon pictures as PNG files.

    make_emotions.py FOLDER

Two-letter smileys (19 x 19) go into FOLDER, three-letter system icons
(16 x 16) into FOLDER/system. Pixels are either opaque or fully transparent
black: glyphs are drawn with black as the colour key, so edges stay hard.
"""
import math
import os
import struct
import sys
import zlib

CLEAR = (0, 0, 0, 0)


def write_png(path, pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def opaque(r, g, b):
    # Never pure black: black is the glyphs' transparent colour.
    return (max(r, 8), max(g, 8), max(b, 8), 255)


def canvas(size):
    return [[CLEAR] * size for _ in range(size)]


def disc(px, cx, cy, radius, colour):
    for y, row in enumerate(px):
        for x in range(len(row)):
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius * radius:
                row[x] = colour


def dot(px, x, y, colour):
    if 0 <= y < len(px) and 0 <= x < len(px[0]):
        px[y][x] = colour


def arc(px, cx, cy, radius, start, end, colour, steps=40):
    for i in range(steps + 1):
        a = math.radians(start + (end - start) * i / steps)
        dot(px, int(cx + radius * math.cos(a)), int(cy + radius * math.sin(a)), colour)


def face(body, mouth, eyes="dots"):
    size = 19
    px = canvas(size)
    ink = opaque(60, 40, 20)
    disc(px, 9.5, 9.5, 9.0, ink)
    disc(px, 9.5, 9.5, 8.0, body)
    if eyes == "dots":
        disc(px, 6.5, 7.0, 1.3, ink)
        disc(px, 12.5, 7.0, 1.3, ink)
    elif eyes == "wink":
        disc(px, 6.5, 7.0, 1.3, ink)
        for x in range(11, 15):
            dot(px, x, 7, ink)
    elif eyes == "shades":
        for x in range(4, 16):
            dot(px, x, 6, ink)
        disc(px, 6.5, 7.5, 2.0, ink)
        disc(px, 12.5, 7.5, 2.0, ink)
    elif eyes == "cross":
        for d in range(-1, 2):
            dot(px, 6 + d, 7 + d, ink)
            dot(px, 6 + d, 7 - d, ink)
            dot(px, 13 + d, 7 + d, ink)
            dot(px, 13 + d, 7 - d, ink)
    if mouth == "smile":
        arc(px, 9.5, 10.0, 4.5, 20, 160, ink)
    elif mouth == "laugh":
        for y in range(11, 15):
            for x in range(5, 15):
                if (x + 0.5 - 9.5) ** 2 / 25 + (y + 0.5 - 11) ** 2 / 12 <= 1:
                    px[y][x] = opaque(150, 30, 40)
    elif mouth == "sad":
        arc(px, 9.5, 17.0, 4.5, 205, 335, ink)
    elif mouth == "open":
        disc(px, 9.5, 13.0, 2.2, ink)
    elif mouth == "flat":
        for x in range(6, 14):
            dot(px, x, 13, ink)
    return px


def heart():
    px = canvas(19)
    red = opaque(230, 40, 70)
    for y in range(19):
        for x in range(19):
            u, v = (x + 0.5 - 9.5) / 8.0, -(y + 0.5 - 9.0) / 8.0
            if (u * u + v * v - 1) ** 3 - u * u * v ** 3 <= 0:
                px[y][x] = red
    return px


def badge(colour, symbol):
    px = canvas(16)
    disc(px, 8, 8, 7.6, opaque(30, 30, 40))
    disc(px, 8, 8, 6.6, colour)
    white = opaque(255, 255, 255)
    if symbol == "i":
        disc(px, 8, 4.5, 1.1, white)
        for y in range(7, 13):
            dot(px, 7, y, white)
            dot(px, 8, y, white)
    elif symbol == "x":
        for d in range(-3, 4):
            dot(px, 8 + d, 8 + d, white)
            dot(px, 7 + d, 8 + d, white)
            dot(px, 8 + d, 8 - d, white)
            dot(px, 7 + d, 8 - d, white)
    elif symbol == "v":
        for x, y in [(4, 8), (5, 9), (6, 10), (7, 11), (8, 10), (9, 9), (10, 8), (11, 7), (12, 6)]:
            dot(px, x, y, white)
            dot(px, x, y - 1, white)
    return px


def warning():
    px = canvas(16)
    edge, fill, mark = opaque(90, 60, 10), opaque(250, 200, 40), opaque(40, 30, 10)
    for y in range(1, 15):
        half = (y - 1) * 7.5 / 13
        for x in range(16):
            d = abs(x + 0.5 - 8)
            if d <= half + 0.6:
                px[y][x] = edge if d > half - 0.8 or y == 14 else fill
    for y in range(5, 11):
        dot(px, 7, y, mark)
        dot(px, 8, y, mark)
    dot(px, 7, 12, mark)
    dot(px, 8, 12, mark)
    return px


def main():
    folder = sys.argv[1]
    os.makedirs(os.path.join(folder, "system"), exist_ok=True)
    yellow = opaque(255, 214, 60)
    pictures = {
        "sm": face(yellow, "smile"),
        "lg": face(yellow, "laugh"),
        "sd": face(opaque(150, 190, 255), "sad"),
        "wk": face(yellow, "smile", "wink"),
        "sp": face(yellow, "open"),
        "co": face(yellow, "smile", "shades"),
        "dz": face(opaque(190, 230, 140), "flat", "cross"),
        "ht": heart(),
        "system/inf": badge(opaque(40, 110, 220), "i"),
        "system/err": badge(opaque(210, 40, 40), "x"),
        "system/yes": badge(opaque(40, 160, 70), "v"),
        "system/wrn": warning(),
    }
    for name, px in pictures.items():
        write_png(os.path.join(folder, name + ".png"), px)


if __name__ == "__main__":
    main()
