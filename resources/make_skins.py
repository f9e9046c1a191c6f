#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
"""Writes the panel's nine skin images beside this script.

Each skin is one rounded control drawn at the controls' height and cut into a start cap, a
one-pixel centre fill and an end cap. The middle of the control is the same in every column,
so the pieces join without a seam however far the fill is stretched. Standard library only.
"""
import os
import struct
import zlib

HEIGHT = 19  # the height of the panel's button and path display, in points
CAP = 6  # cap width: the corner radius plus a pixel of straight edge
WIDTH = 2 * CAP + 1
RADIUS = 4.0
SAMPLES = 4  # per axis, for antialiased edges


def png(path, rows):
    """Writes 8-bit RGBA rows (lists of (r, g, b, a) tuples) as a PNG file."""
    height = len(rows)
    width = len(rows[0])
    raw = b"".join(b"\x00" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def inside(x, y, left, top, right, bottom, radius):
    """Whether the point lies in the rounded rectangle."""
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def coverage(px, py, left, top, right, bottom, radius):
    hits = 0
    for i in range(SAMPLES):
        for j in range(SAMPLES):
            x = px + (i + 0.5) / SAMPLES
            y = py + (j + 0.5) / SAMPLES
            hits += inside(x, y, left, top, right, bottom, radius)
    return hits / (SAMPLES * SAMPLES)


def mix(a, b, t):
    return tuple(a[k] + (b[k] - a[k]) * t for k in range(3))


def skin(border, top_fill, bottom_fill, top_line, bottom_line):
    """One control: a one-pixel border around a vertical gradient, with optional light or dark
    lines (colour, opacity) just inside the top and bottom edges."""
    rows = []
    for y in range(HEIGHT):
        row = []
        fill = mix(top_fill, bottom_fill, y / (HEIGHT - 1))
        if top_line and y == 1:
            fill = mix(fill, top_line[0], top_line[1])
        if bottom_line and y == HEIGHT - 2:
            fill = mix(fill, bottom_line[0], bottom_line[1])
        for x in range(WIDTH):
            outer = coverage(x, y, 0, 0, WIDTH, HEIGHT, RADIUS)
            inner = coverage(x, y, 1, 1, WIDTH - 1, HEIGHT - 1, RADIUS - 1)
            if outer == 0:
                row.append((0, 0, 0, 0))
                continue
            # The fill over the border, both straight colours; the alpha is the outer shape's.
            colour = mix(border, fill, inner / outer)
            row.append(tuple(round(c) for c in colour) + (round(outer * 255),))
        rows.append(row)
    return rows


def write(folder, name, rows):
    png(os.path.join(folder, name + "StartCap.png"), [row[:CAP] for row in rows])
    png(os.path.join(folder, name + "CenterFill.png"), [row[CAP:CAP + 1] for row in rows])
    png(os.path.join(folder, name + "EndCap.png"), [row[CAP + 1:] for row in rows])


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    white = (255, 255, 255)
    black = (0, 0, 0)
    # A raised dark-grey button with a faint highlight along its top.
    write(folder, "Button",
          skin((24, 24, 24), (84, 84, 84), (62, 62, 62), (white, 0.10), None))
    # Pressed: sunk, darker, the shade at the top instead of the highlight.
    write(folder, "ButtonSelected",
          skin((18, 18, 18), (34, 34, 34), (48, 48, 48), (black, 0.35), None))
    # The path display: a recessed well, a faint light edge along its bottom.
    write(folder, "TextField",
          skin((20, 20, 20), (30, 30, 30), (36, 36, 36), (black, 0.30), (white, 0.06)))


if __name__ == "__main__":
    main()
