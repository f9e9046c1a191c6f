#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
"""Writes the bundled sample LUTs: a warm grade (17), a cool grade (33), a high-contrast look (65).

Run from anywhere: python3 samples/luts/make_samples.py. The output is deterministic, so the
committed files only change when a look changes here.
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def luma(r, g, b):
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def saturate(rgb, amount):
    y = luma(*rgb)
    return tuple(y + (c - y) * amount for c in rgb)


def warm(r, g, b):
    # Lift the reds, pull the blues, warm the mid-tones a touch more than the ends.
    mid = 4.0 * luma(r, g, b) * (1.0 - luma(r, g, b))
    return (r * 1.06 + 0.02 * mid, g * 1.01 + 0.01 * mid, b * 0.88)


def cool(r, g, b):
    # A blue cast in the shadows, slightly muted colour.
    shadow = (1.0 - luma(r, g, b)) ** 2
    r, g, b = saturate((r, g, b), 0.9)
    return (r * 0.93, g * 0.99 + 0.01 * shadow, b * 1.04 + 0.04 * shadow)


def high_contrast(r, g, b):
    # A smooth S-curve on every channel, then more saturation.
    def curve(x):
        return 0.5 + 0.5 * math.tanh(3.2 * (x - 0.5)) / math.tanh(1.6)
    return saturate((curve(r), curve(g), curve(b)), 1.25)


LOOKS = [
    ("Warm.cube", "Huecast sample: warm grade", 17, warm),
    ("Cool.cube", "Huecast sample: cool grade", 33, cool),
    ("HighContrast.cube", "Huecast sample: high-contrast look", 65, high_contrast),
]


def write_look(name, title, edge, look):
    path = os.path.join(HERE, name)
    with open(path, "w", newline="\n") as out:
        out.write(f'TITLE "{title}"\n')
        out.write("# Made by samples/luts/make_samples.py\n")
        out.write(f"LUT_3D_SIZE {edge}\n")
        out.write("DOMAIN_MIN 0.0 0.0 0.0\nDOMAIN_MAX 1.0 1.0 1.0\n\n")
        scale = 1.0 / (edge - 1)
        # Red varies fastest, then green, then blue.
        for b in range(edge):
            for g in range(edge):
                for r in range(edge):
                    out_rgb = look(r * scale, g * scale, b * scale)
                    out.write(" ".join(f"{min(max(c, 0.0), 1.0):.6f}" for c in out_rgb) + "\n")


if __name__ == "__main__":
    for entry in LOOKS:
        write_look(*entry)
