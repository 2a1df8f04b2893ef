#!/usr/bin/env python3
"""Draws the program icon: a strip of film with an "i" on its picture.

Writes plovik.ico beside this script with four images: 16 and 32 pixels,
each in 16 colours (4 bits) and in 256 colours (8 bits). The .ico is committed,
so a build needs no Python; run this again only to change the drawing.
"""
import os
import struct

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette(bits):
    colours = list(VGA)
    if bits == 8:
        # Blues for the picture's sky gradient, then greys; the rest stays black.
        colours += [(20 + i * 3, 60 + i * 4, 140 + i * 2) for i in range(48)]
        colours += [(i * 4, i * 4, i * 4) for i in range(64)]
        colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


def pixel(x, y, size, smooth):
    """Colour of one pixel in RGB, or None where the icon is transparent."""
    u, v = (x + 0.5) / size, (y + 0.5) / size  # 0..1, y downward
    if v < 0.09 or v > 0.91:
        return None
    border = 0.25
    if v < border or v > 1 - border:  # film edge with sprocket holes
        hole_v = 0.13 <= v <= 0.2 or 0.8 <= v <= 0.87
        hole_u = (u * 4) % 1 > 0.35 and (u * 4) % 1 < 0.75
        return (255, 255, 255) if hole_v and hole_u else (0, 0, 0)
    # The picture, with an "i" in the middle.
    in_dot = abs(u - 0.5) < 0.08 and 0.3 <= v < 0.41
    in_bar = abs(u - 0.5) < 0.08 and 0.47 <= v < 0.72
    if in_dot or in_bar:
        return (255, 255, 0)
    if smooth:
        t = (v - border) / (1 - 2 * border)
        return (int(20 + 140 * t), int(60 + 190 * t), int(140 + 94 * t))
    return (0, 0, 255)


def nearest(colours, rgb):
    return min(range(len(colours)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(colours[i], rgb)))


def image(size, bits):
    colours = palette(bits)
    rows_xor, rows_and = [], []
    for y in reversed(range(size)):  # bottom-up rows
        indices, mask = [], []
        for x in range(size):
            rgb = pixel(x, y, size, bits == 8)
            indices.append(0 if rgb is None else nearest(colours, rgb))
            mask.append(1 if rgb is None else 0)
        if bits == 4:
            row = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        else:
            row = bytes(indices)
        rows_xor.append(row + b"\0" * (-len(row) % 4))
        packed = bytes(sum(mask[i + b] << (7 - b) for b in range(8)) for i in range(0, size, 8))
        rows_and.append(packed + b"\0" * (-len(packed) % 4))
    xor, andm = b"".join(rows_xor), b"".join(rows_and)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(andm),
                         0, 0, 0, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    return header + pal + xor + andm


def main():
    formats = [(16, 4), (32, 4), (16, 8), (32, 8)]
    images = [image(size, bits) for size, bits in formats]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), data in zip(formats, images):
        out += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "plovik.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
