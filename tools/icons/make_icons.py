#!/usr/bin/env python3
"""Draws the program's icons.

Every picture is described here as a small SVG drawing of our own and rendered to a 64 x 64 PNG
with rsvg-convert (Debian package librsvg2-bin); favicon.ico is painted pixel by pixel and written
as an uncompressed 32-bit icon. The output goes to app/resources/icons/ and is committed, so the
build needs neither this script nor rsvg-convert. Run it again after changing a drawing:

    python3 tools/icons/make_icons.py
"""
import math
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.normpath(os.path.join(HERE, "..", "..", "app", "resources", "icons"))

INK = "#202830"
RED = "#d0202a"
BLUE = "#1f5fbf"
GREEN = "#2a8a3a"
GREY = "#8a929a"


def svg(body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" '
            'viewBox="0 0 64 64" fill="none" stroke-linecap="round" stroke-linejoin="round">'
            + body + '</svg>')


def line(x1, y1, x2, y2, color=INK, width=3, dash=None):
    d = f' stroke-dasharray="{dash}"' if dash else ''
    return f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" stroke="{color}" stroke-width="{width}"{d}/>'


def path(d, color=INK, width=3, fill="none", dash=None):
    da = f' stroke-dasharray="{dash}"' if dash else ''
    return f'<path d="{d}" stroke="{color}" stroke-width="{width}" fill="{fill}"{da}/>'


def circle(cx, cy, r, color=INK, width=3, fill="none", dash=None):
    da = f' stroke-dasharray="{dash}"' if dash else ''
    return f'<circle cx="{cx}" cy="{cy}" r="{r}" stroke="{color}" stroke-width="{width}" fill="{fill}"{da}/>'


def dot(cx, cy, color=RED, r=4):
    return circle(cx, cy, r, color, 1, color)


def text(x, y, s, size=22, color=INK, weight="bold", anchor="middle"):
    return (f'<text x="{x}" y="{y}" font-family="DejaVu Sans" font-size="{size}" '
            f'font-weight="{weight}" fill="{color}" text-anchor="{anchor}">{s}</text>')


def arrow(x1, y1, x2, y2, color=INK, width=4, head=10, both=False):
    """A straight arrow from (x1, y1) to (x2, y2) with a filled head (and a tail head)."""
    out = line(x1, y1, x2, y2, color, width)

    def headat(xa, ya, xb, yb):
        ang = math.atan2(yb - ya, xb - xa)
        p1 = (xb - head * math.cos(ang - 0.45), yb - head * math.sin(ang - 0.45))
        p2 = (xb - head * math.cos(ang + 0.45), yb - head * math.sin(ang + 0.45))
        return (f'<path d="M{xb:.1f},{yb:.1f} L{p1[0]:.1f},{p1[1]:.1f} L{p2[0]:.1f},{p2[1]:.1f} Z" '
                f'fill="{color}" stroke="{color}" stroke-width="1"/>')

    out += headat(x1, y1, x2, y2)
    if both:
        out += headat(x2, y2, x1, y1)
    return out


def wave(y=40, amp=7, color=INK, width=3, x0=4, x1=60, periods=2.5):
    pts = []
    for i in range(0, 57):
        x = x0 + (x1 - x0) * i / 56
        pts.append(f"{x:.1f},{y - amp * math.sin(2 * math.pi * periods * i / 56):.1f}")
    return f'<polyline points="{" ".join(pts)}" stroke="{color}" stroke-width="{width}" fill="none"/>'


def rough(y=42, color=INK, width=2.5):
    vals = [0, 5, -3, 8, -6, 2, 9, -4, 3, -8, 6, -2, 4, -7, 1, 7, -5, 3, -3, 5, 0]
    pts = " ".join(f"{4 + 56 * i / (len(vals) - 1):.1f},{y - v:.1f}" for i, v in enumerate(vals))
    return f'<polyline points="{pts}" stroke="{color}" stroke-width="{width}" fill="none"/>'


# --- device panel -------------------------------------------------------------------------------

def spine(direction, color):
    # The carriage on its spine: a rail and a block with an arrow along X.
    body = line(6, 46, 58, 46, GREY, 4) + '<rect x="24" y="36" width="16" height="8" rx="2" fill="%s"/>' % color
    if direction > 0:
        body += arrow(10, 22, 56, 22, color, 5, 14)
    else:
        body += arrow(54, 22, 8, 22, color, 5, 14)
    return svg(body)


def kontur(direction, color):
    # The probe arm with its needle and a vertical arrow.
    body = path("M8,14 L30,14 L30,34 L34,44", INK, 4) + line(4, 56, 40, 56, GREY, 3)
    if direction > 0:
        body += arrow(50, 54, 50, 8, color, 5, 14)
    else:
        body += arrow(50, 8, 50, 54, color, 5, 14)
    return svg(body)


def table(direction, color):
    # The table seen in perspective with an arrow into or out of the picture.
    body = path("M8,48 L22,30 L58,30 L44,48 Z", INK, 3)
    if direction > 0:
        body += arrow(24, 58, 44, 12, color, 5, 14)
    else:
        body += arrow(44, 12, 24, 58, color, 5, 14)
    return svg(body)


def minmax():
    return svg(line(32, 10, 32, 54, INK, 4) + line(22, 10, 42, 10, RED, 4)
               + line(22, 54, 42, 54, BLUE, 4) + text(14, 20, "+", 16, RED)
               + text(14, 60, "−", 16, BLUE) + dot(32, 32, GREEN, 5))


# --- measurement tools ----------------------------------------------------------------------------

def ring(fill=None):
    return circle(32, 32, 20, INK, 3)


ICONS = {
    "Spine_left_black.png": spine(-1, INK),
    "Spine_left_red.png": spine(-1, RED),
    "Spine_right_black.png": spine(1, INK),
    "Spine_right_red.png": spine(1, RED),
    "kontur_up_black.png": kontur(1, INK),
    "kontur_up_red.png": kontur(1, RED),
    "kontur_down_black.png": kontur(-1, INK),
    "kontur_down_red.png": kontur(-1, RED),
    "table_fwd_black.png": table(1, INK),
    "table_fwd_red.png": table(1, RED),
    "table_back_black.png": table(-1, INK),
    "table_back_red.png": table(-1, RED),
    "min-max.png": minmax(),
    "min-max_Монтажная область 1.png": minmax(),

    "1_1.png": svg(text(32, 42, "1:1", 26)),
    "2dot_line.png": svg(line(6, 50, 58, 14, BLUE, 3) + dot(18, 42) + dot(46, 22)),
    "Circle.png": svg(ring() + dot(32, 12) + dot(14, 40) + dot(50, 40)),
    "Circle_input Radius.png": svg(ring() + arrow(32, 32, 46, 18, RED, 3, 9) + text(22, 50, "R", 16, BLUE)),
    "Horizontal_line.png": svg(line(4, 32, 60, 32, BLUE, 4) + dot(32, 32)),
    "Vertical_line.png": svg(line(32, 4, 32, 60, BLUE, 4) + dot(32, 32)),
    "Max_point.png": svg(wave(38, 14) + dot(13, 24) + arrow(13, 6, 13, 16, RED, 3, 8)),
    "Min_point.png": svg(wave(30, 14) + dot(24, 44) + arrow(24, 60, 24, 52, RED, 3, 8)),
    "MidLine.png": svg(wave(32, 12) + line(4, 32, 60, 32, RED, 3, "6,4")),
    "Point.png": svg(line(32, 14, 32, 50, INK, 2) + line(14, 32, 50, 32, INK, 2) + dot(32, 32, RED, 6)),
    "Ra.png": svg(rough(46) + text(32, 26, "Ra", 24, BLUE)),
    "Rz.png": svg(rough(46) + text(32, 26, "Rz", 24, BLUE)),
    "Rader_2zelect.png": svg(circle(32, 32, 20, GREY, 2, dash="4,4") + path("M14,24 A20,20 0 0 1 28,12", RED, 5)
                             + path("M50,40 A20,20 0 0 1 36,52", RED, 5)),
    "Rader_2zelect_filter.png": svg(circle(32, 32, 20, GREY, 2, dash="4,4") + path("M14,24 A20,20 0 0 1 28,12", RED, 5)
                                    + path("M50,40 A20,20 0 0 1 36,52", RED, 5) + text(32, 38, "F", 16, BLUE)),
    "angle.png": svg(path("M52,52 L12,52 L44,14", INK, 4) + path("M28,52 A16,16 0 0 0 22,40", RED, 3)),
    "hangle.png": svg(path("M10,48 L56,48", INK, 4) + line(10, 48, 48, 14, INK, 4) + path("M30,48 A20,20 0 0 0 25,35", RED, 3)),
    "vangle.png": svg(line(16, 56, 16, 8, INK, 4) + line(16, 56, 52, 22, INK, 4) + path("M16,36 A20,20 0 0 1 31,42", RED, 3)),
    "cutsel.png": svg(wave(36, 10, GREY) + path("M18,26 L18,46", RED, 3) + path("M46,26 L46,46", RED, 3)
                      + line(18, 56, 46, 56, RED, 3) + line(10, 10, 54, 10, INK, 3, "5,4")),
    "ddist.png": svg(dot(12, 52, BLUE) + dot(52, 12, BLUE) + arrow(16, 48, 48, 16, RED, 3, 9, True)),
    "hdist.png": svg(line(8, 12, 8, 52, INK, 3) + line(56, 12, 56, 52, INK, 3) + arrow(12, 32, 52, 32, RED, 3, 9, True)),
    "vdist.png": svg(line(12, 8, 52, 8, INK, 3) + line(12, 56, 52, 56, INK, 3) + arrow(32, 12, 32, 52, RED, 3, 9, True)),
    "vdistmax.png": svg(wave(34, 14, GREY) + arrow(13, 22, 13, 46, RED, 3, 8, True) + line(6, 20, 60, 20, INK, 2, "4,3")),
    "vdistmax1.png": svg(wave(34, 14, GREY) + arrow(24, 20, 24, 48, RED, 3, 8, True) + line(6, 48, 60, 48, INK, 2, "4,3")),
    "favicon.png": svg(circle(32, 32, 28, BLUE, 1, BLUE) + wave(38, 8, "#ffffff", 4, 10, 54, 2)
                       + path("M32,8 L32,28", "#ffffff", 4)),
    "flat.png": svg(rough(40) + line(4, 40, 60, 40, RED, 3)),
    "flatByTwoSelection.png": svg(rough(40) + path("M6,52 L22,52", RED, 4) + path("M42,52 L58,52", RED, 4)
                                  + line(4, 40, 60, 40, BLUE, 2, "5,4")),
    "flat_absent.png": svg(rough(40, GREY) + line(10, 10, 54, 54, RED, 4)),
    "lineerr.png": svg(line(4, 34, 60, 34, BLUE, 2) + rough(34) + arrow(48, 18, 48, 30, RED, 2, 7)),
    "mbwd.png": svg(arrow(44, 12, 20, 52, BLUE, 5, 14)),
    "mfwd.png": svg(arrow(20, 52, 44, 12, BLUE, 5, 14)),
    "mleft.png": svg(arrow(54, 32, 10, 32, BLUE, 5, 14)),
    "mright.png": svg(arrow(10, 32, 54, 32, BLUE, 5, 14)),
    "mup.png": svg(arrow(32, 54, 32, 10, BLUE, 5, 14)),
    "mdown.png": svg(arrow(32, 10, 32, 54, BLUE, 5, 14)),
    "mupz.png": svg(arrow(28, 54, 28, 10, BLUE, 5, 14) + text(50, 44, "Z", 18, INK)),
    "mdownz.png": svg(arrow(28, 10, 28, 54, BLUE, 5, 14) + text(50, 44, "Z", 18, INK)),
    "mheight.png": svg(line(6, 54, 58, 54, INK, 3) + path("M20,54 L20,22 L44,22 L44,54", GREY, 3)
                       + arrow(52, 50, 52, 24, RED, 3, 8, True)),
    "mid_point.png": svg(line(8, 44, 56, 20, GREY, 2) + dot(8, 44, BLUE) + dot(56, 20, BLUE) + dot(32, 32, RED, 6)),
    "open.png": svg(path("M6,16 L24,16 L30,22 L56,22 L56,52 L6,52 Z", INK, 3, "#f2c14e")
                    + path("M6,52 L16,30 L62,30 L56,52 Z", INK, 3, "#f7d77f")),
    "save.png": svg(path("M10,8 L48,8 L56,16 L56,56 L10,56 Z", INK, 3, BLUE)
                    + '<rect x="20" y="8" width="22" height="16" fill="#ffffff" stroke="%s" stroke-width="2"/>' % INK
                    + '<rect x="18" y="34" width="30" height="22" fill="#ffffff" stroke="%s" stroke-width="2"/>' % INK),
    "settings.png": svg(circle(32, 32, 14, INK, 6) + "".join(
        line(32 + 18 * math.cos(a), 32 + 18 * math.sin(a), 32 + 26 * math.cos(a), 32 + 26 * math.sin(a), INK, 7)
        for a in [i * math.pi / 4 for i in range(8)])),
    "print.png": svg('<rect x="8" y="26" width="48" height="22" rx="3" fill="%s" stroke="%s" stroke-width="3"/>' % (GREY, INK)
                     + '<rect x="18" y="8" width="28" height="18" fill="#ffffff" stroke="%s" stroke-width="3"/>' % INK
                     + '<rect x="18" y="40" width="28" height="18" fill="#ffffff" stroke="%s" stroke-width="3"/>' % INK),
    "pan.png": svg(arrow(32, 32, 32, 6, INK, 4, 10) + arrow(32, 32, 32, 58, INK, 4, 10)
                   + arrow(32, 32, 6, 32, INK, 4, 10) + arrow(32, 32, 58, 32, INK, 4, 10)),
    "pts.png": svg("".join(dot(8 + 8 * i, 40 - 12 * math.sin(i * 0.9), BLUE, 3.5) for i in range(7))),
    "rad.png": svg(path("M12,52 A30,30 0 0 1 52,12", INK, 4) + arrow(52, 52, 24, 24, RED, 3, 9) + text(46, 40, "R", 16, BLUE)),
    "radarc.png": svg(path("M10,50 A26,26 0 0 1 54,50", INK, 4) + dot(10, 50) + dot(32, 24) + dot(54, 50)),
    "raderr.png": svg(circle(32, 32, 20, BLUE, 2) + path("M32,10 Q40,12 48,18 T54,34 T46,50 T30,54 T14,46 T10,30 T18,16 T32,10", INK, 2.5)),
    "raderr_R.png": svg(circle(32, 32, 20, BLUE, 2) + path("M32,10 Q40,12 48,18 T54,34 T46,50 T30,54 T14,46 T10,30 T18,16 T32,10", INK, 2.5)
                        + text(32, 39, "R", 18, RED)),
    "raderFilter1.png": svg(circle(32, 32, 20, BLUE, 2) + path("M32,10 Q40,12 48,18 T54,34 T46,50 T30,54 T14,46 T10,30 T18,16 T32,10", INK, 2.5)
                            + text(32, 39, "F1", 14, RED)),
    "raderrFilter2.png": svg(circle(32, 32, 20, BLUE, 2) + path("M32,10 Q40,12 48,18 T54,34 T46,50 T30,54 T14,46 T10,30 T18,16 T32,10", INK, 2.5)
                             + text(32, 39, "F2", 14, RED)),
    "reset.png": svg(path("M50,32 A18,18 0 1 1 44,18", INK, 5) + path("M40,8 L48,18 L36,22 Z", INK, 2, INK)),
    "rline.png": svg(rough(36, GREY) + line(4, 36, 60, 36, RED, 3)),
    "rline_s.png": svg(rough(36, GREY) + line(4, 36, 60, 36, RED, 3) + path("M14,20 L14,52 M50,20 L50,52", BLUE, 3)),
    "scale_x.png": svg(arrow(32, 32, 6, 32, INK, 4, 10) + arrow(32, 32, 58, 32, INK, 4, 10) + text(32, 20, "X", 16, BLUE)),
    "scale_y.png": svg(arrow(32, 32, 32, 6, INK, 4, 10) + arrow(32, 32, 32, 58, INK, 4, 10) + text(48, 38, "Y", 16, BLUE)),
    "select.png": svg(path("M14,8 L14,50 L24,40 L32,56 L38,53 L30,38 L44,38 Z", INK, 3, "#ffffff")),
    "select_z.png": svg('<rect x="8" y="12" width="40" height="30" stroke="%s" stroke-width="3" stroke-dasharray="5,4" fill="none"/>' % BLUE
                        + circle(42, 38, 10, INK, 3) + line(49, 45, 58, 56, INK, 5)),
    "text_placement.png": svg(text(26, 40, "T", 36, INK) + arrow(40, 52, 58, 52, RED, 3, 8)),
    "vintor.png": svg(path("M20,8 L44,8 M20,16 L44,16", INK, 3) + path("M22,16 L22,56 M42,16 L42,56", INK, 3)
                      + "".join(line(22, 22 + 8 * i, 42, 26 + 8 * i, GREY, 2) for i in range(4))),
    "Ресурс 5.png": svg(rough(32, BLUE)),
    "Ресурс 6.png": svg(wave(32, 12, BLUE)),
    "Ресурс 70.png": svg(circle(32, 32, 22, BLUE, 3) + dot(32, 32, BLUE)),
    "Ресурс 71.png": svg(circle(32, 32, 22, GREEN, 3) + dot(32, 32, GREEN)),
    "Эту иконку.png": svg('<rect x="8" y="8" width="48" height="48" rx="8" stroke="%s" stroke-width="3"/>' % INK + text(32, 42, "?", 28)),
}


def favicon_ico(path_out, size=32):
    """A 32 x 32 icon: a blue disc with a white wave, as an uncompressed 32-bit BMP entry."""
    rows = []
    for y in range(size - 1, -1, -1):  # BMP rows run bottom-up
        row = bytearray()
        for x in range(size):
            cx, cy = x + 0.5 - size / 2, y + 0.5 - size / 2
            r = math.hypot(cx, cy)
            alpha = max(0.0, min(1.0, size / 2 - 1 - r + 0.5))
            wy = 3 * math.sin((x / size) * 4 * math.pi)
            on_wave = abs(cy - 3 - wy) < 1.6 and r < size / 2 - 3
            color = (255, 255, 255) if on_wave else (0xbf, 0x5f, 0x1f)  # BGR
            row += bytes(color) + bytes([int(round(alpha * 255))])
        rows.append(bytes(row))
    pixels = b"".join(rows)
    mask = b"\x00" * (size * 4)  # 1-bit AND mask, rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    with open(path_out, "wb") as f:
        f.write(directory + image)


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        for name, drawing in sorted(ICONS.items()):
            src = os.path.join(tmp, "icon.svg")
            with open(src, "w", encoding="utf-8") as f:
                f.write(drawing)
            subprocess.run(["rsvg-convert", "-w", "64", "-h", "64", "-o", os.path.join(OUT, name), src], check=True)
    favicon_ico(os.path.join(OUT, "favicon.ico"))
    print(f"{len(ICONS) + 1} icons written to {OUT}")


if __name__ == "__main__":
    sys.exit(main())
