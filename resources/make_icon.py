#!/usr/bin/env python3
"""Draws Prismor's application icon: a glass prism on a blue tile, splitting a white ray into
colours. Writes prismor-16.png, prismor-32.png and prismor.ico (both sizes, 32-bit images).
Run once after changing the picture and commit the results; the build only reads them."""

import struct
import zlib

TILE = (31, 78, 121)
PRISM = (225, 238, 250)
RAY = (255, 255, 255)
SPECTRUM = [(230, 40, 40), (245, 160, 30), (245, 225, 40), (60, 190, 70), (60, 130, 230)]
SAMPLES = 4  # per axis, for smooth edges


def inside_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)


def colour_at(x, y):
    """The picture on a unit square; None outside the tile's rounded corners."""
    r = 0.16
    cx, cy = min(max(x, r), 1 - r), min(max(y, r), 1 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
        return None
    apex, left, right = (0.44, 0.16), (0.16, 0.80), (0.72, 0.80)
    if inside_triangle(x, y, apex, left, right):
        return PRISM
    # The incoming ray, from the left edge to the prism's left face.
    if x < 0.32 and abs(y - (0.62 - 0.25 * x)) < 0.035:
        return RAY
    # The fan of colours leaving the right face.
    if x > 0.58:
        t = (y - 0.40) / (x - 0.30)
        band = int((t + 0.05) / 0.16)
        if 0 <= band < len(SPECTRUM) and 0.40 + (x - 0.30) * -0.05 <= y:
            return SPECTRUM[band]
    return TILE


def render(size):
    pixels = []
    for row in range(size):
        line = []
        for col in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (col + (sx + 0.5) / SAMPLES) / size
                    y = (row + (sy + 0.5) / SAMPLES) / size
                    c = colour_at(x, y)
                    if c is not None:
                        acc[0] += c[0]; acc[1] += c[1]; acc[2] += c[2]; acc[3] += 255
            n = SAMPLES * SAMPLES
            alpha = acc[3] // n
            covered = max(acc[3] // 255, 1)
            line.append((acc[0] // covered, acc[1] // covered, acc[2] // covered, alpha))
        pixels.append(line)
    return pixels


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\x00" + bytes(v for p in line for v in p) for line in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(pixels):
    """An icon image as Windows keeps it: BGRA rows bottom-up, then the 1-bit AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for line in reversed(pixels) for (r, g, b, a) in line)
    mask_row = ((size + 31) // 32) * 4
    mask = b""
    for line in reversed(pixels):
        bits = 0
        for i, p in enumerate(line):
            if p[3] == 0:
                bits |= 1 << (mask_row * 8 - 1 - i)
        mask += bits.to_bytes(mask_row, "big")
    return header + colour + mask


def ico(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for pixels in images:
        body = dib(pixels)
        size = len(pixels)
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(body), offset + len(data))
        data += body
    return directory + entries + data


if __name__ == "__main__":
    images = {size: render(size) for size in (16, 32)}
    for size, pixels in images.items():
        with open(f"prismor-{size}.png", "wb") as out:
            out.write(png(pixels))
    with open("prismor.ico", "wb") as out:
        out.write(ico([images[32], images[16]]))
