#!/usr/bin/env python3
"""Writes the program's SVG pictures and the resource file that lists them."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def write(rel, svg):
    path = os.path.join(HERE, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(svg)
    return rel


def svg(body, size=16):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 16 16">%s</svg>\n'
            % (size, size, body))


def label(text, color, y=12.5, size=6.5):
    text = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    return ('<text x="8" y="%s" font-family="sans-serif" font-size="%s" font-weight="bold" '
            'text-anchor="middle" fill="%s">%s</text>' % (y, size, color, text))


def page(band, text, text_color="#ffffff"):
    return ('<path d="M3 1.5h7l3 3v10h-10z" fill="#ffffff" stroke="#505a78" stroke-width="1"/>'
            '<path d="M10 1.5v3h3" fill="none" stroke="#505a78" stroke-width="1"/>'
            '<rect x="3.5" y="8" width="9" height="6" fill="%s"/>' % band
            + label(text, text_color, 13, 5.5))


def mark(symbol, color):
    return ('<circle cx="12" cy="4" r="3.6" fill="%s" stroke="#ffffff" stroke-width="0.8"/>' % color
            + '<text x="12" y="6.4" font-family="sans-serif" font-size="6.5" font-weight="bold" '
            'text-anchor="middle" fill="#ffffff">%s</text>' % symbol)


def arrow(color):
    return ('<path d="M0.5 12.5l3-3v2h3v2h-3v2z" fill="%s" stroke="#ffffff" stroke-width="0.4"/>' % color)


files = []
# File item pictures 0-22 and the sync marks 23-30.
file_icons = {
    0: page("#8a94a8", ""),
    9: page("#3a9a3a", "L"),
    10: page("#3a6ad0", "R"),
    11: page("#b07020", "CMD"),
    12: page("#d08a20", "BAT"),
    13: page("#707070", "BIN"),
    14: page("#404040", "BIN"),
    15: page("#6a4ab0", "COM"),
    16: page("#2050a0", "C++"),
    17: page("#805020", "COB"),
    18: page("#3060c0", "C"),
    19: page("#508030", "H"),
    20: page("#c05020", "JAV"),
    21: page("#7060a0", "BAS"),
    22: page("#607090", "TXT"),
}
for n in range(1, 9):
    file_icons[n] = (page("#c03030", str(n))
                     + '<path d="M11 0.8l3.5 3.5-1.4 0.6-2.7-2.7z" fill="#c03030"/>')
base = page("#8a94a8", "")
file_icons[23] = base + mark("*", "#d04010") + arrow("#d04010")
file_icons[24] = base + mark("*", "#d04010")
file_icons[25] = base + mark("*", "#a02090") + arrow("#a02090")
file_icons[26] = base + mark("~", "#808080")
file_icons[27] = base + mark("~", "#303030")
file_icons[28] = base + mark("~", "#2060c0")
file_icons[29] = base + mark("*", "#2060c0")
file_icons[30] = base + mark("*", "#a02090")
for n, body in file_icons.items():
    files.append(write("file/%d.svg" % n, svg(body)))

# Basket rows: 0 plain, 1 spare, 2 with locally modified items.
basket = ('<path d="M2 6h12l-1.5 8h-9z" fill="#d8a850" stroke="#7a5a20" stroke-width="1"/>'
          '<path d="M5 6l3-4 3 4" fill="none" stroke="#7a5a20" stroke-width="1.2"/>')
files.append(write("basket/0.svg", svg(basket)))
files.append(write("basket/1.svg", svg(basket.replace("#d8a850", "#b8c8e0"))))
files.append(write("basket/2.svg", svg(basket + mark("*", "#d04010"))))

# Session tree: 0 root, 1 project, 2 session not loaded, 3 loaded, 4 current.
vault = ('<rect x="1.5" y="3.5" width="13" height="10" rx="1.5" fill="#8090b0" stroke="#404a68"/>'
         '<circle cx="8" cy="8.5" r="2.6" fill="#e0e4f0" stroke="#404a68"/>')
folder = ('<path d="M1.5 4.5h5l1 1.5h7v8h-13z" fill="#f0c850" stroke="#8a6a10"/>')
session = lambda fill: ('<rect x="2.5" y="2.5" width="11" height="11" rx="2" fill="%s" stroke="#405070"/>'
                        '<path d="M5 6h6M5 8.5h6M5 11h4" stroke="#405070" stroke-width="1"/>' % fill)
files.append(write("session/0.svg", svg(vault)))
files.append(write("session/1.svg", svg(folder)))
files.append(write("session/2.svg", svg(session("#d8d8d8"))))
files.append(write("session/3.svg", svg(session("#a8d8a0"))))
files.append(write("session/4.svg", svg(session("#50b050") + mark(">", "#207020"))))

# Account tree: 0 root, 1 cluster, then account states in pairs (state, current).
network = ('<circle cx="8" cy="8" r="6" fill="#8fb8e8" stroke="#30507a"/>'
           '<path d="M2 8h12M8 2c-3 3-3 9 0 12M8 2c3 3 3 9 0 12" fill="none" stroke="#30507a" stroke-width="0.8"/>')
cluster = ('<rect x="1.5" y="2.5" width="6" height="5" fill="#c0c8d8" stroke="#404a68"/>'
           '<rect x="8.5" y="2.5" width="6" height="5" fill="#c0c8d8" stroke="#404a68"/>'
           '<rect x="5" y="9" width="6" height="5" fill="#c0c8d8" stroke="#404a68"/>')
host = lambda fill: ('<rect x="2.5" y="2" width="11" height="8" rx="1" fill="%s" stroke="#303a58"/>'
                     '<path d="M5 13.5h6M8 10v3.5" stroke="#303a58" stroke-width="1.2"/>' % fill)
files.append(write("account/0.svg", svg(network)))
files.append(write("account/1.svg", svg(cluster)))
states = ["#c8d0e0", "#a8d8a0", "#f0d060", "#e08080", "#c0a0e0", "#a0d0e0"]
for i, fill in enumerate(states):
    files.append(write("account/%d.svg" % (2 + 2 * i), svg(host(fill))))
    files.append(write("account/%d.svg" % (3 + 2 * i), svg(host(fill) + mark(">", "#207020"))))

# Library lists: 4 a library, 5 a saved folder.
files.append(write("lib/4.svg", svg('<rect x="2.5" y="2" width="4" height="12" fill="#6080c0" stroke="#303a58"/>'
                                    '<rect x="7" y="2" width="3" height="12" fill="#c06060" stroke="#303a58"/>'
                                    '<rect x="10.5" y="3" width="3" height="11" fill="#60a060" stroke="#303a58"/>')))
files.append(write("lib/5.svg", svg(folder)))

# Toolbar buttons by command id.
CATEGORY = {"App": "#4a6fb0", "Edit": "#508a50", "Conv": "#a05a9a", "Diff": "#b07030",
            "File": "#3a8a8a", "Session": "#8a7a30", "FTP": "#3060a0", "Xtra": "#707070"}
commands = {
    32501: ("App", "?"), 32579: ("App", "Opt"), 32583: ("App", "Ses"), 32580: ("App", "Sav"),
    32620: ("App", "Stp"), 57665: ("App", "X"), 32588: ("App", "Exp"), 32502: ("App", "Upd"),
    32627: ("Edit", "Cpy"), 32628: ("Edit", "Cut"), 32647: ("Edit", "Pst"), 57643: ("Edit", "Und"),
    32642: ("Conv", "WP"), 32629: ("Conv", "Bat"), 32630: ("Conv", "Lib"), 32632: ("Conv", "?"),
    32511: ("Diff", "Dif"), 32549: ("Diff", "IO"), 32548: ("Diff", "2"), 32546: ("Diff", "3"),
    32503: ("Session", "+B"), 32504: ("Session", "-B"), 32505: ("Session", "rB"),
    32671: ("Session", "+S"), 32672: ("Session", "-S"), 32675: ("Session", "rS"),
    32512: ("File", "Dir"), 32521: ("File", "Dup"), 32554: ("File", "Att"), 32516: ("File", "Up"),
    32514: ("File", "Dn"), 32518: ("File", "Pin"), 32522: ("File", "Rep"), 32533: ("File", "Ren"),
    32557: ("FTP", "Get"), 32564: ("FTP", "Put"), 32508: ("FTP", "cL"), 32507: ("FTP", "cL*"),
    32510: ("FTP", "cR"), 32509: ("FTP", "cR*"), 32556: ("FTP", "BL"), 32563: ("FTP", "BR"),
    32558: ("FTP", "GA"), 32565: ("FTP", "PA"), 32568: ("FTP", "SyL"), 32569: ("FTP", "SyR"),
    32562: ("FTP", "St?"), 32555: ("FTP", "Loc"), 32566: ("FTP", "Run"), 32567: ("FTP", "Brk"),
    32574: ("FTP", "Aut"),
    32655: ("Xtra", "+B"), 32651: ("Xtra", "<"), 32650: ("Xtra", ">"), 32625: ("Xtra", "-B"),
    32639: ("Xtra", "Dmp"), 32640: ("Xtra", "Ld"),
    32623: ("Xtra", "Buf"), 32649: ("Xtra", "Sav"), 32626: ("Xtra", "Clr"), 32687: ("Xtra", "Msg"),
}
for cid, (cat, text) in commands.items():
    body = ('<rect x="0.5" y="0.5" width="15" height="15" rx="3" fill="%s" stroke="#202838"/>' % CATEGORY[cat]
            + label(text, "#ffffff", 10.8, 6 if len(text) > 2 else 7.5))
    files.append(write("cmd/%d.svg" % cid, svg(body, 24)))

with open(os.path.join(HERE, "..", "quorvellian.qrc"), "w") as f:
    f.write('<!DOCTYPE RCC><RCC version="1.0">\n<qresource prefix="/icons">\n')
    for rel in sorted(files):
        f.write('  <file alias="%s">res/%s</file>\n' % (rel, rel))
    f.write('</qresource>\n</RCC>\n')
