#!/usr/bin/python3
"""Draws the update window's skin: the thirteen PNG pictures in skin/update/,
once for every display scale.

The window is a borderless 500 x 200 dark dialog at 100 %. This script paints
its background (title band with the product name, flat body), the divider,
the progress track and its filled part, the close / OK / Cancel button faces,
the two text links, the three state pictures and the advice line.

Each picture is described once, in the pixels of the 100 % window, and drawn
afresh at 100, 150 and 200 % (skin/update/, skin/update/150/,
skin/update/200/): sizes, positions and font sizes scale, hairlines stay whole
pixels, so a larger set is as sharp as the smallest rather than a stretched
copy of it. A length of n pixels at 100 % is round(n * scale), halves up, as
the window scales its own layout.

Everything is drawn from fixed shapes and the WenQuanYi Zen Hei font, and the
PNGs are saved without any text chunks, so running it again gives
byte-identical files. Run it from anywhere: the output goes to skin/update/
under the repository root.
"""
import math
import os
import sys
from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
OUT = os.path.join(ROOT, "skin", "update")
FONT_FILE = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"

SS = 4  # shapes are drawn this many times larger, then box-filtered down

SCALES = (100, 150, 200)  # percent; 100 in skin/update/, the others in a folder of their own
K = 1.0  # the scale being drawn (set by main)


def px(n):
    """n pixels of the 100 % window at the current scale, halves rounded up."""
    return int(math.floor(n * K + 0.5))


def thin(n):
    """A line n pixels thick at 100 %: whole pixels at every scale, never 0."""
    return max(1, int(math.floor(n * K)))


def sup():
    """The supersampling factor in the units of the 100 % window: shapes are
    described in those units and multiplied by it (4, 6, 8)."""
    return SS * px(100) // 100

# Palette. The body colour is also the progress control's and the status
# line's fill, so the three must stay the same.
BODY = (25, 25, 25)
BAND = (34, 34, 34)
BAND_EDGE = (44, 44, 44)
BORDER = (58, 58, 58)
TITLE_TEXT = (222, 222, 222)
LIGHT_TEXT = (225, 225, 225)
MID_TEXT = (150, 150, 150)
ACCENT = (0, 158, 255)
ACCENT_LO = (0, 140, 255)
ACCENT_HI = (0, 200, 255)
LINK = (40, 168, 255)  # a touch lighter than the accent, for small text on dark
TRACK = (45, 45, 45)
TRACK_EDGE = (66, 66, 66)
NEUTRAL_BTN = (60, 60, 60)
NEUTRAL_BTN_TEXT = (215, 215, 215)
CLOSE_GLYPH = (200, 200, 200)
OK_GREEN = (46, 182, 96)
WARN = (240, 100, 50)
WHITE = (255, 255, 255)


def font(size):
    try:
        return ImageFont.truetype(FONT_FILE, size, index=0)
    except OSError:
        sys.exit("make-skin: font not found: " + FONT_FILE + " (apt-get install fonts-wqy-zenhei)")


def shape_mask(size, draw_fn):
    """Coverage mask of shapes drawn by draw_fn(draw, s) at SS times the size;
    s turns a length of the 100 % window into supersampled pixels."""
    w, h = size
    big = Image.new("L", (w * SS, h * SS), 0)
    draw_fn(ImageDraw.Draw(big), sup())
    return big.resize(size, Image.BOX)


def text_mask(size, xy, text, fnt):
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).text(xy, text, fill=255, font=fnt)
    return m


def layer(size, rgb, mask):
    """A flat colour whose alpha is the mask: clean edges on transparency."""
    im = Image.new("RGBA", size, rgb + (0,))
    im.putalpha(mask)
    return im


def ink_box(text, fnt):
    """Bounding box of the glyphs' ink when drawn at (0, 0)."""
    return fnt.getbbox(text)


def centred_xy(size, text, fnt):
    l, t, r, b = ink_box(text, fnt)
    w, h = size
    return ((w - (r - l)) // 2 - l, (h - (b - t)) // 2 - t)


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


# --- window background -----------------------------------------------------

def background():
    w, h = px(500), px(200)
    band, edge = px(40), thin(1)  # the band is the window's drag band
    im = Image.new("RGB", (w, h), BODY)
    d = ImageDraw.Draw(im)
    d.rectangle([0, 0, w - 1, band - 1], fill=BAND)
    d.rectangle([0, band - edge, w - 1, band - 1], fill=BAND_EDGE)
    d.rectangle([0, 0, w - 1, h - 1], outline=BORDER, width=thin(1))

    # A small accent play mark before the name ties the band to the app icon.
    def mark(dr, s):
        dr.polygon([(16 * s, 13 * s), (16 * s, 27 * s), (28 * s, 20 * s)], fill=255)
    m = shape_mask((w, h), mark)
    im.paste(Image.new("RGB", (w, h), ACCENT), (0, 0), m)

    f = font(px(14))
    d.text((px(36), px(12)), "Lumora 升级", fill=TITLE_TEXT, font=f)
    return im


# --- divider -----------------------------------------------------------------

def divider():
    # Opaque, with the ends fading into the body colour, so it looks the same
    # whether or not the picture is blended.
    w, h = px(458), px(2)
    im = Image.new("RGB", (w, h), BODY)
    pixels = im.load()
    top, bottom = (52, 52, 52), (16, 16, 16)
    fade = 60 * K
    for x in range(w):
        t = min(1.0, (x + 0.5) / fade, (w - x - 0.5) / fade)
        for y in range(h):
            pixels[x, y] = mix(BODY, top if y < h / 2 else bottom, t)
    return im


# --- progress bar --------------------------------------------------------------

BAR_RADIUS = 4


def bar_size():
    return px(400), px(12)


def bar_masks():
    size = bar_size()
    w, h = size[0] * SS, size[1] * SS
    edge = thin(1) * SS

    def outer(dr, s):
        dr.rounded_rectangle([0, 0, w - 1, h - 1], radius=BAR_RADIUS * s, fill=255)

    def inner(dr, s):
        dr.rounded_rectangle([edge, edge, w - edge - 1, h - edge - 1], radius=(BAR_RADIUS - 1) * s, fill=255)
    return shape_mask(size, outer), shape_mask(size, inner)


def progress_track():
    # Opaque: the bar copies without blending, so the corners carry the body
    # colour rather than transparency.
    outer, inner = bar_masks()
    bar = bar_size()
    im = Image.new("RGB", bar, BODY)
    im.paste(Image.new("RGB", bar, TRACK_EDGE), (0, 0), outer)
    im.paste(Image.new("RGB", bar, TRACK), (0, 0), inner)
    return im


def progress_fill():
    outer, _ = bar_masks()
    bar = bar_size()
    w, h = bar
    grad = Image.new("RGB", bar)
    pixels = grad.load()
    for y in range(h):
        # A faint sheen on the upper half keeps the stretched bar from looking flat.
        lift = 0.10 * max(0.0, 1.0 - y / (h / 2.0))
        for x in range(w):
            c = mix(ACCENT_LO, ACCENT_HI, x / (w - 1))
            pixels[x, y] = mix(c, WHITE, lift)
    im = Image.new("RGB", bar, BODY)
    im.paste(grad, (0, 0), outer)
    return im


# --- buttons and links -------------------------------------------------------

def close_face():
    size = (px(24), px(21))

    def cross(dr, s):
        a, b = 8, 16
        cy0, cy1 = 6.5, 14.5
        wdt = int(1.5 * s)
        dr.line([(a * s, cy0 * s), (b * s, cy1 * s)], fill=255, width=wdt)
        dr.line([(a * s, cy1 * s), (b * s, cy0 * s)], fill=255, width=wdt)
    return layer(size, CLOSE_GLYPH, shape_mask(size, cross))


def push_button(text, face, ink):
    size = (px(76), px(31))

    def body(dr, s):
        dr.rounded_rectangle([0, 0, size[0] * SS - 1, size[1] * SS - 1], radius=5 * s, fill=255)
    im = layer(size, face, shape_mask(size, body))
    f = font(px(14))
    im = Image.alpha_composite(im, layer(size, ink, text_mask(size, centred_xy(size, text, f), text, f)))
    return im


def link_rows(h, text, fnt):
    """Text origin y and the underline's first row for a link face of height h
    (the underline is thin(1) rows thick)."""
    l, t, r, b = ink_box(text, fnt)
    ink_h = b - t
    under = thin(1)
    # One clear line between text and underline when the face has room for it.
    gap = under if ink_h + 2 * under <= h else 0
    assert ink_h + gap + under <= h, (text, "does not fit")
    top = (h - (ink_h + gap + under)) // 2
    return top - t, top + ink_h + gap


def link(size, text, font_size):
    size = (px(size[0]), px(size[1]))
    f = font(px(font_size))
    l, t, r, b = ink_box(text, f)
    w, h = size
    x = (w - (r - l)) // 2 - l
    y, under_y = link_rows(h, text, f)
    m = text_mask(size, (x, y), text, f)
    ImageDraw.Draw(m).rectangle([(x + l, under_y), (x + r - 1, under_y + thin(1) - 1)], fill=255)
    return layer(size, LINK, m)


# --- state pictures ------------------------------------------------------------

ICON = 20
STATE_H = 24
TEXT_X = 28  # where the state text starts; the advice line lines up with it
# (all three in pixels of the 100 % window)


def badge_disc(dr, s):
    dr.ellipse([0, 0, px(ICON) * SS - 1, px(ICON) * SS - 1], fill=255)


def glyph_check(dr, s):
    dr.line([(5.5 * s, 10.5 * s), (8.7 * s, 13.7 * s), (14.5 * s, 6.8 * s)], fill=255, width=int(2 * s), joint="curve")


def glyph_arrow(dr, s):
    dr.polygon([(10 * s, 4.5 * s), (15 * s, 10 * s), (11.2 * s, 10 * s), (11.2 * s, 15.5 * s),
                (8.8 * s, 15.5 * s), (8.8 * s, 10 * s), (5 * s, 10 * s)], fill=255)


def badge_triangle(dr, s):
    dr.polygon([(10 * s, 1 * s), (19.5 * s, 18.5 * s), (0.5 * s, 18.5 * s)], fill=255)


def glyph_bang(dr, s):
    dr.rounded_rectangle([9 * s, 6.5 * s, 11 * s, 13 * s], radius=s, fill=255)
    dr.ellipse([9 * s, 14.5 * s, 11 * s, 16.5 * s], fill=255)


def state_picture(text, badge, badge_rgb, glyph, glyph_rgb):
    f = font(px(16))
    l, t, r, b = ink_box(text, f)
    state_h, icon_side, text_x = px(STATE_H), px(ICON), px(TEXT_X)
    w = min(px(400), text_x + (r - l) + px(2))
    size = (w, state_h)
    top = (state_h - icon_side) // 2
    icon_size = (icon_side, icon_side)
    icon = layer(icon_size, badge_rgb, shape_mask(icon_size, badge))
    icon = Image.alpha_composite(icon, layer(icon_size, glyph_rgb, shape_mask(icon_size, glyph)))
    im = Image.new("RGBA", size, (0, 0, 0, 0))
    im.paste(icon, (0, top))
    y = (state_h - (b - t)) // 2 - t
    im = Image.alpha_composite(im, layer(size, LIGHT_TEXT, text_mask(size, (text_x - l, y), text, f)))
    return im


def advice():
    # Indented to start under the state text, and kept short of the
    # download-page link that follows it at x 280 on the same line.
    text = "建议您前往官网手动下载安装："
    f = font(px(13))
    l, t, r, b = ink_box(text, f)
    w = px(TEXT_X) + (r - l) + 1
    assert px(50) + w <= px(272), w  # ends clear of the link at x 280
    size = (w, px(22))
    y, _ = link_rows(px(22), "点击下载", f)  # same baseline as the link beside it
    return layer(size, MID_TEXT, text_mask(size, (px(TEXT_X) - l, y), text, f))


def draw_set(out):
    os.makedirs(out, exist_ok=True)

    def save(im, name):
        # A fresh image carries no info, so nothing but pixels goes in the file.
        clean = Image.new(im.mode, im.size)
        clean.paste(im)
        clean.save(os.path.join(out, name), format="PNG", optimize=False)

    save(background(), "升级背景.png")
    save(divider(), "分割线.png")
    save(progress_track(), "进度背景.png")
    save(progress_fill(), "当前进度.png")
    save(close_face(), "关闭_hover.png")
    save(push_button("确定", ACCENT, WHITE), "确定.png")
    save(push_button("取消", NEUTRAL_BTN, NEUTRAL_BTN_TEXT), "取消.png")
    save(link((79, 12), "在线问题反馈", 10), "在线问题反馈.png")  # largest size that fits with its underline
    save(link((54, 22), "点击下载", 13), "点击下载.png")
    save(state_picture("当前已是最新版本，无需更新", badge_disc, OK_GREEN, glyph_check, WHITE), "无需更新.png")
    save(state_picture("发现新版本，是否立即更新？", badge_disc, ACCENT, glyph_arrow, WHITE), "发现新版本.png")
    save(state_picture("升级失败", badge_triangle, WARN, glyph_bang, WHITE), "升级失败.png")
    save(advice(), "建议.png")


def main():
    global K
    for percent in SCALES:
        K = percent / 100
        draw_set(OUT if percent == 100 else os.path.join(OUT, str(percent)))


if __name__ == "__main__":
    main()
