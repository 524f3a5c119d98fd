#!/usr/bin/env python3
"""Writes the program's SVG pictures and the resource file that lists them.

Every picture is drawn on a 16 x 16 grid.  One-pixel strokes run on pixel
centres (x.5) and filled shapes sit on whole pixels, so the pictures stay
crisp at 16 px and still read when scaled to the toolbars' 20-24 px.

Run it from anywhere; with a folder argument it writes there instead of
next to itself (the resource file then lands one level above that folder).
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else HERE

# ---------------------------------------------------------------- palette
INK = "#2b3547"        # outlines
PAPER = "#ffffff"
PAPER_LINE = "#9aa6b8"  # text lines on a page
SHADE = "#dfe5ee"       # back pages of a stack
GHOST = "#9aa3b0"       # the outline of a missing page
GREEN = "#2e9b4f"       # add, local side, go
RED = "#d8412f"         # remove, stop, local change mark
BLUE = "#2f6fc0"        # remote side, remote change mark
PURPLE = "#8a44b0"      # both sides changed
GOLD = "#f0b429"        # pencils
STEEL = "#8793a6"

MAIN = {"accent": "#3574c4", "light": "#cfe0f7"}
SESSION = {"basket": "#e2ad4c", "basket_dark": "#8a5a12", "book": "#4f8ad6", "book_dark": "#1f4f8f"}
FTP = {"local": "#2e9b4f", "remote": "#2f6fc0", "server": "#c9d3e2"}
BUFFER = {"box": "#8a5cc9", "box_dark": "#4e2d7a", "card": "#f3ecfb"}


def write(rel, text):
    path = os.path.join(OUT, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    return rel


def svg(*parts, size=16):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 16 16">%s</svg>\n'
            % (size, size, "".join(parts)))


def num(v):
    s = ("%.2f" % v).rstrip("0").rstrip(".")
    return "0" if s == "-0" else s


def path(d, fill="none", stroke=INK, width=1.0, extra=""):
    s = '<path d="%s" fill="%s"' % (d, fill)
    if stroke:
        s += ' stroke="%s" stroke-width="%s"' % (stroke, num(width))
    return s + extra + "/>"


def rect(x, y, w, h, fill, stroke=None, width=1.0):
    s = '<rect x="%s" y="%s" width="%s" height="%s" fill="%s"' % (num(x), num(y), num(w), num(h), fill)
    if stroke:
        s += ' stroke="%s" stroke-width="%s"' % (stroke, num(width))
    return s + "/>"


def circle(cx, cy, r, fill, stroke=None, width=1.0):
    s = '<circle cx="%s" cy="%s" r="%s" fill="%s"' % (num(cx), num(cy), num(r), fill)
    if stroke:
        s += ' stroke="%s" stroke-width="%s"' % (stroke, num(width))
    return s + "/>"


def poly(points, fill, stroke=INK, width=1.0, extra=""):
    d = "M" + " L".join("%s %s" % (num(x), num(y)) for x, y in points) + "Z"
    return path(d, fill, stroke, width, extra)


# ---------------------------------------------------------------- a 3x5 pixel font for type tags and digits
GLYPHS = {
    "A": ["010", "101", "111", "101", "101"], "B": ["110", "101", "110", "101", "110"],
    "C": ["011", "100", "100", "100", "011"], "H": ["101", "101", "111", "101", "101"],
    "I": ["111", "010", "010", "010", "111"], "J": ["001", "001", "001", "101", "010"],
    "M": ["10001", "11011", "10101", "10001", "10001"], "N": ["1001", "1101", "1011", "1001", "1001"],
    "O": ["010", "101", "101", "101", "010"], "S": ["011", "100", "010", "001", "110"],
    "T": ["111", "010", "010", "010", "010"], "V": ["101", "101", "101", "101", "010"],
    "+": ["000", "010", "111", "010", "000"],
    "1": ["010", "110", "010", "010", "111"], "2": ["110", "001", "010", "100", "111"],
    "3": ["110", "001", "010", "001", "110"], "4": ["101", "101", "111", "001", "001"],
    "5": ["111", "100", "110", "001", "110"], "6": ["011", "100", "110", "101", "010"],
    "7": ["111", "001", "010", "010", "010"], "8": ["010", "101", "010", "101", "010"],
}


def pixel_text(text, x, y, color):
    """Draws text in the pixel font with its top left at whole pixel (x, y)."""
    out = []
    for ch in text:
        out.append(pixel_glyph(GLYPHS[ch], x, y, color))
        x += len(GLYPHS[ch][0]) + 1
    return "".join(out)


def pixel_width(text):
    return sum(len(GLYPHS[ch][0]) for ch in text) + len(text) - 1


# ---------------------------------------------------------------- shared shapes
def page(x0=2, y0=0, x1=14, y1=16, fold=3, fill=PAPER, stroke=INK, dashed=False):
    """A sheet of paper filling the pixels x0..x1, y0..y1 with a folded corner."""
    a, b, c, d = x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5
    extra = ' stroke-dasharray="2 1"' if dashed else ""
    body = path("M%s %sH%sL%s %sV%sH%sZ" % (num(a), num(b), num(c - fold), num(c), num(b + fold), num(d), num(a)),
                fill, stroke, 1, extra)
    corner = path("M%s %sV%sH%s" % (num(c - fold), num(b), num(b + fold), num(c)), SHADE if not dashed else "none",
                  stroke, 1, extra)
    return body + corner


def text_lines(x0, x1, ys, color=PAPER_LINE):
    return "".join(path("M%s %s.5H%s" % (num(x0), y, num(x1)), "none", color) for y in ys)


def plain_rect(x0, y0, x1, y1, fill, stroke=INK):
    """A rectangle covering the pixels x0..x1, y0..y1 with a one-pixel outline inside."""
    return rect(x0 + 0.5, y0 + 0.5, x1 - x0 - 1, y1 - y0 - 1, fill, stroke)


def stack(x0, y0, x1, y1, n=3, step=2, fill=PAPER):
    """n sheets, each shifted down-right by step pixels; the front one last."""
    out = []
    for i in range(n):
        k = i * step
        back = i < n - 1
        out.append(page(x0 + k, y0 + k, x1 - (n - 1 - i) * step, y1 - (n - 1 - i) * step, 2,
                        SHADE if back else fill))
    return "".join(out)


def disk(x0, y0, s, body):
    """A floppy disk in the s x s pixel square at (x0, y0)."""
    x1, y1 = x0 + s, y0 + s
    out = path("M%s %sH%sL%s %sV%sH%sZ" % (num(x0 + .5), num(y0 + .5), num(x1 - 2.5), num(x1 - .5),
                                             num(y0 + 2.5), num(y1 - .5), num(x0 + .5)), body)
    shutter_w = max(3, s // 2)
    out += rect(x0 + (s - shutter_w) // 2 - 1, y0 + 1, shutter_w, max(2, s // 3 - 1), "#e9edf3")
    out += rect(x0 + (s - shutter_w) // 2 + shutter_w - 3, y0 + 1, 1, max(2, s // 3 - 1), INK)
    label_h = max(3, s // 2 - 1)
    out += rect(x0 + 2, y1 - 1 - label_h, s - 4, label_h, PAPER)
    if s >= 12:
        out += text_lines(x0 + 3, x1 - 3, [y1 - label_h + 1, y1 - label_h + 3])
    return out


def server(x0, y0, x1, y1, units=2, fill=FTP["server"], led=GREEN):
    """A rack of units filling the pixels x0..x1, y0..y1."""
    h = (y1 - y0) // units
    out = []
    for i in range(units):
        top = y0 + i * h
        bottom = y1 if i == units - 1 else top + h + 1
        out.append(plain_rect(x0, top, x1, bottom, fill))
        mid = top + (bottom - top) // 2
        out.append(rect(x0 + 2, mid - 1 + ((bottom - top) % 2), 2, 1 if bottom - top < 5 else 2, led))
        out.append(path("M%d %s.5H%d" % (x0 + 5, mid - 1 + ((bottom - top) % 2), x1 - 2), "none", STEEL))
    return "".join(out)


def folder(x0=1, y0=3, x1=15, y1=14, fill="#f0c24b", stroke="#8a6410"):
    a, b, c, d = x0 + .5, y0 + .5, x1 - .5, y1 - .5
    return (path("M%s %sH%sL%s %sH%sV%sH%sZ" % (num(a), num(b), num(a + 4), num(a + 5), num(b + 1.5), num(c),
                                                 num(d), num(a)), fill, stroke)
            + path("M%s %sH%s" % (num(a + 0.5), num(b + 3), num(c - 0.5)), "none", "#fbe6a8"))


def open_folder():
    return (path("M1.5 3.5H5.5L6.5 5H12.5V7.5", "#e2ae35", "#8a6410")
            + path("M1.5 3.5V14.5", "none", "#8a6410")
            + path("M1.5 14.5L3.5 7.5H15.5L13.5 14.5Z", "#f7d36b", "#8a6410"))


def magnifier(cx, cy, r=3.0, handle=3.0, glass="#e6f2ff"):
    d = handle / math.sqrt(2)
    hx, hy = cx + r / math.sqrt(2), cy + r / math.sqrt(2)
    return (path("M%s %sL%s %s" % (num(hx), num(hy), num(hx + d), num(hy + d)), "none", INK, 2.2,
                 ' stroke-linecap="round"')
            + circle(cx, cy, r, glass, INK, 1.3))


def pencil(tip_x, tip_y, length=10.0, width=3.0, body=GOLD):
    """A pencil pointing down-left to its tip."""
    ux, uy = 1 / math.sqrt(2), -1 / math.sqrt(2)   # along the pencil, away from the tip
    nx, ny = -uy, ux                              # across it
    w = width / 2
    tip = (tip_x, tip_y)
    cone = 2.6
    b1 = (tip_x + ux * cone + nx * w, tip_y + uy * cone + ny * w)
    b2 = (tip_x + ux * cone - nx * w, tip_y + uy * cone - ny * w)
    e1 = (tip_x + ux * length + nx * w, tip_y + uy * length + ny * w)
    e2 = (tip_x + ux * length - nx * w, tip_y + uy * length - ny * w)
    return (poly([b1, e1, e2, b2], body, INK, 0.9)
            + poly([tip, b1, b2], "#f6dfb5", INK, 0.9)
            + poly([tip, (tip_x + ux * 1.1 + nx * w * .42, tip_y + uy * 1.1 + ny * w * .42),
                    (tip_x + ux * 1.1 - nx * w * .42, tip_y + uy * 1.1 - ny * w * .42)], INK, None))


def badge(cx, cy, color, r=3.5):
    """A round badge with a white rim that sets it off from the picture below."""
    return circle(cx, cy, r + 0.6, PAPER) + circle(cx, cy, r, color)


def on_pixel(c):
    """The pixel centre a badge sits on: its one-pixel strokes then fill whole pixels."""
    return math.floor(c - 0.5) + 0.5


def plus_badge(cx=12, cy=12, color=GREEN):
    """A "+" of whole pixels: at 16 px it reads as a plus, not as a ring."""
    cx, cy = on_pixel(cx), on_pixel(cy)
    return badge(cx, cy, color, 4) + rect(cx - 2.5, cy - 0.5, 5, 1, PAPER) + rect(cx - 0.5, cy - 2.5, 1, 5, PAPER)


def minus_badge(cx=12, cy=12, color=RED):
    cx, cy = on_pixel(cx), on_pixel(cy)
    return badge(cx, cy, color, 4) + rect(cx - 2.5, cy - 0.5, 5, 1, PAPER)


def question_badge(cx=12, cy=12, color=BLUE):
    return (badge(cx, cy, color, 3.8)
            + path("M%s %sc0-1.6 2.6-1.6 2.6 0 0 1.1-1.3 1-1.3 2.2" % (num(cx - 1.3), num(cy - 1.2)), "none",
                   PAPER, 1.2)
            + rect(cx - 0.6, cy + 1.8, 1.3, 1.2, PAPER))


def pen_badge():
    return pencil(8.6, 15.4, 9.5, 3.4)


def stack_badge():
    """Two more sheets in the lower right corner: the command works on all of them."""
    return (rect(7, 6, 9, 10, PAPER)
            + plain_rect(10, 6, 16, 13, SHADE)
            + plain_rect(7, 9, 14, 16, PAPER) + text_lines(9, 12, [11, 13]))


def octagon(cx, cy, r, fill=RED, stroke="#8e1e12"):
    pts = [(cx + r * math.cos(math.radians(22.5 + 45 * k)), cy + r * math.sin(math.radians(22.5 + 45 * k)))
           for k in range(8)]
    return poly(pts, fill, stroke, 1)


def arrow_down(x_mid, y_top, y_tip, color, shaft=3, head=7):
    """A solid arrow on whole pixels: shaft centred on x_mid (a pixel centre)."""
    hs = shaft / 2
    hh = head / 2
    neck = y_tip - hh
    return poly([(x_mid - hs, y_top), (x_mid + hs, y_top), (x_mid + hs, neck), (x_mid + hh, neck), (x_mid, y_tip),
                 (x_mid - hh, neck), (x_mid - hs, neck)], color, INK, 0.9)


def arrow_up(x_mid, y_bottom, y_tip, color, shaft=3, head=7):
    hs = shaft / 2
    hh = head / 2
    neck = y_tip + hh
    return poly([(x_mid - hs, y_bottom), (x_mid + hs, y_bottom), (x_mid + hs, neck), (x_mid + hh, neck),
                 (x_mid, y_tip), (x_mid - hh, neck), (x_mid - hs, neck)], color, INK, 0.9)


def arrow_side(y_mid, x_from, x_tip, color, shaft=3, head=7):
    """A solid horizontal arrow pointing from x_from to x_tip."""
    hs, hh = shaft / 2, head / 2
    sgn = 1 if x_tip > x_from else -1
    neck = x_tip - sgn * hh
    return poly([(x_from, y_mid - hs), (neck, y_mid - hs), (neck, y_mid - hh), (x_tip, y_mid), (neck, y_mid + hh),
                 (neck, y_mid + hs), (x_from, y_mid + hs)], color, INK, 0.9)


# ---------------------------------------------------------------- the program's change marks
def pixel_glyph(rows, x, y, color):
    """Whole-pixel runs of a bitmap given as rows of 0/1, top left at (x, y)."""
    out = []
    for r, row in enumerate(rows):
        c = 0
        while c < len(row):
            if row[c] == "1":
                start = c
                while c < len(row) and row[c] == "1":
                    c += 1
                out.append(rect(x + start, y + r, c - start, 1, color))
            else:
                c += 1
    return "".join(out)


ASTERISK = ["00100", "10101", "01110", "10101", "00100"]
WAVE = ["01000", "10101", "00010"]


def star(cx, cy, color):
    """The "modified" mark: a round badge with a white asterisk (cx, cy on a pixel centre)."""
    return badge(cx, cy, color, 3.9) + pixel_glyph(ASTERISK, cx - 2.5, cy - 2.5, PAPER)


def tilde(cx, cy, color):
    """The "missing" mark: a round badge with a white wave."""
    return badge(cx, cy, color, 3.9) + pixel_glyph(WAVE, cx - 2.5, cy - 1.5, PAPER)


def strike(cx, cy):
    """A bar across a mark: the mark is cleared."""
    return path("M%s %sL%s %s" % (num(cx - 4.6), num(cy + 4.6), num(cx + 4.6), num(cy - 4.6)), "none", INK, 1.4,
                ' stroke-linecap="round"')


LOCAL_MARK, REMOTE_MARK, BOTH_MARK = "#e0561b", BLUE, PURPLE


def file_page(dashed=False):
    if dashed:
        return page(2, 0, 14, 16, 3, "#f3f5f8", GHOST, True)
    return page()


def pending_arrow(color):
    """The blink phase of a change that waits to go out: an arrow pointing at the name."""
    return arrow_side(12, 9.5, 0.5, color, 2, 6)


# ---------------------------------------------------------------- file item pictures 0-30
files = []
SYNC_MARK_CX, SYNC_MARK_CY = 11.5, 4.5


def type_page(tag, band, fg=PAPER, lines=True):
    w = pixel_width(tag)
    x = (16 - w) // 2
    out = page()
    if lines:
        out += text_lines(4, 9, [3, 5])
    out += rect(1, 8, 14, 7, band) + pixel_text(tag, x, 9, fg)
    return out


file_icons = {
    # Unknown type: a blank sheet.
    0: page(),
    # Added from local or from remote, never transferred: the side it came from.
    9: page() + text_lines(4, 9, [3, 5, 7]) + rect(5, 7, 11, 9, PAPER) + plain_rect(6, 8, 16, 14, "#9fdcae")
       + rect(10, 14, 2, 1, INK) + rect(8, 15, 6, 1, INK),
    10: page() + text_lines(4, 9, [3, 5, 7]) + rect(6, 6, 10, 10, PAPER) + server(7, 7, 16, 16, 2),
    # Command files (the pale band: never transferred).
    11: type_page("BAT", "#f6d6a6", "#8a4b00"),
    12: type_page("BAT", "#c76a00"),
    # Binary files.
    13: type_page("BIN", "#d5d9df", "#3b4350"),
    14: type_page("BIN", "#4a5261"),
    15: type_page("COM", "#6a4ab0"),
    16: type_page("C++", "#2050a0"),
    17: type_page("COB", "#7a4a1c"),
    18: type_page("C", "#2f6fd0"),
    19: type_page("H", "#3d8a3a"),
    20: type_page("JAV", "#c0501e"),
    21: type_page("BAS", "#5d4f9a"),
    # Text: a sheet with lines.
    22: page() + text_lines(4, 11, [4, 6, 8, 10, 12]),
}
for n in range(1, 9):
    # Pinned, with the number of its pin.
    file_icons[n] = (page() + text_lines(4, 11, [4, 6])
                     + rect(6, 8, 7, 7, "#c0392b") + pixel_text(str(n), 8, 9, PAPER)
                     + circle(5, 5.5, 2.2, "#e74c3c", "#8e1e12", 0.9)
                     + path("M3.6 7.2L1.2 9.6", "none", INK, 1.1))
plain = file_page()
ghost = file_page(dashed=True)
mx, my = SYNC_MARK_CX, SYNC_MARK_CY
file_icons[23] = plain + star(mx, my, LOCAL_MARK) + pending_arrow(LOCAL_MARK)
file_icons[24] = plain + star(mx, my, LOCAL_MARK)
file_icons[25] = plain + star(mx, my, BOTH_MARK) + pending_arrow(BOTH_MARK)
file_icons[26] = ghost + tilde(mx, my, "#7d8590")
file_icons[27] = ghost + tilde(mx, my, "#222831")
file_icons[28] = plain + tilde(mx, my, REMOTE_MARK)
file_icons[29] = plain + star(mx, my, REMOTE_MARK)
file_icons[30] = plain + star(mx, my, BOTH_MARK)
for n, body in file_icons.items():
    files.append(write("file/%d.svg" % n, svg(body)))


# ---------------------------------------------------------------- baskets, sessions, accounts, libraries
def basket(fill=SESSION["basket"], dark=SESSION["basket_dark"]):
    return (path("M4.5 7.5C4.5 2.5 11.5 2.5 11.5 7.5", "none", dark, 1.4)
            + path("M0.5 6.5H15.5L13.5 14.5H2.5Z", fill, dark)
            + path("M2 9.5H14M3 12H13", "none", dark, 0.9)
            + path("M5.5 7V14M8 7V14M10.5 7V14", "none", dark, 0.7))


# Basket rows: 0 plain, 1 spare, 2 with locally modified items.
files.append(write("basket/0.svg", svg(basket())))
files.append(write("basket/1.svg", svg(basket("#c5d3e8", "#3d5478"))))
files.append(write("basket/2.svg", svg(basket() + star(11.5, 4.5, LOCAL_MARK))))


def notebook(fill=SESSION["book"], dark=SESSION["book_dark"]):
    """A session: a ring-bound book of baskets."""
    return (plain_rect(3, 1, 14, 16, fill, dark)
            + rect(6, 4, 6, 3, PAPER)
            + "".join(path("M1.5 %s.5H5" % y, "none", dark, 1.2) for y in (3, 7, 11))
            + "".join(rect(2, y - 1, 1, 3, "#e8eef8") for y in (3, 7, 11)))


def current_badge():
    """The current item: a green play mark."""
    return badge(12, 12, "#23863f", 3.6) + poly([(10.4, 9.6), (14.6, 12), (10.4, 14.4)], PAPER, None)


vault = (plain_rect(1, 2, 15, 15, "#7d8cab", "#2f3a55")
         + rect(3, 14, 2, 2, "#2f3a55") + rect(11, 14, 2, 2, "#2f3a55")
         + circle(8, 8, 3.2, "#e6eaf2", "#2f3a55")
         + path("M8 5.5V10.5M5.5 8H10.5", "none", "#2f3a55", 1)
         + rect(12, 6, 1.5, 4, "#2f3a55"))
files.append(write("session/0.svg", svg(vault)))
files.append(write("session/1.svg", svg(folder())))
files.append(write("session/2.svg", svg(notebook("#b9c0cc", "#5f6878"))))
files.append(write("session/3.svg", svg(notebook())))
files.append(write("session/4.svg", svg(notebook() + current_badge())))

network = (circle(8, 8, 6.5, "#8fc0ee", "#23507f")
           + path("M1.5 8H14.5M8 1.5V14.5M3 4.5H13M3 11.5H13", "none", "#23507f", 0.8)
           + path("M8 1.5C4.5 4.5 4.5 11.5 8 14.5M8 1.5C11.5 4.5 11.5 11.5 8 14.5", "none", "#23507f", 0.8))
cluster = (server(0, 0, 8, 7, 1) + server(8, 0, 16, 7, 1) + rect(3, 7, 10, 9, PAPER) + server(4, 8, 12, 16, 2))
files.append(write("account/0.svg", svg(network)))
files.append(write("account/1.svg", svg(cluster)))


def host(state):
    """An account: its server, coloured by how its connection stands."""
    fill, led = {"never": ("#d3d8e0", "#9aa3b0"), "idle": ("#c3d8f2", "#f0a020"), "open": ("#bde5c5", "#17a544"),
                 "x8": ("#f2d9a5", "#c77a00"), "x10": ("#f2b8b0", "#c0392b"), "x12": ("#d8c5ef", "#7d3fb0")}[state]
    return server(2, 1, 14, 15, 2, fill, led)


# Account states: 2 never connected, 4 known but not connected now, 6 connected;
# the next odd number is the same state as the current account.
for i, state in enumerate(["never", "idle", "open", "x8", "x10", "x12"]):
    files.append(write("account/%d.svg" % (2 + 2 * i), svg(host(state))))
    files.append(write("account/%d.svg" % (3 + 2 * i), svg(host(state) + current_badge())))


def books():
    return (plain_rect(1, 2, 5, 15, "#4f73c2")
            + plain_rect(5, 1, 9, 15, "#c45454")
            + poly([(9.5, 3.5), (12.5, 2.8), (15, 14.2), (12, 14.9)], "#4d9a55")
            + path("M2 5.5H4M6 4.5H8M2 12.5H4M6 12.5H8", "none", "#f0f0f0", 1)
            + path("M0 15.5H16", "none", INK, 1))


# Library lists: 4 a library, 5 a saved folder.
files.append(write("lib/4.svg", svg(books())))
files.append(write("lib/5.svg", svg(folder())))


# ---------------------------------------------------------------- command pictures, by command id
def gear(cx=8, cy=8, teeth=8, r_out=7.2, r_in=5.4, hole=2.2, fill=STEEL):
    pts = []
    for k in range(teeth):
        base = 360.0 * k / teeth
        for a, r in ((-16, r_in), (-9, r_out), (9, r_out), (16, r_in)):
            t = math.radians(base + a)
            pts.append((cx + r * math.cos(t), cy + r * math.sin(t)))
    return poly(pts, fill, INK, 1) + circle(cx, cy, hole, PAPER, INK, 1)


def window(x0, y0, x1, y1, title=MAIN["accent"], body=PAPER):
    return plain_rect(x0, y0, x1, y1, body) + rect(x0 + 1, y0 + 1, x1 - x0 - 2, 2, title)


def two_pages_diff(x_gap=1):
    w = (16 - x_gap) // 2
    left = page(0, 1, w, 15, 2) + text_lines(2, w - 2, [5, 11])
    right = page(w + x_gap, 1, 16, 15, 2) + text_lines(w + x_gap + 2, 14, [5, 11])
    return (left + right + rect(1, 7, w - 2, 2, "#e35d4f") + rect(w + x_gap + 1, 7, 16 - w - x_gap - 2, 2, "#4cb662"))


def terminal():
    return (plain_rect(0, 2, 16, 15, "#1f2733", INK) + rect(1, 3, 14, 2, STEEL)
            + path("M3 7.5L5.5 9.5L3 11.5", "none", "#5fe08a", 1.3)
            + rect(7, 11, 4, 1.5, "#5fe08a"))


def card_box(x0=1, y0=1, x1=15, y1=15):
    """The text buffer: a box of cards."""
    mid = y0 + (y1 - y0) // 2
    return (plain_rect(x0 + 2, y0, x1 - 3, mid + 2, BUFFER["card"], BUFFER["box_dark"])
            + plain_rect(x0 + 4, y0 + 2, x1 - 1, mid + 2, PAPER, BUFFER["box_dark"])
            + text_lines(x0 + 6, x1 - 3, [y0 + 4])
            + plain_rect(x0, mid, x1, y1, BUFFER["box"], BUFFER["box_dark"])
            + rect(x0 + (x1 - x0) // 2 - 2, mid + 3, 4, 1.5, BUFFER["box_dark"]))


def sync_loop(cx=8, cy=8, r=5.5, color=GREEN):
    """Two arrows chasing each other round a circle."""
    out = []
    for start in (200, 20):
        a0, a1 = math.radians(start), math.radians(start + 130)
        x0, y0 = cx + r * math.cos(a0), cy + r * math.sin(a0)
        x1, y1 = cx + r * math.cos(a1), cy + r * math.sin(a1)
        out.append(path("M%s %sA%s %s 0 0 1 %s %s" % (num(x0), num(y0), num(r), num(r), num(x1), num(y1)),
                        "none", color, 1.8))
        # the head, pointing along the circle at its end
        tx, ty = -math.sin(a1), math.cos(a1)
        nx, ny = math.cos(a1), math.sin(a1)
        out.append(poly([(x1 + tx * 2.6, y1 + ty * 2.6), (x1 + nx * 2.4, y1 + ny * 2.4),
                         (x1 - nx * 2.4, y1 - ny * 2.4)], color, None))
    return "".join(out)


def key(cx, cy, r=2.5, blade_to=None):
    """A key lying flat: its bow round (cx, cy), its blade running right with two teeth."""
    end = blade_to if blade_to is not None else cx + 4 * r
    dark = "#8a6410"
    y = cy
    return (path("M%s %sH%s" % (num(cx + r), num(y), num(end)), "none", dark, 2)
            + rect(end - 2, y, 1.6, 3, dark) + rect(end - 5, y, 1.6, 2.4, dark)
            + circle(cx, cy, r, GOLD, dark, 1.3) + circle(cx, cy, max(0.6, r / 3.5), PAPER))


def brackets(x0, y0, size=8):
    """Curly brackets round a dot: a parameter in a text."""
    k = size / 8.0
    def at(x, y):
        return "%s %s" % (num(x0 + x * k), num(y0 + y * k))
    d = ("M" + at(2.5, 0.5) + "C" + at(0.8, 0.5) + " " + at(1.5, 3.5) + " " + at(0.3, 4)
         + "C" + at(1.5, 4.5) + " " + at(0.8, 7.5) + " " + at(2.5, 7.5)
         + "M" + at(5.5, 0.5) + "C" + at(7.2, 0.5) + " " + at(6.5, 3.5) + " " + at(7.7, 4)
         + "C" + at(6.5, 4.5) + " " + at(7.2, 7.5) + " " + at(5.5, 7.5))
    return (path(d, "none", PAPER, 2.8 * max(k, 1)) + path(d, "none", "#5b2677", 1.3 * max(k, 1))
            + circle(x0 + 4 * k, y0 + 4 * k, 0.9 * k, "#5b2677"))


def info_badge(cx=11.5, cy=11.5):
    return badge(cx, cy, BLUE, 4) + rect(cx - 0.5, cy - 2.5, 1, 1, PAPER) + rect(cx - 0.5, cy - 0.5, 1, 3, PAPER)


def play_badge():
    """Run it: a green badge with a play mark."""
    return badge(11.5, 11.5, GREEN, 4) + poly([(10, 9.2), (14.2, 11.5), (10, 13.8)], PAPER, None)


CMD = {}
# Main toolbar.
CMD[32580] = disk(1, 1, 14, MAIN["accent"])                                     # Save data
CMD[32583] = (window(0, 1, 16, 15) + rect(1, 3, 6, 11, MAIN["light"])           # Manage Sessions
              + plain_rect(2, 5, 5, 8, "#f0c24b", "#8a6410")
              + path("M3.5 8V11.5H5", "none", INK) + rect(5, 10, 2, 3, SESSION["book"])
              + text_lines(8, 14, [6, 8, 10, 12]))
CMD[32579] = gear()                                                            # Manage Options
CMD[32620] = octagon(8, 8, 7.6) + rect(3, 7, 10, 2, PAPER)                      # Stop all threads
CMD[32627] = (page(1, 0, 10, 11, 2) + text_lines(3, 7, [4, 6])                 # Copy
              + page(6, 5, 15, 16, 2) + text_lines(8, 12, [9, 11, 13]))
CMD[32628] = (path("M5 1L10.3 10.5M11 1L5.7 10.5", "none", "#5d6b80", 1.6)      # Cut
              + circle(4.5, 12.5, 2.4, PAPER, RED, 1.5) + circle(11.5, 12.5, 2.4, PAPER, RED, 1.5))
CMD[32647] = (plain_rect(1, 2, 12, 16, "#c08a4a", "#6b4a20")                    # Paste
              + plain_rect(4, 1, 9, 4, "#c9d0da", INK)
              + page(7, 6, 16, 16, 2) + text_lines(9, 13, [10, 12, 14]))
CMD[57643] = (path("M4 6.5H10A3.5 3.5 0 0 1 10 13.5H6", "none", MAIN["accent"], 2.2)  # Undo
              + poly([(0.8, 6.5), (5.2, 2.6), (5.2, 10.4)], MAIN["accent"], None))
CMD[32642] = page(1, 0, 13, 16) + text_lines(3, 8, [4, 6, 8]) + pencil(6.6, 14.6, 11, 3.4)  # Workpad
CMD[32629] = stack(0, 0, 12, 14, 3, 2) + text_lines(6, 9, [7, 9]) + badge(12, 12, "#e0761b", 3.8) \
    + arrow_side(12, 9.6, 14.8, PAPER, 1.6, 4.6).replace('stroke="%s"' % INK, 'stroke="none"')  # Batch
CMD[32511] = (page(0, 0, 8, 10, 2) + page(8, 0, 16, 10, 2)                      # Diff-Merge Manager
              + rect(1, 4, 6, 2, "#e35d4f") + rect(9, 4, 6, 2, "#4cb662")
              + path("M4 10.5V12.5H12V10.5M8 12.5V13", "none", INK, 1.2)
              + poly([(5.5, 13), (10.5, 13), (8, 15.8)], INK, None))
CMD[32501] = (circle(8, 8, 7, MAIN["accent"], "#1d4f8f")                        # About
              + rect(7, 3, 2, 2, PAPER) + rect(7, 6, 2, 7, PAPER))
# Menu pictures of the Application, Conversion, Diff, File and Xtra menus.
CMD[57665] = (plain_rect(1, 1, 10, 16, "#b07a43", "#5f3d17")                    # Exit
              + poly([(1.5, 1.5), (6.5, 3.5), (6.5, 15.5), (1.5, 15.5)], "#7b5126", "#5f3d17")
              + arrow_side(8.5, 7, 15.8, GREEN, 2.4, 6))
CMD[32588] = (window(0, 1, 16, 15) + text_lines(2, 6, [6, 8, 10])              # Open Text Conversion dialog
              + path("M8 12.5L13 7.5", "none", INK, 1.4) + poly([(9.5, 6), (14, 6), (14, 10.5)], INK, None))
CMD[32502] = sync_loop(8, 8, 5.5, GREEN)                                      # Inline update
CMD[32630] = books() + magnifier(11, 9, 3.1, 3.2)                               # Find-Replace library
CMD[32633] = books() + rect(7, 8, 9, 8, PAPER) + key(10, 11, 2.2, 16)                                               # Key-Lookup library
CMD[32637] = books() + rect(7, 6, 9, 10, PAPER) + brackets(8, 7)                                          # Token Parameter lib
CMD[32631] = magnifier(6, 6, 4.2, 4.2) + play_badge()                          # Execute Find-Replace lib
CMD[32634] = key(4, 4.5, 3.2, 15.5) + play_badge()                                      # Execute Key-Lookup lib
CMD[32638] = brackets(0, 1, 12) + play_badge()                                 # Execute Token Param lib
CMD[32643] = (page(1, 0, 13, 16) + text_lines(3, 8, [4, 6, 8])                 # Execute Workpad
              + pencil(4.6, 12.6, 9, 3) + play_badge())
CMD[32641] = magnifier(6, 6, 4.2, 4.2) + arrow_down(13, 5, 16, GREEN, 2, 6)      # Find next
CMD[32648] = (rect(1, 2, 7, 3, "#e35d4f") + rect(8, 11, 7, 3, "#4cb662")         # Replace next
              + path("M4.5 6V10.5H8", "none", INK, 1.4) + poly([(7.5, 8), (10.5, 10.5), (7.5, 13)], INK, None))
CMD[32632] = (circle(8, 8, 7, PURPLE, "#5b2677")                              # Quick Help
              + path("M5.5 6.2c0-3.2 5-3.2 5 0 0 2-2.5 1.7-2.5 4", "none", PAPER, 1.9)
              + rect(7, 11.5, 2, 2, PAPER))
CMD[32549] = (window(0, 1, 16, 15) + path("M8 3V14", "none", INK)               # Diff Input Output window
              + text_lines(2, 6, [6, 11]) + text_lines(10, 14, [6, 11])
              + rect(2, 8, 5, 2, "#e35d4f") + rect(9, 8, 5, 2, "#4cb662"))
CMD[32548] = two_pages_diff()                                                 # Diff 2 files
CMD[32546] = "".join(page(x, 1 + k, x + 6, 15, 2) + rect(x + 1, 7, 4, 2, c)     # Diff 3 files
                     for k, (x, c) in enumerate([(0, "#e35d4f"), (5, "#e0a21b"), (10, "#4cb662")]))
CMD[32547] = "".join(page(x, 1, x + 7, 15, 2) + rect(x + 1, 7, 5, 2, c)            # Diff n files
                     for x, c in [(0, "#e35d4f"), (3, "#e0a21b"), (6, "#4cb662"), (9, BLUE)])
CMD[32533] = (page(3, 0, 13, 7, 2) + plain_rect(0, 6, 16, 14, PAPER)            # Rename/duplicate files
              + rect(2, 8, 7, 4, MAIN["accent"])
              + path("M11.5 7V13M10 6.5H13M10 13.5H13", "none", INK, 1))
CMD[32529] = (folder(1, 0, 13, 8) + plain_rect(0, 8, 16, 16, "#c3cad6")           # Manage files in hard disk
              + path("M2 12.5H9", "none", STEEL, 1) + rect(12, 11, 2, 2, GREEN))
CMD[32523] = (server(0, 3, 7, 14, 2) + server(9, 3, 16, 14, 2)                  # Make same Host
              + rect(7, 7, 2, 1, GREEN) + rect(7, 10, 2, 1, GREEN))
CMD[32601] = page(1, 0, 13, 16) + text_lines(3, 9, [4, 6, 8]) + info_badge()      # the item's report lines
CMD[32622] = (plain_rect(0, 1, 8, 15, PAPER) + text_lines(2, 6, [4, 6, 8, 10, 12])   # Append text block to right
              + plain_rect(8, 1, 16, 15, MAIN["light"]) + text_lines(10, 14, [4, 6, 8], BLUE)
              + plus_badge(12, 11.5))
CMD[32594] = (text_lines(1, 12, [2, 4], INK) + text_lines(1, 8, [13], INK)        # Fix multiple line-breaks
              + rect(2, 6, 1, 1, GHOST) + rect(2, 8, 1, 1, GHOST) + rect(2, 10, 1, 1, GHOST)
              + path("M14.5 4V9.5H7", "none", GREEN, 1.6) + poly([(8, 7), (5, 9.5), (8, 12)], GREEN, None))
CMD[32680] = path("M2.5 4.5H6C6 1.5 10 1.5 10 4.5H13.5V8C16.5 8 16.5 12 13.5 12V15.5H2.5V12"  # Plugin
                  "C5.5 12 5.5 8 2.5 8Z", "#7fb3e8", "#1f4f8f")
CMD[32593] = (text_lines(1, 14, [2], INK) + text_lines(1, 10, [5, 8], BLUE)       # Remove duplicate lines
              + text_lines(1, 14, [11], INK) + minus_badge(12, 8))
CMD[32600] = (path("M1 5.5H11", "none", INK, 1.6) + poly([(9, 2.5), (13, 5.5), (9, 8.5)], INK, None)  # Remove tabs
              + rect(13, 2, 1.6, 7, INK) + text_lines(1, 7, [11, 13], PAPER_LINE) + minus_badge(12, 12))
CMD[32652] = (path("M1 2.5H11M1 5.5H9M1 8.5H7M1 11.5H5M1 14.5H3", "none", INK, 1.4)  # Sort text
              + arrow_down(13, 1, 15, GREEN, 2, 6))
CMD[32603] = (path("M5.5 3L1.5 8L5.5 13", "none", BLUE, 1.8)                        # Split XML tags
              + path("M10.5 3L14.5 8L10.5 13", "none", BLUE, 1.8)
              + path("M8 1V15", "none", RED, 1.4, ' stroke-dasharray="2 1"'))
CMD[32602] = (path("M12.5 2V8.5H4", "none", INK, 1.8)                               # Test line break
              + poly([(5.5, 5), (1.5, 8.5), (5.5, 12)], INK, None) + question_badge(12, 12, BLUE))
# Session toolbar.
CMD[32503] = basket() + plus_badge()                                            # Add basket
CMD[32505] = basket() + pen_badge()                                             # Rename basket
CMD[32504] = basket() + minus_badge()                                           # Delete basket
CMD[32671] = notebook() + plus_badge()                                          # Add session
CMD[32675] = notebook() + pen_badge()                                           # Rename session
CMD[32672] = notebook() + minus_badge()                                         # Delete session
CMD[32512] = open_folder()                                                      # Open Folder
CMD[32521] = (page(0, 0, 9, 12, 2) + text_lines(2, 6, [4, 6, 8])                # Replicate item
              + page(6, 3, 15, 15, 2, SHADE) + text_lines(8, 12, [7, 9, 11]) + plus_badge(12, 12))
CMD[32554] = (page(1, 0, 13, 16) + text_lines(6, 10, [4, 7])                   # Set file attributes
              + plain_rect(3, 3, 5, 5, PAPER) + plain_rect(3, 6, 5, 8, GREEN, "#1d6b34")
              + poly([(8.5, 9.5), (12.5, 9.5), (15.5, 12.5), (12.5, 15.5), (8.5, 15.5)], "#f0c24b", "#8a6410")
              + circle(10.5, 12.5, 0.9, INK))
CMD[32516] = (text_lines(8, 15, [2, 6, 10, 14], INK) + arrow_up(3.5, 15, 1, GREEN, 3, 7))   # Move item up
CMD[32514] = (text_lines(8, 15, [1, 5, 9, 13], INK) + arrow_down(3.5, 1, 15, GREEN, 3, 7))  # Move item down
CMD[32518] = (poly([(6.5, 1.5), (11.5, 1.5), (10.5, 3.5), (10.5, 7), (13.5, 9.5), (4.5, 9.5),  # Pins
                    (7.5, 7), (7.5, 3.5)], "#e74c3c", "#8e1e12")
              + path("M9 10L9 15.5", "none", INK, 1.4))
CMD[32522] = (page(1, 0, 15, 16) + rect(2, 1, 9, 2, MAIN["accent"])              # Report on files
              + "".join(rect(3, y, 2, 2, INK) + path("M6 %s.5H12" % y, "none", PAPER_LINE, 1) for y in (5, 8, 11)))
# Sorting the selected items: by name, by host, by length of the name.
CMD[32584] = (page(0, 0, 10, 16, 2) + text_lines(2, 8, [4, 7, 10, 13], INK)     # Sort items by name
              + arrow_down(13, 1, 15, MAIN["accent"], 2, 6))
CMD[32585] = (server(0, 1, 10, 15, 3)                                           # Sort items by host
              + arrow_down(13, 1, 15, MAIN["accent"], 2, 6))
CMD[32586] = (path("M1 2.5H3M1 5.5H5M1 8.5H7M1 11.5H9M1 14.5H11", "none", INK, 1.4)  # Sort items by name length
              + arrow_down(13, 1, 15, MAIN["accent"], 2, 6))
# FTP toolbar.
CMD[32557] = server(1, 0, 15, 6, 1) + arrow_down(7.5, 6, 16, FTP["local"], 3, 9)             # get
CMD[32564] = server(1, 0, 15, 6, 1) + arrow_up(7.5, 16, 5, FTP["remote"], 3, 9)              # put
CMD[32558] = server(1, 0, 15, 6, 1) + arrow_down(4.5, 6, 16, FTP["local"], 3, 8) + stack_badge()  # get all
CMD[32565] = server(1, 0, 15, 6, 1) + arrow_up(4.5, 16, 5, FTP["remote"], 3, 8) + stack_badge()   # put all
CMD[32568] = (page(0, 2, 10, 16, 2) + text_lines(2, 6, [9, 11, 13]) + star(6.5, 5.5, REMOTE_MARK)  # sync to local
              + arrow_down(13, 1, 15, FTP["local"], 3, 6))
CMD[32569] = (page(0, 2, 10, 16, 2) + text_lines(2, 6, [9, 11, 13]) + star(6.5, 5.5, LOCAL_MARK)   # sync to remote
              + arrow_up(13, 15, 1, FTP["remote"], 3, 6))
CMD[32562] = server(1, 0, 13, 13, 2) + question_badge(12, 12, FTP["remote"])                 # remote status
CMD[32555] = page(1, 0, 13, 16) + text_lines(3, 9, [4, 6, 8]) + question_badge(12, 12, FTP["local"])  # local status
CMD[32566] = terminal()                                                                      # Run bat file
CMD[32567] = server(1, 0, 13, 13, 2) + octagon(11.5, 11.5, 4.3) + rect(9, 11, 5, 1.5, PAPER)  # Stop FTP
CMD[32574] = sync_loop(8, 8, 6, FTP["remote"]) + arrow_up(8, 12.5, 3.5, FTP["remote"], 2, 5)  # Auto sync
# FTP Advanced toolbar.
def cleared(color, all_items):
    sheets = stack(0, 0, 13, 15, 3, 2) + text_lines(6, 9, [7, 9]) if all_items else \
        page(0, 0, 12, 16) + text_lines(2, 8, [4, 6, 8])
    return sheets + star(10.5, 10.5, color) + strike(10.5, 10.5)


CMD[32508] = cleared(LOCAL_MARK, False)                                            # Clear local dirty icons
CMD[32507] = cleared(LOCAL_MARK, True)                                             # ... all of them
CMD[32510] = cleared(REMOTE_MARK, False)                                           # Clear remote dirty icons
CMD[32509] = cleared(REMOTE_MARK, True)                                            # ... all of them
CMD[32556] = folder(0, 1, 14, 12) + magnifier(10, 10, 3.2, 3.4)                   # Browse local files
CMD[32563] = server(0, 0, 13, 12, 2) + magnifier(10, 10, 3.2, 3.4)                # Browse remote files
CMD[32578] = (plain_rect(0, 9, 16, 16, MAIN["light"])                             # Show or hide the FTP toolbar
              + "".join(plain_rect(x, 10, x + 4, 15, FTP["server"]) for x in (1, 6, 11))
              + server(3, 0, 13, 7, 1))
# Manage Text Buffer toolbar.
CMD[32655] = card_box(0, 0, 14, 14) + plus_badge()                               # Save input text to buffer
CMD[32651] = card_box(4, 1, 16, 15) + arrow_side(8, 6, 0.5, BUFFER["box_dark"], 3, 7)   # Scroll buffer left
CMD[32650] = card_box(0, 1, 12, 15) + arrow_side(8, 10, 15.5, BUFFER["box_dark"], 3, 7)  # Scroll buffer right
CMD[32625] = card_box(0, 0, 14, 14) + minus_badge()                              # Remove current item
CMD[32639] = disk(5, 5, 11, BUFFER["box"]) + arrow_down(3.5, 0, 10, GREEN, 3, 7)  # Dump buffer to disk
CMD[32640] = disk(5, 5, 11, BUFFER["box"]) + arrow_up(3.5, 10, 0, GREEN, 3, 7)    # Load buffer from disk
CMD[32649] = page(1, 0, 13, 16) + text_lines(3, 9, [4, 6, 8]) + disk(8, 8, 8, BUFFER["box"])  # Save text
CMD[32626] = (page(1, 0, 13, 16) + text_lines(3, 9, [4, 6, 8])                   # Clear text windows
              + poly([(6.5, 12.5), (11.5, 7.5), (15.5, 11.5), (10.5, 16.5 - 0.5)], "#f28fa8", "#8e2c47")
              + path("M9 15.5L6.5 13", "none", "#8e2c47", 1))

for cid, body in CMD.items():
    files.append(write("cmd/%d.svg" % cid, svg(body, size=24)))

# File Diff Manager buttons, named by their pictures' numbers: the three diffs
# look as their commands do; 32 px buttons, 16 px for "Add" and "Delete".
CROSS = path("M3 3L13 13M13 3L3 13", "none", "#8a44b0", 2)
DIFF_BUTTONS = {
    2100: (CMD[32548], 32),                                                       # Quick diff of 2 files
    2089: (CMD[32546], 32),                                                       # 3-Way diff
    2098: (CMD[32549], 32),                                                       # Input against Output
    2093: (page(1, 0, 15, 16) + rect(3, 3, 9, 2, "#009600") + rect(3, 6, 9, 2, "#c87800")  # Master palette
           + rect(3, 9, 9, 2, "#285ac8") + rect(3, 12, 9, 2, "#8c3cc8"), 32),
    2097: (window(0, 1, 11, 10) + window(5, 6, 16, 15)                             # Hide all diff panes
           + path("M2 14L14 2", "none", RED, 2), 32),
    2095: (page(0, 0, 9, 13, 2) + page(7, 3, 16, 16, 2) + CROSS, 32),              # Cross listing of files
    2096: (window(0, 1, 16, 15) + path("M8 3V14", "none", INK) + CROSS, 32),         # Cross of Input and Output
    2063: (badge(8, 8, GREEN, 6) + path("M4.5 8H11.5M8 4.5V11.5", "none", PAPER, 2), 16),   # Add
    2087: (badge(8, 8, RED, 6) + path("M4.5 8H11.5", "none", PAPER, 2), 16),                # Delete
}
for n, (body, size) in DIFF_BUTTONS.items():
    files.append(write("diffmgr/%d.svg" % n, svg(body, size=size)))


# ---------------------------------------------------------------- dialog buttons, by control id
def input_page(x0=0, y0=0, x1=12, y1=16):
    """A file that goes in: a sheet with a green arrow entering it."""
    return (page(x0 + 3, y0, x1, y1, 2) + text_lines(x0 + 6, x1 - 3, [y0 + 5, y0 + 7, y0 + 9])
            + arrow_side(y0 + 11.5, x0, x0 + 8, GREEN, 2, 5))


def output_page(x0=0, y0=0, x1=12, y1=16):
    """A file that comes out: a sheet with a blue arrow leaving it."""
    return (page(x0, y0, x1 - 3, y1, 2) + text_lines(x0 + 2, x1 - 6, [y0 + 5, y0 + 7, y0 + 9])
            + arrow_side(y0 + 11.5, x1 - 8, x1, BLUE, 2, 5))


def macro_card(x0, y0, x1, y1, fill=PAPER):
    """A library item: a card whose red find text turns into green replacement text."""
    mid = y0 + (y1 - y0) // 2
    return (plain_rect(x0, y0, x1, y1, fill)
            + rect(x0 + 2, y0 + 2, (x1 - x0) // 2 - 2, 2, "#e35d4f")
            + rect(x0 + (x1 - x0) // 2 + 1, y1 - 4, (x1 - x0) // 2 - 3, 2, "#4cb662")
            + path("M%s %s.5H%s" % (num(x0 + 3), mid, num(x0 + (x1 - x0) // 2 + 1)), "none", INK, 1))


def diff_lines(band):
    """Lines of a text with one changed line marked."""
    return (text_lines(1, 10, [2, 5, 11, 14], INK) + rect(1, 7, 9, 3, band))


def gear_badge(cx=12, cy=12):
    return circle(cx, cy, 4.4, PAPER) + gear(cx, cy, 6, 3.9, 2.7, 1.1, STEEL)


def check_badge(cx=12, cy=12, color=BLUE):
    return badge(cx, cy, color) + path("M%s %sL%s %sL%s %s" % (num(cx - 2.2), num(cy), num(cx - 0.6), num(cy + 1.7),
                                                               num(cx + 2.3), num(cy - 1.6)), "none", PAPER, 1.5)


def yellow_books():
    """The library as the batch window's yellow button shows it."""
    dark = "#8a6410"
    return (plain_rect(0, 0, 16, 16, "#ffd84a", dark)
            + plain_rect(2, 3, 6, 14, "#fff3c0", dark) + plain_rect(6, 2, 10, 14, "#f0b429", dark)
            + poly([(10.5, 4.5), (12.8, 3.9), (14.5, 13.2), (12.2, 13.8)], "#fff3c0", dark)
            + path("M3 5.5H5M7 4.5H9M3 11.5H5M7 11.5H9", "none", dark, 1))


def green_search():
    """Finding the text in the files, as the batch window's green button shows it."""
    dark = "#1d6b34"
    return (plain_rect(0, 0, 16, 16, "#3cb563", dark)
            + page(2, 2, 10, 13, 2) + text_lines(4, 7, [6, 8, 10])
            + magnifier(10, 9, 3.2, 3.4, "#e9fbe9"))


def item_list(x0=0, y0=0, x1=13, y1=14, chosen=None):
    """A list of rows; the chosen row (0, 1 or 2) stands out as selected."""
    out = plain_rect(x0, y0, x1, y1, PAPER)
    for i, y in enumerate((y0 + 3, y0 + 6, y0 + 9)):
        if i == chosen:
            out += rect(x0 + 1, y - 1, x1 - x0 - 2, 3, MAIN["light"]) + text_lines(x0 + 2, x1 - 3, [y], MAIN["accent"])
        else:
            out += text_lines(x0 + 2, x1 - 3, [y], INK)
    return out


CROSS_GLYPH = ["10001", "01010", "00100", "01010", "10001"]


def cross_badge(cx=12, cy=12, color=RED):
    """A cross of whole pixels, legible at 16 px."""
    cx, cy = on_pixel(cx), on_pixel(cy)
    return badge(cx, cy, color, 4) + pixel_glyph(CROSS_GLYPH, cx - 2.5, cy - 2.5, PAPER)


def server_link(connected):
    """An account's server with the line to it: whole and green, or cut and red."""
    out = server(7, 1, 16, 12, 2)
    if connected:
        return out + path("M1.5 4V12.5", "none", INK, 1) + arrow_side(12.5, 1, 8, GREEN, 2, 5)
    return out + path("M1.5 4V12.5M1 12.5H3", "none", INK, 1) + cross_badge(6, 12)


def ribbon(x0=2, y0=0, x1=10, y1=13, fill=BLUE, dark="#1f4f8f"):
    """A bookmark: a ribbon with a notch at its foot."""
    a, b, c, d = x0 + .5, y0 + .5, x1 - .5, y1 - .5
    mid = (a + c) / 2
    return (path("M%s %sH%sV%sL%s %sL%s %sZ" % (num(a), num(b), num(c), num(d), num(mid), num(d - 3), num(a), num(d)),
                 fill, dark)
            + path("M%s %sH%s" % (num(a + 1.5), num(b + 2), num(c - 1.5)), "none", PAPER))


def find_field(x0=0, y0=2, x1=14, y1=10, fill="#e6ffc8"):
    """A one-line box with text in it."""
    return plain_rect(x0, y0, x1, y1, fill) + text_lines(x0 + 2, x1 - 4, [y0 + (y1 - y0) // 2 - 1], INK)


def check_box(x0, y0, on):
    out = plain_rect(x0, y0, x0 + 6, y0 + 6, PAPER)
    if on:
        out += path("M%s %sL%s %sL%s %s" % (num(x0 + 1.2), num(y0 + 3), num(x0 + 2.6), num(y0 + 4.5),
                                           num(x0 + 4.9), num(y0 + 1.4)), "none", GREEN, 1.4)
    return out


def chevrons(x0, y0, color=INK):
    """Two arrow heads: on to the manager of what the row shows."""
    return path("M%s %sL%s %sL%s %sM%s %sL%s %sL%s %s" % (
        num(x0), num(y0), num(x0 + 3), num(y0 + 3), num(x0), num(y0 + 6),
        num(x0 + 3.5), num(y0), num(x0 + 6.5), num(y0 + 3), num(x0 + 3.5), num(y0 + 6)), "none", color, 1.6)


def grid_table(x0=0, y0=0, x1=13, y1=12, band=None):
    """A table of rows and columns; band colours one row."""
    out = plain_rect(x0, y0, x1, y1, PAPER) + rect(x0 + 1, y0 + 1, x1 - x0 - 2, 2, MAIN["light"])
    if band:
        out += rect(x0 + 1, y0 + 6, x1 - x0 - 2, 2, band)
    out += path("M%s %s.5H%s" % (num(x0 + 1), y0 + 3, num(x1 - 1)), "none", INK, 1)
    out += "".join(path("M%s %s.5H%s" % (num(x0 + 1), y, num(x1 - 1)), "none", PAPER_LINE) for y in (y0 + 5, y0 + 8))
    cx = x0 + (x1 - x0) // 2
    out += path("M%s.5 %sV%s" % (cx, num(y0 + 1), num(y1 - 1)), "none", PAPER_LINE)
    return out


def funnel(x0, y0, color="#e0761b"):
    """A filter: the rows a WHERE lets through."""
    return poly([(x0, y0), (x0 + 9, y0), (x0 + 5.5, y0 + 4.5), (x0 + 5.5, y0 + 8), (x0 + 3.5, y0 + 9),
                 (x0 + 3.5, y0 + 4.5)], color, INK, 0.9)


BUTTONS = {
    # Batch Text Conversion: 16 px for the small buttons, 32 px for the large ones.
    ("batch", 1351): (input_page() + minus_badge(12, 12), 16),                     # Del input
    ("batch", 1528): (output_page(0, 0, 16, 16) + minus_badge(4, 12), 16),         # Del output
    ("batch", 1349): (octagon(8, 8, 7.6) + rect(5, 5, 6, 6, PAPER), 16),           # Stop
    ("batch", 1800): (text_lines(1, 15, [3, 14], INK) + rect(5, 7, 6, 3, "#f0c24b")  # Skip instance
                      + path("M2.5 9.5C2.5 3.5 13.5 3.5 13.5 8.5", "none", BLUE, 1.4)
                      + poly([(11.2, 7.6), (15.8, 7.6), (13.5, 10.8)], BLUE, None), 16),
    ("batch", 1806): (disk(0, 0, 13, MAIN["accent"]) + pencil(9.6, 15.4, 8, 3), 16),  # Save changes
    ("batch", 1855): (page(0, 0, 9, 12, 2) + text_lines(2, 6, [4, 6, 8])         # Output names
                      + plain_rect(4, 10, 16, 16, PAPER) + rect(6, 12, 8, 2, MAIN["accent"])
                      + arrow_side(5.5, 9.5, 15.5, BLUE, 2, 5), 32),
    ("batch", 1857): (plain_rect(0, 5, 16, 11, PAPER) + rect(2, 7, 3, 2, "#e0761b")  # Custom names
                      + rect(6, 7, 4, 2, MAIN["accent"]) + rect(11, 7, 3, 2, PURPLE)
                      + pencil(8.6, 15.4, 7.5, 3), 32),
    ("batch", 1858): (folder(0, 2, 14, 14)                                         # Output locations
                      + circle(11.5, 7.5, 3.6, RED, "#8e1e12") + circle(11.5, 7.5, 1.3, PAPER)
                      + poly([(9.2, 10), (13.8, 10), (11.5, 15.6)], RED, None), 32),
    ("batch", 1348): (stack(0, 0, 12, 14, 3, 2) + text_lines(6, 9, [7, 9])         # Convert listed files
                      + gear_badge(12, 12), 32),
    ("batch", 1861): (yellow_books(), 32),                                         # Libs
    ("batch", 1737): (plain_rect(0, 0, 12, 12, PAPER)                              # Load from the file list
                      + text_lines(2, 10, [2, 8], INK) + rect(1, 4, 10, 3, MAIN["light"])
                      + text_lines(2, 10, [5], MAIN["accent"])
                      + arrow_down(12.5, 3, 16, GREEN, 3, 7), 32),
    ("batch", 1796): (green_search(), 32),                                         # Create Find-Rep instances
    ("batch", 1792): (stack(0, 0, 13, 15, 3, 2) + text_lines(6, 10, [7, 9, 11])    # Commit writing to files
                      + check_badge(12, 12, BLUE), 32),
    # Defined Macros (the library manager).
    ("libmgr", 1750): (books() + pen_badge(), 16),                                 # Modify library
    ("libmgr", 1745): (books() + badge(11.5, 11.5, GREEN, 4)                       # Import macros
                       + arrow_down(11.5, 8.4, 14.8, PAPER, 1.6, 4.6).replace('stroke="%s"' % INK, 'stroke="none"'), 16),
    ("libmgr", 1320): (page(0, 0, 11, 16, 2) + text_lines(2, 8, [4, 6, 8, 10])     # Generate from the Output
                       + gear_badge(12, 12), 16),
    ("libmgr", 1594): (macro_card(0, 0, 12, 9, SHADE) + macro_card(2, 5, 14, 14)   # Duplicate item
                       + plus_badge(12, 12), 16),
    ("libmgr", 1751): (macro_card(0, 1, 15, 11) + pencil(8.6, 15.4, 8.5, 3), 16),  # Modify item
    ("libmgr", 1752): (macro_card(4, 0, 16, 7, SHADE) + macro_card(2, 3, 14, 10, SHADE)  # Modify many items
                       + macro_card(0, 6, 12, 13) + pencil(10.6, 15.4, 7, 2.8), 16),
    ("libmgr", 1695): (macro_card(0, 0, 10, 7) + arrow_down(4.5, 7, 13, GREEN, 2, 5)   # To the Workpad
                       + page(7, 4, 16, 16, 2) + text_lines(9, 12, [8, 10]) + pencil(10.6, 15.2, 6.5, 2.4), 16),
    # The item lists of the Delimiter List and the Wild-Card Manager.
    ("listedit", 1315): (item_list() + plus_badge(12, 12), 16),                   # Add
    ("listedit", 1746): (item_list(chosen=1) + pencil(8.6, 15.4, 9.5, 3.4), 16),   # Modify
    ("listedit", 1556): (item_list(chosen=1) + cross_badge(12, 12), 16),           # Delete
    # Account Properties: the connection and the bookmarks of the quick-drop page.
    ("acctprop", 1419): (server_link(True), 16),                                    # Connect
    ("acctprop", 1420): (server_link(False), 16),                                   # Disconnect
    ("acctprop", 1421): (ribbon() + plus_badge(12, 12), 16),                        # Add bookmark
    ("acctprop", 1428): (ribbon() + pencil(8.6, 15.4, 9.5, 3.4), 16),               # Modify bookmark
    ("acctprop", 1423): (ribbon() + cross_badge(12, 12), 16),                       # Remove bookmark
    ("acctprop", 1430): (ribbon(0, 3, 8, 16) + arrow_up(12.5, 15, 1, MAIN["accent"], 3, 7), 16),    # Move up
    ("acctprop", 1425): (ribbon(0, 0, 8, 13) + arrow_down(12.5, 1, 15, MAIN["accent"], 3, 7), 16),  # Move down
    ("acctprop", 1427): (notebook() + magnifier(10.5, 10, 3.2, 3.2), 16),           # View mapped sessions
    # The WorkPad: small buttons at 16 px, the three large ones at 32 px.
    ("workpad", 1343): (find_field() + cross_badge(12, 12), 16),                    # Clear Find edit-box
    ("workpad", 32660): (plain_rect(0, 0, 16, 16, "#fbfbf4")                         # Open the Attributes
                         + check_box(2, 2, True) + text_lines(10, 14, [4], INK)
                         + check_box(2, 9, False) + text_lines(10, 14, [11], INK), 16),
    ("workpad", 32632): (page(0, 0, 11, 16, 2) + text_lines(2, 8, [4, 6, 8])         # Quick Convert Help
                         + question_badge(11.5, 11.5), 16),
    ("workpad", 32646): (plain_rect(0, 1, 9, 15, PAPER) + text_lines(2, 7, [4, 6])   # Output text to the left
                         + plain_rect(8, 1, 16, 15, "#eef6ff") + text_lines(10, 14, [4, 6], BLUE)
                         + arrow_side(10.5, 14, 2, GREEN, 2, 5), 16),
    ("workpad", 32645): (card_box(), 16),                                            # Manage Text Buffer
    ("workpad", 1413): (page(0, 0, 9, 12, 2) + rect(2, 4, 5, 2, "#e35d4f")            # Convert text in Input window
                        + page(7, 4, 16, 16, 2) + rect(9, 9, 5, 2, "#4cb662")
                        + arrow_side(2.5, 10, 16, GREEN, 2, 5), 32),
    ("workpad", 1379): (page(0, 0, 11, 16, 2) + text_lines(2, 8, [4, 12])            # Find next
                        + rect(1, 7, 9, 2, "#f0c24b") + magnifier(10.5, 9, 3.2, 3.2), 32),
    ("workpad", 1696): (macro_card(0, 0, 10, 7) + arrow_down(4.5, 7, 15, GREEN, 2, 5)  # Export this macro to the library
                        + plain_rect(8, 5, 12, 16, "#4f73c2") + plain_rect(11, 4, 15, 16, "#c45454")
                        + path("M9 8.5H11M12 7.5H14M9 13.5H11M12 13.5H14", "none", "#f0f0f0", 1), 32),
    # The Attributes dialog's two ">>" buttons.
    ("attrs", 1367): (brackets(0, 4, 8) + chevrons(9, 5), 16),                      # Delimiters
    ("attrs", 1454): (badge(4.5, 8.5, RED, 3.9) + pixel_glyph(ASTERISK, 2, 6, PAPER)  # Wild-card manager
                      + chevrons(9, 5.5), 16),
    # Tabulate / Write SQL: the two clears and the three statements.
    ("tabulate", 1344): (grid_table(0, 0, 13, 12) + rect(7, 1, 5, 10, "#f0c24b")    # Clear the column selection
                         + cross_badge(12, 12), 16),
    ("tabulate", 1345): (funnel(1, 1) + text_lines(0, 8, [12], INK) + cross_badge(12, 12), 16),  # Clear the WHERE
    ("tabulate", 1438): (grid_table(band="#f0c24b") + pencil(8.6, 15.4, 9.5, 3.4), 16),  # Update
    ("tabulate", 1436): (grid_table(band="#4cb662") + plus_badge(12, 12), 16),       # Insert
    ("tabulate", 1435): (grid_table(band="#e35d4f") + minus_badge(12, 12), 16),      # Delete
    # The master palette.

    ("palette", 1357): (diff_lines("#e35d4f") + arrow_up(13, 15, 1, MAIN["accent"], 2, 6), 16),   # Previous
    ("palette", 1356): (diff_lines("#4cb662") + arrow_down(13, 1, 15, MAIN["accent"], 2, 6), 16),  # Next
    ("palette", 1362): (open_folder() + page(7, 0, 14, 9, 2) + text_lines(9, 11, [4, 6]), 16),      # Load
    ("palette", 1365): (disk(1, 1, 14, MAIN["accent"]), 16),                                        # Save
    ("palette", 1355): (text_lines(1, 14, [2, 13], INK) + rect(1, 5, 13, 5, MAIN["light"])          # Edit lines
                        + text_lines(2, 8, [7], MAIN["accent"]) + pencil(8.6, 15.4, 9.5, 3.2), 16),
    ("palette", 1353): (text_lines(1, 14, [2, 14], INK) + rect(1, 5, 13, 6, MAIN["light"])          # Delete lines
                        + text_lines(2, 8, [7], MAIN["accent"]) + minus_badge(12, 11), 16),
    ("palette", 1358): (text_lines(7, 15, [1, 4, 10, 13], INK) + rect(6, 6, 10, 3, "#f0c24b")       # Go to line
                        + arrow_side(7.5, 0, 6, GREEN, 2.4, 6), 16),
    ("palette", 1363): (page(0, 0, 12, 14, 2) + text_lines(2, 8, [4, 6]) + magnifier(9, 9, 3.6, 3.6), 16),  # Find
    ("palette", 1361): (books(), 16),                                                                # Library
    ("palette", 1352): (page(0, 0, 11, 16, 2) + text_lines(2, 8, [4, 6, 8, 10]) + play_badge(), 16),  # Convert
    ("palette", 1359): ("".join(rect(1, y, 4, 3, c) + text_lines(7, 15, [y + 1], INK)              # Icon summary
                                for y, c in [(1, "#009600"), (6, "#c87800"), (11, "#285ac8")]), 16),
}
for (group, cid), (body, size) in BUTTONS.items():
    files.append(write("%s/%d.svg" % (group, cid), svg(body, size=size)))

# ---------------------------------------------------------------- the program's own icon
# The desktop's launcher and menus show it (installed beside the desktop
# entry).
def basket_body(fill=SESSION["basket"], dark=SESSION["basket_dark"]):
    return (path("M0.5 6.5H15.5L13.5 14.5H2.5Z", fill, dark)
            + path("M2 9.5H14M3 12H13", "none", dark, 0.9)
            + path("M5.5 7V14M8 7V14M10.5 7V14", "none", dark, 0.7))


# A basket its files go into (fetched, green) and come out of (sent, blue).
files.append(write("quorvellian.svg", svg(arrow_down(4.5, 0, 7, FTP["local"], 2, 5)
                                          + arrow_up(11.5, 7, 0, FTP["remote"], 2, 5) + basket_body())))

with open(os.path.join(OUT, "..", "quorvellian.qrc"), "w") as f:
    f.write('<!DOCTYPE RCC><RCC version="1.0">\n<qresource prefix="/icons">\n')
    for rel in sorted(files):
        f.write('  <file alias="%s">res/%s</file>\n' % (rel, rel))
    f.write('</qresource>\n</RCC>\n')
