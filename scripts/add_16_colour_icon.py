#!/usr/bin/env python3
"""Adds the 32 x 32, 16-colour image of the window icon to a Windows .ico, as a 4-bit bitmap in
the classic palette, after the images already there (so their order stays).

Usage: add_16_colour_icon.py ICON.xpm FILE.ico
"""
import struct
import sys

# The classic 16-colour palette in its Windows order.
PALETTE = ["#000000", "#800000", "#008000", "#808000", "#000080", "#800080", "#008080",
           "#C0C0C0", "#808080", "#FF0000", "#00FF00", "#FFFF00", "#0000FF", "#FF00FF",
           "#00FFFF", "#FFFFFF"]


def read_xpm(path):
    strings = [line.strip().rstrip(",").strip('"') for line in open(path) if
               line.strip().startswith('"')]
    width, height, colours, per_pixel = (int(v) for v in strings[0].split())
    table = {}
    for entry in strings[1:1 + colours]:
        key, _, value = entry[:per_pixel], entry[per_pixel:].split()[0], entry.split()[-1]
        table[key] = None if value.lower() == "none" else value.upper()
    rows = strings[1 + colours:1 + colours + height]
    return width, height, [[table[row[x]] for x in range(width)] for row in rows]


def bitmap_entry(width, height, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(bytes((int(c[5:7], 16), int(c[3:5], 16), int(c[1:3], 16), 0))
                       for c in PALETTE)
    colour_rows, mask_rows = [], []
    for row in reversed(pixels):  # bitmaps run bottom-up
        indices = [0 if c is None else PALETTE.index(c) for c in row]
        colour_rows.append(bytes((indices[x] << 4) | indices[x + 1]
                                 for x in range(0, width, 2)))
        mask = 0
        for c in row:
            mask = (mask << 1) | (1 if c is None else 0)
        mask_rows.append(mask.to_bytes(width // 8, "big").ljust(4 * ((width + 31) // 32), b"\0"))
    return header + palette + b"".join(colour_rows) + b"".join(mask_rows)


def main():
    width, height, pixels = read_xpm(sys.argv[1])
    data = open(sys.argv[2], "rb").read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    entries = [list(struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i]))
               for i in range(count)]
    images = [data[e[7]:e[7] + e[6]] for e in entries]
    # Made again, the 16-colour image replaces the one added before.
    kept = [(e, img) for e, img in zip(entries, images) if not (e[0] == width and e[5] == 4)]
    entries, images = [e for e, _ in kept], [img for _, img in kept]
    new = bitmap_entry(width, height, pixels)
    entries.append([width, height, 16, 0, 1, 4, len(new), 0])
    images.append(new)
    offset = 6 + 16 * len(entries)
    out = [struct.pack("<HHH", reserved, kind, len(entries))]
    for e, img in zip(entries, images):
        e[7] = offset
        offset += len(img)
        out.append(struct.pack("<BBBBHHII", *e))
    open(sys.argv[2], "wb").write(b"".join(out) + b"".join(images))


if __name__ == "__main__":
    main()
