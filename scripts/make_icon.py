#!/usr/bin/env python3
"""Draws the window icon: a console module with pins and an upward arrow, 32 x 32 pixels in the
16 colours of the classic palette (plus a transparent mask), written as XPM.

Run from the project root:  python3 scripts/make_icon.py > src/ui/resources/icon.xpm
"""

SIZE = 32

# The classic 16-colour palette; one XPM character each. "." is the transparent mask.
PALETTE = {
    "k": "#000000", "r": "#800000", "g": "#008000", "o": "#808000",
    "b": "#000080", "m": "#800080", "c": "#008080", "s": "#C0C0C0",
    "d": "#808080", "R": "#FF0000", "G": "#00FF00", "Y": "#FFFF00",
    "B": "#0000FF", "M": "#FF00FF", "C": "#00FFFF", "w": "#FFFFFF",
}

grid = [["." for _ in range(SIZE)] for _ in range(SIZE)]


def rect(x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            grid[y][x] = colour


# Pins on the left and right of the module body.
for y in range(9, 28, 3):
    rect(2, y, 5, y + 1, "s")
    rect(26, y, 29, y + 1, "s")
    rect(2, y + 1, 5, y + 1, "d")
    rect(26, y + 1, 29, y + 1, "d")

# The module body with a light top-left edge and a dark bottom-right edge.
rect(6, 7, 25, 29, "b")
rect(6, 7, 25, 7, "B")
rect(6, 7, 6, 29, "B")
rect(6, 29, 25, 29, "k")
rect(25, 7, 25, 29, "k")

# Four status lamps, one per address column.
for i, colour in enumerate(("G", "G", "Y", "R")):
    rect(9 + 4 * i, 25, 10 + 4 * i, 26, colour)

# The upgrade arrow, rising out of the top of the module.
rect(13, 10, 18, 22, "Y")
rect(14, 10, 17, 22, "Y")
for step in range(7):
    rect(15 - step - 1, 2 + step, 16 + step + 1, 2 + step, "Y")
rect(13, 10, 13, 22, "o")
rect(18, 10, 18, 22, "o")
for step in range(7):
    grid[2 + step][15 - step - 1] = "o"
    grid[2 + step][16 + step + 1] = "o"
rect(13, 22, 18, 22, "o")
rect(8, 8, 12, 8, "o")
rect(19, 8, 23, 8, "o")
rect(8, 8, 8, 8, "Y")
rect(23, 8, 23, 8, "Y")

used = sorted({ch for row in grid for ch in row if ch != "."})
lines = ['"%d %d %d 1",' % (SIZE, SIZE, len(used) + 1), '". c None",']
lines += ['"%s c %s",' % (ch, PALETTE[ch]) for ch in used]
lines += ['"%s",' % "".join(row) for row in grid]
lines[-1] = lines[-1].rstrip(",")
print("/* XPM */")
print("static const char* quentra_icon[] = {")
print("\n".join(lines))
print("};")
