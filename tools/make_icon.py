#!/usr/bin/python3
"""Draws the application icon: a bright star with four diffraction spikes
over a dark sky disc, 256 x 256 pixels with a transparent surround.

    /usr/bin/python3 tools/make_icon.py [OUTPUT]

OUTPUT defaults to data/velmora.png beside this script's folder. Needs PIL
(Debian: python3-pil). The drawing is deterministic, so running it again
gives the same picture; the PNG is palettised to keep it to a few kilobytes.
"""
import os
import random
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, features

SIZE = 256
SCALE = 4  # drawn large, then reduced: smooth edges without an anti-aliasing renderer
N = SIZE * SCALE
CENTRE = N / 2


def disc_mask(margin):
    mask = Image.new("L", (N, N), 0)
    ImageDraw.Draw(mask).ellipse((margin, margin, N - 1 - margin, N - 1 - margin), fill=255)
    return mask


def sky():
    # Image.radial_gradient runs from 0 at the centre to 255 at the corners of
    # its 256 x 256 square; the disc edge sits at about 181 of that.
    gradient = Image.radial_gradient("L").resize((N, N), Image.Resampling.BILINEAR)
    centre = Image.new("RGB", (N, N), (30, 48, 86))
    edge = Image.new("RGB", (N, N), (5, 8, 20))
    return Image.composite(edge, centre, gradient)


def background_stars(rng):
    layer = Image.new("RGB", (N, N), 0)
    draw = ImageDraw.Draw(layer)
    for _ in range(34):
        x, y = rng.uniform(0.15, 0.85) * N, rng.uniform(0.15, 0.85) * N
        if abs(x - CENTRE) < 0.12 * N and abs(y - CENTRE) < 0.12 * N:
            continue  # the main star's glow would swallow it anyway
        r = rng.choice((1.2, 1.6, 2.2, 3.0)) * SCALE
        level = rng.randint(110, 230)
        tint = (level, level, min(255, level + 25))
        draw.ellipse((x - r, y - r, x + r, y + r), fill=tint)
    return layer.filter(ImageFilter.GaussianBlur(0.6 * SCALE))


def spikes(length, half_width):
    layer = Image.new("L", (N, N), 0)
    draw = ImageDraw.Draw(layer)
    c = CENTRE
    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
        tip = (c + dx * length, c + dy * length)
        side_a = (c - dy * half_width, c + dx * half_width)
        side_b = (c + dy * half_width, c - dx * half_width)
        draw.polygon((side_a, tip, side_b), fill=255)
    return layer


def glow(radius, blur):
    layer = Image.new("L", (N, N), 0)
    ImageDraw.Draw(layer).ellipse((CENTRE - radius, CENTRE - radius, CENTRE + radius, CENTRE + radius), fill=255)
    return layer.filter(ImageFilter.GaussianBlur(blur))


def tinted(mask, colour):
    return Image.composite(Image.new("RGB", (N, N), colour), Image.new("RGB", (N, N), 0), mask)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data", "velmora.png")
    rng = random.Random(7)

    picture = sky()
    picture = ImageChops.add(picture, background_stars(rng))

    # Light adds up as it does on a sensor: halo, long faint spikes, short
    # bright spikes, then the saturated core.
    picture = ImageChops.add(picture, tinted(glow(0.10 * N, 0.07 * N), (120, 150, 210)))
    picture = ImageChops.add(picture, tinted(spikes(0.40 * N, 0.022 * N).filter(ImageFilter.GaussianBlur(SCALE)),
                                             (150, 175, 230)))
    picture = ImageChops.add(picture, tinted(spikes(0.22 * N, 0.016 * N).filter(ImageFilter.GaussianBlur(SCALE)),
                                             (255, 255, 255)))
    picture = ImageChops.add(picture, tinted(glow(0.045 * N, 0.012 * N), (255, 255, 255)))

    # A thin pale rim keeps the disc readable on dark panels.
    rim = ImageChops.subtract(disc_mask(2 * SCALE), disc_mask(5 * SCALE))
    picture = Image.composite(Image.new("RGB", (N, N), (96, 120, 168)), picture, rim)

    icon = picture.convert("RGBA")
    icon.putalpha(disc_mask(2 * SCALE))
    icon = icon.resize((SIZE, SIZE), Image.Resampling.LANCZOS)
    # libimagequant dithers the halo smoothly in 64 colours; the octree
    # quantiser that every Pillow has bands it a little but does the job.
    method = Image.Quantize.LIBIMAGEQUANT if features.check("libimagequant") else Image.Quantize.FASTOCTREE
    icon = icon.quantize(colors=64, method=method)
    icon.save(out, optimize=True)


if __name__ == "__main__":
    main()
