#!/usr/bin/python3
"""Draws every picture of the compiled-in resource collection.

Run resources/regenerate (it installs the drawing tools first) or this script directly;
the pictures land in resources/pic/ and are committed, so a normal build needs none of
the drawing tools. Everything is drawn from code: change a colour or a shape here and
regenerate.

Pictures are drawn at a multiple of their final size and scaled down, which gives
smooth edges without any anti-aliasing support in the drawing primitives. Every picture
is saved twice: at its own size and, as "name@2x.ext", at twice its size from the same
drawing (every drawing is made at least twice as large as the picture), which Qt uses on
screens with two device pixels per logical pixel.
"""

import io
import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
PIC = os.path.join(HERE, "pic")
FONT_DIR = "/usr/share/fonts/truetype/open-sans"

# The program's colours: orange for everything selected or active, grey for inactive
# tracks, white text on a deep violet-black.
ORANGE = (255, 166, 0)
ORANGE_DEEP = (214, 112, 0)
ORANGE_PALE = (255, 205, 110)
GREY = (167, 167, 169)
WHITE = (255, 255, 255)
VIOLET_LINE = (77, 68, 95)
NIGHT = (10, 6, 30)
NIGHT_MID = (28, 18, 58)
# What the speaker-test pictures are seen against; GIF edges are blended onto it
# because a GIF pixel is either opaque or fully transparent.
TEST_MATTE = (18, 12, 38)

SPEAKER_RING_RADIUS = 380  # distance of the speakers from the listener, 1080 px canvas
CANVAS = 1080


# ---------------------------------------------------------------- helpers


def font(style, px):
    return ImageFont.truetype(os.path.join(FONT_DIR, "OpenSans-%s.ttf" % style), int(round(px)))


def canvas(w, h, scale, fill=(0, 0, 0, 0)):
    return Image.new("RGBA", (w * scale, h * scale), fill)


def sketch(w, h, scale):
    """A transparent canvas `scale` times the final size, its pen, and the scale."""
    img = canvas(w, h, scale)
    return img, ImageDraw.Draw(img), scale


def down(img, w, h):
    return img.resize((w, h), Image.LANCZOS)


def at2x(name):
    stem, ext = os.path.splitext(name)
    return stem + "@2x" + ext


def save_pair(big, w, h, name, colours=None, rgb=False):
    """Saves the drawing `big` as a w x h picture and as its 2w x 2h twin."""
    assert big.width >= 2 * w and big.height >= 2 * h, name
    for size, path in (((w, h), name), ((2 * w, 2 * h), at2x(name))):
        img = big if big.size == size else down(big, *size)
        save_png(img.convert("RGB") if rgb else img, path, colours)


def rgba(colour, alpha=255):
    return tuple(colour[:3]) + (int(alpha),)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def vertical_gradient(w, h, stops):
    """stops: list of (position 0..1, rgb)."""
    column = Image.new("RGB", (1, h))
    for y in range(h):
        t = y / max(1, h - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                column.putpixel((0, y), mix(c0, c1, (t - p0) / max(1e-9, p1 - p0)))
                break
    return column.resize((w, h))


def radial_light(w, h, cx, cy, rx, ry, colour, strength):
    """An RGBA layer: colour fading from strength at (cx, cy) to nothing at the ellipse."""
    n = 256
    half = (n - 1) / 2
    small = Image.new("L", (n, n))
    small.putdata([int(255 * strength * max(0.0, 1 - math.hypot((i % n - half) / half, (i // n - half) / half)) ** 1.6)
                   for i in range(n * n)])
    mask = small.resize((int(2 * rx), int(2 * ry)), Image.BILINEAR)
    layer = Image.new("RGBA", (w, h), rgba(colour, 0))
    full = Image.new("L", (w, h), 0)
    full.paste(mask, (int(cx - rx), int(cy - ry)))
    layer.putalpha(full)
    return layer


def spaced_text(draw, xy, text, fnt, fill, tracking, anchor="ls"):
    """Text with extra letter spacing; anchor l/m/r horizontally, baseline or middle vertically."""
    widths = [draw.textlength(ch, font=fnt) for ch in text]
    total = sum(widths) + tracking * (len(text) - 1)
    x, y = xy
    if anchor[0] == "m":
        x -= total / 2
    elif anchor[0] == "r":
        x -= total
    for ch, w in zip(text, widths):
        draw.text((x, y), ch, font=fnt, fill=fill, anchor="l" + anchor[1])
        x += w + tracking
    return total


def glow(layer, radius, boost=1.0):
    """Blurred copy of a layer under itself: a soft light around bright shapes."""
    blurred = layer.filter(ImageFilter.GaussianBlur(radius))
    if boost != 1.0:
        a = blurred.getchannel("A").point(lambda v: min(255, int(v * boost)))
        blurred.putalpha(a)
    return Image.alpha_composite(blurred, layer)


def save_png(img, name, colours=None):
    """Saves below pic/; `colours` quantises to a palette (with alpha) for small files."""
    path = os.path.join(PIC, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if colours:
        if img.mode == "RGBA":
            img = img.quantize(colours, method=Image.FASTOCTREE, dither=Image.NONE)
        else:
            img = img.convert("RGB").quantize(colours, method=Image.MEDIANCUT, dither=Image.FLOYDSTEINBERG)
    img.save(path, optimize=True)
    print("%-40s %7d bytes" % (name, os.path.getsize(path)))


def rotate_points(points, angle_deg, cx, cy):
    a = math.radians(angle_deg)
    ca, sa = math.cos(a), math.sin(a)
    return [(cx + x * ca - y * sa, cy + x * sa + y * ca) for x, y in points]


def arc_band(cx, cy, r_in, r_out, start_deg, end_deg, steps=48):
    """Polygon of a thick arc with round-free square ends (angles clockwise from +x)."""
    pts = []
    for i in range(steps + 1):
        a = math.radians(start_deg + (end_deg - start_deg) * i / steps)
        pts.append((cx + r_out * math.cos(a), cy + r_out * math.sin(a)))
    for i in range(steps, -1, -1):
        a = math.radians(start_deg + (end_deg - start_deg) * i / steps)
        pts.append((cx + r_in * math.cos(a), cy + r_in * math.sin(a)))
    return pts


# ---------------------------------------------------------------- brand marks


def emblem(draw, cx, cy, r, colour, inner=None):
    """The brand emblem: a hexagon ring holding three rising sound bars."""
    hexagon = [(cx + r * math.cos(math.radians(90 + 60 * i)), cy + r * math.sin(math.radians(90 + 60 * i)))
               for i in range(6)]
    draw.polygon(hexagon, fill=rgba(colour))
    ri = r * 0.78
    inner_hex = [(cx + ri * math.cos(math.radians(90 + 60 * i)), cy + ri * math.sin(math.radians(90 + 60 * i)))
                 for i in range(6)]
    draw.polygon(inner_hex, fill=inner or rgba(NIGHT))
    bw = r * 0.16
    for i, hgt in enumerate((0.45, 0.85, 0.62)):
        x = cx + (i - 1) * bw * 1.75
        draw.rounded_rectangle([x - bw / 2, cy - r * hgt / 2, x + bw / 2, cy + r * hgt / 2], radius=bw / 2,
                               fill=rgba(colour))


def headset_glyph(draw, cx, cy, size, colour, width):
    """A front view headset outline: band and two cups."""
    s = size
    draw.arc([cx - s * 0.42, cy - s * 0.45, cx + s * 0.42, cy + s * 0.39], 180, 360, fill=rgba(colour),
             width=int(width))
    for side in (-1, 1):
        x = cx + side * s * 0.42
        draw.rounded_rectangle([x - s * 0.12, cy - s * 0.04, x + s * 0.12, cy + s * 0.36], radius=s * 0.08,
                               fill=rgba(colour))


# ---------------------------------------------------------------- window icon


def icon_picture():
    """The program's icon on a 64 px design grid, drawn 8 times larger."""
    img, d, s = sketch(64, 64, 8)
    S = 64 * s
    d.rounded_rectangle([2 * s, 2 * s, S - 2 * s, S - 2 * s], radius=14 * s,
                        fill=rgba(NIGHT_MID), outline=rgba(ORANGE), width=3 * s)
    headset_glyph(d, S / 2, S * 0.47, S * 0.78, ORANGE, 5 * s)
    # sound bars between the cups
    for i, h in enumerate((0.10, 0.20, 0.14)):
        x = S / 2 + (i - 1) * 6 * s
        d.rounded_rectangle([x - 2 * s, S * 0.62 - h * S / 2, x + 2 * s, S * 0.62 + h * S / 2],
                            radius=2 * s, fill=rgba(WHITE))
    return img


def icon():
    img = icon_picture()
    # Written by hand so that the largest image comes first: whoever loads the file as a
    # single picture gets the big one, and QIcon still finds the small ones for the tray.
    # The twin holds every size doubled.
    for name, sizes in (("Icon.ico", [64, 48, 32, 24, 16]), ("Icon@2x.ico", [128, 96, 64, 48, 32])):
        blobs = []
        for size in sizes:
            buf = io.BytesIO()
            down(img, size, size).save(buf, format="PNG", optimize=True)
            blobs.append(buf.getvalue())
        path = os.path.join(PIC, name)
        with open(path, "wb") as f:
            f.write(struct.pack("<HHH", 0, 1, len(sizes)))
            offset = 6 + 16 * len(sizes)
            for size, blob in zip(sizes, blobs):
                f.write(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
                offset += len(blob)
            for blob in blobs:
                f.write(blob)
        print("%-40s %7d bytes" % (name, os.path.getsize(path)))


def desktop_icon():
    """The large icon of the desktop's icon theme (the package scales it to 128 px); not
    compiled in, since the window and the tray never show it that large."""
    path = os.path.join(HERE, "desktop", "ToneTuningTool-256.png")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    down(icon_picture(), 256, 256).save(path, optimize=True)
    print("%-40s %7d bytes" % ("desktop/ToneTuningTool-256.png", os.path.getsize(path)))


# ---------------------------------------------------------------- small controls


def disc(draw, cx, cy, r, **style):
    draw.ellipse([cx - r, cy - r, cx + r, cy + r], **style)


def slider_handle():
    s = 16
    img = canvas(16, 16, s)
    d = ImageDraw.Draw(img)
    for r, colour in ((7.5, ORANGE), (5, NIGHT), (2.6, WHITE)):
        disc(d, 8 * s, 8 * s, r * s, fill=rgba(colour))
    save_pair(img, 16, 16, "control/SliderButton.png")


def radio_off():
    s = 8
    img = canvas(40, 40, s)
    disc(ImageDraw.Draw(img), 20 * s, 20 * s, 17 * s, fill=rgba(NIGHT, 150), outline=rgba(GREY), width=int(3.2 * s))
    save_pair(img, 40, 40, "control/waiyuan.png")


def radio_on():
    s = 2
    img = canvas(200, 200, s)
    d = ImageDraw.Draw(img)
    disc(d, 100 * s, 100 * s, 85 * s, fill=rgba(NIGHT, 170), outline=rgba(ORANGE), width=16 * s)
    disc(d, 100 * s, 100 * s, 44 * s, fill=rgba(ORANGE))
    d.ellipse([80 * s, 74 * s, 104 * s, 94 * s], fill=rgba(ORANGE_PALE, 180))  # highlight
    img = glow(img, 6 * s, 0.8)
    save_pair(img, 200, 200, "control/radiobutton.png")


def close_glyph():
    img, d, s = sketch(10, 16, 16)
    w = 1.6 * s
    top, bottom = 3 * s, 13 * s
    d.line([(0.5 * s, top), (9.5 * s, bottom)], fill=rgba(WHITE), width=int(w))
    d.line([(9.5 * s, top), (0.5 * s, bottom)], fill=rgba(WHITE), width=int(w))
    save_pair(img, 10, 16, "control/close.png")


def minimize_glyph():
    img, d, s = sketch(14, 20, 16)
    d.rounded_rectangle([1 * s, 10 * s, 13 * s, 11.8 * s], radius=0.8 * s, fill=rgba(WHITE))
    save_pair(img, 14, 20, "control/minimize.png")


def top_right_mark():
    img, d, s = sketch(15, 14, 16)
    headset_glyph(d, 7.5 * s, 6.6 * s, 13.5 * s, ORANGE, 1.8 * s)
    save_pair(img, 15, 14, "control/right.png")


def add_glyph():
    img, d, s = sketch(14, 14, 16)
    t = 1.0 * s
    d.rectangle([7 * s - t, 3 * s, 7 * s + t, 11 * s], fill=rgba(WHITE))
    d.rectangle([3 * s, 7 * s - t, 11 * s, 7 * s + t], fill=rgba(WHITE))
    save_pair(img, 14, 14, "control/Add.png")


def clear_glyph():
    """A waste bin: removes the selected custom mode."""
    img, d, s = sketch(14, 14, 16)
    d.rounded_rectangle([5 * s, 0.8 * s, 9 * s, 2.6 * s], radius=0.6 * s, outline=rgba(WHITE), width=int(1.0 * s))
    d.rectangle([1.5 * s, 2.4 * s, 12.5 * s, 3.6 * s], fill=rgba(WHITE))
    d.polygon([(2.8 * s, 4.4 * s), (11.2 * s, 4.4 * s), (10.4 * s, 13.2 * s), (3.6 * s, 13.2 * s)], fill=rgba(WHITE))
    for x in (5.3, 7.0, 8.7):
        d.rectangle([(x - 0.45) * s, 6.0 * s, (x + 0.45) * s, 11.6 * s], fill=(0, 0, 0, 0))
    save_pair(img, 14, 14, "control/Clear.png")


def microphone():
    img, d, s = sketch(17, 23, 16)
    d.rounded_rectangle([5 * s, 0.8 * s, 12 * s, 14 * s], radius=3.5 * s, fill=rgba(WHITE))
    for y in (4.5, 7.0, 9.5):
        d.line([(6.3 * s, y * s), (10.7 * s, y * s)], fill=rgba(NIGHT_MID), width=int(0.8 * s))
    d.arc([2 * s, 5 * s, 15 * s, 17.5 * s], 0, 180, fill=rgba(WHITE), width=int(1.4 * s))
    d.rectangle([7.8 * s, 17.2 * s, 9.2 * s, 20.5 * s], fill=rgba(WHITE))
    d.rounded_rectangle([4.5 * s, 20.2 * s, 12.5 * s, 21.8 * s], radius=0.8 * s, fill=rgba(WHITE))
    save_pair(img, 17, 23, "control/Microphone.png")


def play_buttons():
    """The speaker-test button in its normal, hover and pressed states."""
    scale = 8
    for name, fill, edge, mark in (("Play", rgba(NIGHT_MID, 230), ORANGE, WHITE),
                                   ("Play_Hover", rgba(ORANGE), ORANGE_PALE, NIGHT),
                                   ("Play_Press", rgba(ORANGE_DEEP), ORANGE_DEEP, NIGHT)):
        img = canvas(53, 28, scale)
        d = ImageDraw.Draw(img)
        s = scale
        d.rounded_rectangle([1 * s, 1 * s, 52 * s, 27 * s], radius=10 * s, fill=fill, outline=rgba(edge),
                            width=int(1.6 * s))
        shift = 0.6 * s if name == "Play_Press" else 0
        cx, cy = 20 * s + shift, 14 * s + shift
        d.polygon([(cx - 5 * s, cy - 7 * s), (cx + 7 * s, cy), (cx - 5 * s, cy + 7 * s)], fill=rgba(mark))
        for i, r in enumerate((5.5, 9.5)):
            d.arc([cx + 9 * s - r * s, cy - r * s, cx + 9 * s + r * s, cy + r * s], -45, 45, fill=rgba(mark),
                  width=int(1.6 * s))
        save_pair(img, 53, 28, "control/%s.png" % name)


# ---------------------------------------------------------------- bars and headings


def top_bar():
    w, h = 986, 33
    scale = 4
    base = vertical_gradient(w * scale, h * scale, [(0, (22, 14, 44)), (1, (8, 5, 20))]).convert("RGBA")
    d = ImageDraw.Draw(base)
    s = scale
    # a slanted accent behind the title and a thin orange rule along the bottom
    d.polygon([(0, 0), (6 * s, 0), (3 * s, h * s), (0, h * s)], fill=rgba(ORANGE))
    d.polygon([(900 * s, 0), (w * s, 0), (w * s, h * s), (890 * s, h * s)], fill=rgba((34, 24, 64)))
    d.line([(890 * s, h * s), (900 * s, 0)], fill=rgba(VIOLET_LINE), width=s)
    d.rectangle([0, (h - 1.2) * s, w * s, h * s], fill=rgba(ORANGE, 200))
    d.rectangle([0, (h - 1.2) * s, 300 * s, h * s], fill=rgba(ORANGE))
    save_pair(base, w, h, "control/top_img.png", rgb=True)


def bottom_bar():
    w, h = 1000, 64
    scale = 4
    s = scale
    base = vertical_gradient(w * s, h * s, [(0, (20, 12, 40)), (1, (6, 4, 14))]).convert("RGBA")
    d = ImageDraw.Draw(base)
    d.rectangle([0, 0, w * s, 1.2 * s], fill=rgba(VIOLET_LINE))
    d.polygon([(0, 0), (170 * s, 0), (180 * s, 3 * s), (0, 3 * s)], fill=rgba(ORANGE))
    d.polygon([(w * s, 0), (w * s - 170 * s, 0), (w * s - 180 * s, 3 * s), (w * s, 3 * s)], fill=rgba(ORANGE))
    # faint speed lines toward the centre
    for i in range(10):
        x = 360 + i * 30
        d.line([(x * s, 40 * s), ((x + 18) * s, 22 * s)], fill=rgba(VIOLET_LINE, 60), width=int(1.2 * s))
    save_pair(base, w, h, "control/bottom_back.png", rgb=True)


def wordmark(w, h, scale, emblem_r, text_px, sub=None, colour=WHITE, sub_colour=GREY):
    img = canvas(w, h, scale)
    d = ImageDraw.Draw(img)
    s = scale
    cx, cy = (emblem_r + 4) * s, h * s / 2
    emblem(d, cx, cy, emblem_r * s, ORANGE)
    x = cx + emblem_r * s + 0.32 * text_px * s
    # shrink the name until it fits beside the emblem
    while True:
        fnt = font("ExtraBold", text_px * s)
        room = w * s - x - 4 * s
        if sum(d.textlength(ch, font=fnt) for ch in "SOLVANE") + 0.08 * text_px * s * 6 <= room:
            break
        text_px *= 0.96
    base_y = cy + (0.36 * text_px * s if not sub else 0.12 * text_px * s)
    spaced_text(d, (x, base_y), "SOLVANE", fnt, rgba(colour), 0.08 * text_px * s)
    if sub:
        spaced_text(d, (x + 2 * s, base_y + 0.42 * text_px * s), sub, font("Semibold", 0.30 * text_px * s),
                    rgba(sub_colour), 0.16 * text_px * s, anchor="lm")
    return img


def header_logo():
    img = wordmark(340, 90, 4, 36, 60, sub="AUREL  QUARK")
    save_pair(img, 340, 90, "control/Head1.png")


def header_tagline():
    w, h, s = 132, 13, 8
    img = canvas(w, h, s)
    d = ImageDraw.Draw(img)
    d.rectangle([0, 4.5 * s, 2 * s, 8.5 * s], fill=rgba(ORANGE))
    spaced_text(d, (6 * s, 6.6 * s), "7.1 SURROUND TUNING", font("Semibold", 9 * s), rgba(GREY), 0.55 * s,
                anchor="lm")
    save_pair(img, w, h, "control/Head2.png")


def bottom_left_logo():
    img = wordmark(454, 127, 3, 44, 74, colour=(215, 212, 222))
    save_pair(img, 454, 127, "control/left_bottom.png")


def bottom_right_text():
    w, h, s = 218, 16, 8
    img = canvas(w, h, s)
    d = ImageDraw.Draw(img)
    spaced_text(d, (w * s, 8.2 * s), "QUARK  \u00b7  7.1 VIRTUAL SURROUND", font("Semibold", 10 * s), rgba(GREY),
                0.9 * s, anchor="rm")
    save_pair(img, w, h, "control/right_bottom.png")


# Where the window's layout puts the start picture inside the no-headset background
# label (1176 x 736): centred across, centred in the height above a 60 px margin.
START_AT = ((1176 - 340) // 2, (736 - 60 - 90) // 2)


def start_picture(no_headset_background):
    """Centre of the no-headset view: asks for the headset to be plugged in.

    The background label's style sheet reaches the picture's label too, which then
    draws the whole background squeezed into 340 x 90 behind the picture. So the
    picture is opaque and carries the piece of the background it covers.
    """
    w, h, s = 340, 90, 4
    img = canvas(w, h, s)
    d = ImageDraw.Draw(img)
    d.ellipse([6 * s, 9 * s, 78 * s, 81 * s], fill=rgba(NIGHT, 200), outline=rgba(ORANGE), width=int(2.5 * s))
    headset_glyph(d, 42 * s, 42 * s, 46 * s, WHITE, 4.5 * s)
    d.line([(42 * s, 58 * s), (42 * s, 66 * s)], fill=rgba(ORANGE), width=int(2.5 * s))
    spaced_text(d, (94 * s, 42 * s), "CONNECT HEADSET", font("ExtraBold", 24 * s), rgba(WHITE), 1.0 * s)
    d.text((95 * s, 62 * s), "Plug in your QUARK to start tuning", font=font("Regular", 13.5 * s),
           fill=rgba(GREY), anchor="ls")
    img = glow(img, 3 * s, 0.6)
    for k, background, name in ((1, no_headset_background[0], "control/start.png"),
                                (2, no_headset_background[1], at2x("control/start.png"))):
        stretched = background.resize((1176 * k, 736 * k), Image.BILINEAR).convert("RGBA")
        behind = stretched.crop((START_AT[0] * k, START_AT[1] * k, (START_AT[0] + w) * k, (START_AT[1] + h) * k))
        behind.alpha_composite(down(img, w * k, h * k))
        save_png(behind.convert("RGB"), name)


# ---------------------------------------------------------------- backgrounds


def window_to_background(x, y):
    """Window position of the headset view -> pixel of the 1001 x 641 background, which
    the window stretches to 1176 x 736 starting 29 px down."""
    return x * 1001 / 1176, (y - 29) * 641 / 736


def background_base(w, h, scale):
    s = scale
    base = vertical_gradient(w * s, h * s, [(0, (24, 15, 50)), (0.45, (14, 9, 32)), (1, (6, 4, 15))]).convert("RGBA")
    base = Image.alpha_composite(base, radial_light(w * s, h * s, w * s * 0.5, h * s * 0.05, w * s * 0.6, h * s * 0.7,
                                                    (70, 40, 130), 0.55))
    base = Image.alpha_composite(base, radial_light(w * s, h * s, w * s * 0.98, h * s * 0.98, w * s * 0.35,
                                                    h * s * 0.45, (120, 60, 10), 0.35))
    # a faint diagonal weave gives texture without noise that would not compress
    layer = Image.new("RGBA", base.size, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    for i in range(-h, w, 22):
        d.line([(i * s, h * s), ((i + h) * s, 0)], fill=rgba(WHITE, 7), width=s)
    return Image.alpha_composite(base, layer)


def panel(d, x0, y0, x1, y1, s, corner=14):
    """A translucent panel with orange corner ticks, given in window coordinates."""
    (bx0, by0), (bx1, by1) = window_to_background(x0, y0), window_to_background(x1, y1)
    d.rectangle([bx0 * s, by0 * s, bx1 * s, by1 * s], fill=rgba((4, 2, 12), 70), outline=rgba(VIOLET_LINE, 150),
                width=s)
    c = corner * s
    for (x, y, dx, dy) in ((bx0, by0, 1, 1), (bx1, by0, -1, 1), (bx0, by1, 1, -1), (bx1, by1, -1, -1)):
        d.line([(x * s, y * s), (x * s + dx * c, y * s)], fill=rgba(ORANGE, 230), width=2 * s)
        d.line([(x * s, y * s), (x * s, y * s + dy * c)], fill=rgba(ORANGE, 230), width=2 * s)


def background_headset_view():
    w, h, s = 1001, 641, 2
    img = background_base(w, h, s)
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    panel(d, 40, 292, 598, 642, s)   # equaliser
    panel(d, 604, 292, 1131, 676, s)  # speaker test / spectrum
    img = Image.alpha_composite(img, layer)
    save_pair(img, w, h, "control/Background.png", rgb=True)


def background_no_headset_view():
    w, h, s = 1001, 641, 2
    img = background_base(w, h, s)
    # rings around the start picture, which the window centres 60 px above the middle
    cx, cy = (START_AT[0] + 170) * 1001 / 1176, (START_AT[1] + 45) * 641 / 736
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    for i, r in enumerate((170, 235, 300, 365)):
        a = 90 - i * 18
        d.ellipse([(cx - r) * s, (cy - r * 0.62) * s, (cx + r) * s, (cy + r * 0.62) * s], outline=rgba(ORANGE, a),
                  width=int(1.5 * s))
    for k in range(24):
        ang = math.radians(k * 15)
        r0, r1 = 380, 392
        d.line([((cx + r0 * math.cos(ang)) * s, (cy + r0 * 0.62 * math.sin(ang)) * s),
                ((cx + r1 * math.cos(ang)) * s, (cy + r1 * 0.62 * math.sin(ang)) * s)],
               fill=rgba(VIOLET_LINE, 200), width=2 * s)
    img = Image.alpha_composite(img, radial_light(w * s, h * s, cx * s, cy * s, 330 * s, 200 * s, (255, 140, 0), 0.18))
    img = Image.alpha_composite(img, layer)
    save_pair(img, w, h, "control/InitBg.png", rgb=True)
    # what the start picture is cut out of, at both sizes
    return down(img, w, h).convert("RGB"), img.convert("RGB")


# ---------------------------------------------------------------- speaker test

# label, picture base name, GIF name, angle clockwise from straight ahead, short name
SPEAKERS = [
    ("leftup", "HornLeftUp", -50, "FL"),
    ("up", "HornUp", 0, "C"),
    ("rightup", "HornRightUp", 50, "FR"),
    ("right", "HornRight", 95, "SR"),
    ("rightdown", "HornRightBottom", 140, "BR"),
    ("leftdown", "HornLeftBottom", -140, "BL"),
    ("left", "Hornleft", -95, "SL"),
]


def speaker_position(angle):
    a = math.radians(angle)
    return CANVAS / 2 + SPEAKER_RING_RADIUS * math.sin(a), CANVAS / 2 - SPEAKER_RING_RADIUS * math.cos(a)


def draw_speaker(img, angle, short, active, scale, wave_phase=None):
    """One speaker pod facing the listener; active pods are orange and send out waves."""
    d = ImageDraw.Draw(img)
    s = scale
    x, y = speaker_position(angle)
    x, y = x * s, y * s
    r = 72 * s
    # direction from the speaker to the listener, as a drawing angle clockwise from +x
    toward = math.degrees(math.atan2(CANVAS / 2 * s - y, CANVAS / 2 * s - x))
    ring = ORANGE if active else GREY
    if wave_phase is not None:
        waves = Image.new("RGBA", img.size, (0, 0, 0, 0))
        wd = ImageDraw.Draw(waves)
        for k in range(3):
            t = (k + wave_phase) / 3.0
            rr = (r / s + 26 + t * 150) * s
            alpha = int(255 * (1 - t) ** 0.8)
            span = 34 - 8 * t
            wd.polygon(arc_band(x, y, rr - 7 * s, rr + 7 * s, toward - span, toward + span), fill=rgba(ORANGE, alpha))
        img.alpha_composite(glow(waves, 6 * s, 0.9))
        d = ImageDraw.Draw(img)
    if active:
        halo = Image.new("RGBA", img.size, (0, 0, 0, 0))
        ImageDraw.Draw(halo).ellipse([x - r - 10 * s, y - r - 10 * s, x + r + 10 * s, y + r + 10 * s],
                                     fill=rgba(ORANGE, 150))
        img.alpha_composite(halo.filter(ImageFilter.GaussianBlur(14 * s)))
        d = ImageDraw.Draw(img)
    d.ellipse([x - r, y - r, x + r, y + r], fill=rgba((30, 20, 56) if not active else (52, 30, 40)),
              outline=rgba(ring), width=int(7 * s))
    # the speaker symbol: magnet block and flared cone, pointing at the listener
    magnet = [(-34, -15), (-16, -15), (-16, 15), (-34, 15)]
    cone = [(-11, -15), (20, -38), (20, 38), (-11, 15)]
    for shape in (magnet, cone):
        pts = rotate_points([(px * s, py * s) for px, py in shape], toward, x, y)
        d.polygon(pts, fill=rgba(ORANGE if active else WHITE))
    # the short channel name sits on the far side of the pod, away from the listener
    away = math.radians(toward + 180)
    tx, ty = x + (r + 44 * s) * math.cos(away), y + (r + 44 * s) * math.sin(away)
    d.text((tx, ty), short, font=font("ExtraBold", 46 * s), fill=rgba(ORANGE if active else GREY), anchor="mm")


def draw_listener(img, scale, pulse=None):
    """The listener seen from above, nose pointing ahead, wearing the headset."""
    s = scale
    c = CANVAS / 2 * s
    d = ImageDraw.Draw(img)
    # the stage: a dashed ring through the speakers
    R = SPEAKER_RING_RADIUS * s
    for k in range(72):
        a0 = k * 5
        d.arc([c - R, c - R, c + R, c + R], a0, a0 + 2.4, fill=rgba(VIOLET_LINE), width=int(4 * s))
    grow = 1.0
    if pulse is not None:
        # a breathing head with light rings leaving it
        grow = 1.0 + 0.06 * math.sin(2 * math.pi * pulse)
        rings = Image.new("RGBA", img.size, (0, 0, 0, 0))
        rd = ImageDraw.Draw(rings)
        for k in range(2):
            t = (k + pulse) / 2.0
            rr = (170 + t * 140) * s
            rd.ellipse([c - rr, c - rr, c + rr, c + rr], outline=rgba(ORANGE, int(230 * (1 - t))), width=int(9 * s))
        img.alpha_composite(glow(rings, 8 * s, 0.9))
        d = ImageDraw.Draw(img)
    hr = 118 * s * grow
    # shoulders
    d.ellipse([c - 210 * s * grow, c - 40 * s * grow, c + 210 * s * grow, c + 90 * s * grow], fill=rgba((34, 25, 58)),
              outline=rgba((46, 36, 74)), width=int(4 * s))
    # nose
    d.polygon([(c - 24 * s * grow, c - hr + 10 * s), (c, c - hr - 30 * s * grow), (c + 24 * s * grow, c - hr + 10 * s)],
              fill=rgba((96, 84, 120)))
    d.ellipse([c - hr, c - hr, c + hr, c + hr], fill=rgba((72, 62, 98)), outline=rgba((150, 140, 170)),
              width=int(6 * s))
    # hair parting: a soft highlight toward the back
    d.ellipse([c - hr * 0.62, c - hr * 0.35, c + hr * 0.62, c + hr * 0.85], fill=rgba((62, 52, 88)))
    # headband over the top of the head, ear cups over the ears
    band = 20 * s * grow
    d.rounded_rectangle([c - hr - 4 * s, c - band / 2 + 6 * s, c + hr + 4 * s, c + band / 2 + 6 * s],
                        radius=band / 2, fill=rgba((22, 16, 38)), outline=rgba((150, 140, 170)), width=int(4 * s))
    lit = ORANGE if pulse is None else mix(ORANGE, ORANGE_PALE, max(0.0, (grow - 1.0) * 16))
    for side in (-1, 1):
        ex = c + side * (hr + 8 * s)
        d.rounded_rectangle([ex - 28 * s * grow, c - 62 * s * grow + 6 * s, ex + 28 * s * grow, c + 62 * s * grow + 6 * s],
                            radius=26 * s * grow, fill=rgba((22, 16, 38)), outline=rgba(ORANGE), width=int(7 * s))
        d.rounded_rectangle([ex - 6 * s, c - 26 * s + 6 * s, ex + 6 * s, c + 26 * s + 6 * s], radius=6 * s,
                            fill=rgba(lit))


def gif_frame(rgba_img):
    """RGBA -> palette frame with one transparent index, edges blended onto the matte."""
    alpha = rgba_img.getchannel("A")
    rgb = Image.new("RGB", rgba_img.size, TEST_MATTE)
    rgb.paste(rgba_img.convert("RGB"), mask=alpha)
    frame = rgb.quantize(31, method=Image.MEDIANCUT, dither=Image.NONE)
    palette = frame.getpalette()[:31 * 3]
    palette += [0, 0, 0] * (256 - 31)
    frame.putpalette(palette)
    hole = alpha.point(lambda a: 255 if a < 110 else 0)
    frame.paste(31, mask=hole)
    return frame


def save_gif_pair(frames, name, ms):
    """frames are drawn at twice the size: saved as they are for the twin, halved for the picture."""
    save_gif([down(f, CANVAS, CANVAS) for f in frames], name, ms)
    save_gif(frames, at2x(name), ms)


def save_gif(frames, name, ms):
    path = os.path.join(PIC, "gif", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    pal = [gif_frame(f) for f in frames]
    pal[0].save(path, save_all=True, append_images=pal[1:], duration=ms, loop=0, disposal=2, transparency=31,
                optimize=False)
    print("%-40s %7d bytes" % ("gif/" + name, os.path.getsize(path)))


def speaker_test():
    s = 2
    size = CANVAS * s
    head = canvas(CANVAS, CANVAS, s)
    draw_listener(head, s)
    save_pair(head, CANVAS, CANVAS, "png/head.png", colours=64)

    frames = []
    for f in range(8):
        img = canvas(CANVAS, CANVAS, s)
        draw_listener(img, s, pulse=f / 8.0)
        frames.append(img)
    save_gif_pair(frames, "PersonHead.gif", 110)

    for still, movie, angle, short in SPEAKERS:
        img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
        draw_speaker(img, angle, short, False, s)
        save_pair(img, CANVAS, CANVAS, "png/%s.png" % still, colours=64)
        frames = []
        for f in range(6):
            img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
            draw_speaker(img, angle, short, True, s, wave_phase=f / 6.0)
            frames.append(img)
        save_gif_pair(frames, movie + ".gif", 100)


# ---------------------------------------------------------------- headsets


def headset_picture(name, accent, shell, cup_shape, boom, band_style):
    """A product shot of one headset model, three-quarter front view."""
    w, h, s = 500, 300, 3
    img = canvas(w, h, s)
    img.alpha_composite(radial_light(w * s, h * s, 250 * s, 175 * s, 230 * s, 120 * s, accent, 0.28))
    floor = Image.new("RGBA", img.size, (0, 0, 0, 0))
    ImageDraw.Draw(floor).ellipse([120 * s, 262 * s, 380 * s, 284 * s], fill=(0, 0, 0, 150))
    img.alpha_composite(floor.filter(ImageFilter.GaussianBlur(8 * s)))
    d = ImageDraw.Draw(img)
    cx = 250 * s
    # headband: outer shell and inner cushion
    d.arc([110 * s, 28 * s, 390 * s, 300 * s], 185, 355, fill=rgba(shell), width=int(22 * s))
    d.arc([124 * s, 44 * s, 376 * s, 290 * s], 188, 352, fill=rgba((20, 16, 30)), width=int(10 * s))
    if band_style == "stripe":
        d.arc([112 * s, 30 * s, 388 * s, 298 * s], 235, 305, fill=rgba(accent), width=int(6 * s))
    elif band_style == "notch":
        for a in range(215, 330, 14):
            d.arc([110 * s, 28 * s, 390 * s, 300 * s], a, a + 5, fill=rgba(accent), width=int(8 * s))
    else:
        d.arc([104 * s, 22 * s, 396 * s, 306 * s], 200, 340, fill=rgba(accent), width=int(3 * s))
    for side, far in ((-1, True), (1, False)):
        x = cx + side * 128 * s
        # far cup is a little smaller and darker: a hint of depth
        k = 0.9 if far else 1.0
        shade = mix(shell, (0, 0, 0), 0.25) if far else shell
        d.rectangle([x - 9 * s, 120 * s, x + 9 * s, 160 * s], fill=rgba(mix(shell, WHITE, 0.25)))
        cw, ch = 50 * s * k, 82 * s * k
        cy = 196 * s
        box = [x - cw, cy - ch, x + cw, cy + ch]
        if cup_shape == "round":
            d.ellipse(box, fill=rgba(shade), outline=rgba(mix(shell, WHITE, 0.3)), width=int(3 * s))
            d.ellipse([x - cw * 0.62, cy - ch * 0.62, x + cw * 0.62, cy + ch * 0.62], fill=rgba((18, 14, 26)),
                      outline=rgba(accent), width=int(4 * s))
        elif cup_shape == "square":
            d.rounded_rectangle(box, radius=34 * s * k, fill=rgba(shade), outline=rgba(mix(shell, WHITE, 0.3)),
                                width=int(3 * s))
            d.rounded_rectangle([x - cw * 0.6, cy - ch * 0.6, x + cw * 0.6, cy + ch * 0.6], radius=20 * s * k,
                                fill=rgba((18, 14, 26)), outline=rgba(accent), width=int(4 * s))
        else:  # angular gaming cup
            pts = [(x - cw * 0.7, cy - ch), (x + cw * 0.7, cy - ch), (x + cw, cy - ch * 0.3), (x + cw * 0.8, cy + ch),
                   (x - cw * 0.8, cy + ch), (x - cw, cy - ch * 0.3)]
            d.polygon(pts, fill=rgba(shade), outline=rgba(mix(shell, WHITE, 0.3)))
            inner = [(px * 0.55 + x * 0.45, py * 0.55 + cy * 0.45) for px, py in pts]
            d.polygon(inner, fill=rgba((18, 14, 26)), outline=rgba(accent))
            d.line([inner[0], inner[1]], fill=rgba(accent), width=int(4 * s))
        # logo light on the outer cup
        emblem(d, x, cy, 16 * s * k, accent, inner=rgba((18, 14, 26)))
    if boom:
        x = cx - 128 * s
        d.line([(x - 10 * s, 238 * s), (x + 30 * s, 262 * s), (x + 92 * s, 268 * s)], fill=rgba(shell), width=int(9 * s),
               joint="curve")
        d.rounded_rectangle([x + 84 * s, 260 * s, x + 110 * s, 276 * s], radius=8 * s, fill=rgba(mix(shell, WHITE, 0.2)))
        d.ellipse([x + 103 * s, 263 * s, x + 113 * s, 273 * s], fill=rgba(accent))
    img = glow(img, 2 * s, 0.4)
    save_pair(img, w, h, "headset/%s.png" % name)


def headsets():
    headset_picture("HeadsetA", ORANGE, (46, 42, 58), "round", True, "stripe")
    headset_picture("HeadsetB", (0, 200, 255), (210, 210, 218), "square", False, "notch")
    headset_picture("HeadsetC", (255, 70, 90), (30, 26, 40), "angular", True, "edge")


def main():
    os.makedirs(PIC, exist_ok=True)
    icon()
    desktop_icon()
    slider_handle()
    radio_off()
    radio_on()
    close_glyph()
    minimize_glyph()
    top_right_mark()
    add_glyph()
    clear_glyph()
    microphone()
    play_buttons()
    top_bar()
    bottom_bar()
    header_logo()
    header_tagline()
    bottom_left_logo()
    bottom_right_text()
    background_headset_view()
    start_picture(background_no_headset_view())
    headsets()
    speaker_test()
    return 0


if __name__ == "__main__":
    sys.exit(main())
