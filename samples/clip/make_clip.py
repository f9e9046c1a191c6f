#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
"""Makes the sample clip: twelve 480x270 8-bit PNG frames of a synthetic scene (a sky with a
moving sun, hills, a 24-patch colour chart and a grey step ramp), so a grade's effect on
gradients, saturated colours and neutrals shows at a glance. Standard library only.

Usage: samples/clip/make_clip.py [FOLDER]   (default: the folder of this script)
"""
import math
import os
import struct
import sys
import zlib

WIDTH, HEIGHT, FRAMES = 480, 270, 12
HORIZON = 170

# sRGB values of the 24 patches of the common colour-rendition chart, row by row.
CHART = [
    (115, 82, 68), (194, 150, 130), (98, 122, 157), (87, 108, 67), (133, 128, 177), (103, 189, 170),
    (214, 126, 44), (80, 91, 166), (193, 90, 99), (94, 60, 108), (157, 188, 64), (224, 163, 46),
    (56, 61, 150), (70, 148, 73), (175, 54, 60), (231, 199, 31), (187, 86, 149), (8, 133, 161),
    (243, 243, 242), (200, 200, 200), (160, 160, 160), (122, 122, 121), (85, 85, 85), (52, 52, 52),
]
PATCH, GAP = 16, 3
CHART_X, CHART_Y = WIDTH - 6 * (PATCH + GAP) - 20, HORIZON + 10
RAMP_STEPS, RAMP_Y, RAMP_H = 16, HEIGHT - 16, 10


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def hill_height(x, frame):
    return 22 + 14 * math.sin(x / 53.0 + 0.9) + 9 * math.sin(x / 23.0 + frame * 0.05)


def pixel(x, y, frame):
    sun_x = 60 + frame * 26
    sun_y = 120 - 18 * math.sin(frame / (FRAMES - 1) * math.pi)
    if y < HORIZON:
        sky = mix((0.10, 0.22, 0.52), (0.98, 0.72, 0.48), (y / HORIZON) ** 1.6)
        d = math.hypot(x - sun_x, y - sun_y)
        glow = math.exp(-((d / 55.0) ** 2)) * 0.55
        sky = mix(sky, (1.0, 0.86, 0.55), min(glow, 1.0))
        if d < 16:
            sky = mix((1.0, 0.97, 0.85), sky, max(0.0, (d - 14) / 2))
        if y > HORIZON - hill_height(x, frame):
            depth = (y - (HORIZON - hill_height(x, frame))) / 40.0
            sky = mix((0.20, 0.34, 0.16), (0.07, 0.16, 0.08), min(depth, 1.0))
        return sky
    ground = mix((0.30, 0.36, 0.18), (0.16, 0.20, 0.10), (y - HORIZON) / (HEIGHT - HORIZON))
    if RAMP_Y <= y < RAMP_Y + RAMP_H and 14 <= x < WIDTH - 14:
        step = (x - 14) * RAMP_STEPS // (WIDTH - 28)
        v = step / (RAMP_STEPS - 1)
        return (v, v, v)
    cx, cy = x - CHART_X, y - CHART_Y
    if -6 <= cx < 6 * (PATCH + GAP) + 2 and -6 <= cy < 4 * (PATCH + GAP) + 2:
        col, row = cx // (PATCH + GAP), cy // (PATCH + GAP)
        inside = 0 <= col < 6 and 0 <= row < 4 and cx % (PATCH + GAP) < PATCH and cy % (PATCH + GAP) < PATCH
        if inside:
            return tuple(c / 255.0 for c in CHART[row * 6 + col])
        return (0.09, 0.09, 0.09)
    return ground


def png(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = bytearray()
    previous = bytes(WIDTH * 3)
    for row in rows:
        # "Up" filtering: the scene changes slowly from row to row, so differences compress well.
        raw.append(2)
        raw.extend((a - b) & 0xFF for a, b in zip(row, previous))
        previous = row
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for frame in range(FRAMES):
        rows = []
        for y in range(HEIGHT):
            row = bytearray()
            for x in range(WIDTH):
                row.extend(max(0, min(255, round(c * 255))) for c in pixel(x, y, frame))
            rows.append(bytes(row))
        with open(os.path.join(folder, "clip.%04d.png" % (frame + 1)), "wb") as out:
            out.write(png(rows))


if __name__ == "__main__":
    main()
