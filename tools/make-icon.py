#!/usr/bin/python3
"""Draws the application icon (res/app.ico): a play triangle on a rounded
dark tile with an accent arc. Rerun to regenerate; the output is stable."""
import os
from PIL import Image, ImageDraw

def tile(size):
    s = 8  # draw large, scale down for smooth edges
    im = Image.new("RGBA", (size * s, size * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    n = size * s
    d.rounded_rectangle([0, 0, n - 1, n - 1], radius=n // 5, fill=(25, 25, 25, 255))
    d.arc([n * 0.12, n * 0.12, n * 0.88, n * 0.88], 200, 520, fill=(0, 170, 255, 255), width=max(s, n // 14))
    d.polygon([(n * 0.40, n * 0.32), (n * 0.40, n * 0.68), (n * 0.70, n * 0.50)], fill=(235, 235, 235, 255))
    return im.resize((size, size), Image.LANCZOS)

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "app.ico")
tile(48).save(out, format="ICO", sizes=[(16, 16), (32, 32), (48, 48)])
