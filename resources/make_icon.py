#!/usr/bin/env python3
"""Draws Prismor's application icon: a glass prism on a blue tile, splitting a white ray into
colours. The picture is one list of shapes on a unit square, from which come the scalable
prismor.svg, prismor-SIZE.png for each size a desktop looks for, and prismor.ico (32 and 16
pixels, 32-bit images) for Prismor.exe.
Run once in this folder after changing the picture and commit the results; the build only
reads them."""

import struct
import zlib

TILE = (31, 78, 121)
PRISM = (225, 238, 250)
RAY = (255, 255, 255)
SPECTRUM = [(230, 40, 40), (245, 160, 30), (245, 225, 40), (60, 190, 70), (60, 130, 230)]
CORNER = 0.16  # radius of the tile's rounded corners
PNG_SIZES = (16, 32, 48, 64, 128, 256)
ICO_SIZES = (32, 16)
SAMPLES = 4  # per axis, for smooth edges


def spectrum_band(band):
    """A wedge of the fan that leaves the prism: between two rays from (0.30, 0.40), from
    x = 0.58 to the tile's right edge, slopes 0.16 apart."""
    low, high = 0.16 * band - 0.05, 0.16 * (band + 1) - 0.05
    return [(0.58, 0.40 + low * 0.28), (1.0, 0.40 + low * 0.70),
            (1.0, 0.40 + high * 0.70), (0.58, 0.40 + high * 0.28)]


# Painted in this order on the tile, each covering what lies below it.
SHAPES = (
    [(RAY, [(0.0, 0.585), (0.32, 0.505), (0.32, 0.575), (0.0, 0.655)])]
    + [(colour, spectrum_band(band)) for band, colour in enumerate(SPECTRUM)]
    + [(PRISM, [(0.44, 0.16), (0.72, 0.80), (0.16, 0.80)])]
)


def inside_polygon(x, y, points):
    """For a convex polygon: the point is on the same side of every edge."""
    sides = []
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        sides.append((bx - ax) * (y - ay) - (by - ay) * (x - ax))
    return all(s >= 0 for s in sides) or all(s <= 0 for s in sides)


def colour_at(x, y):
    """The picture at a point of the unit square; None outside the tile's rounded corners."""
    cx, cy = min(max(x, CORNER), 1 - CORNER), min(max(y, CORNER), 1 - CORNER)
    if (x - cx) ** 2 + (y - cy) ** 2 > CORNER * CORNER:
        return None
    for colour, points in reversed(SHAPES):
        if inside_polygon(x, y, points):
            return colour
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


def svg():
    """The same shapes as vectors, clipped to the tile, on a 256-unit canvas."""
    scale = 256

    def hex_colour(colour):
        return "#%02x%02x%02x" % colour

    def polygon(colour, points):
        coordinates = " ".join(f"{x * scale:g},{y * scale:g}" for x, y in points)
        return f'    <polygon fill="{hex_colour(colour)}" points="{coordinates}"/>\n'

    radius = f"{CORNER * scale:g}"
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{scale}" height="{scale}" '
            f'viewBox="0 0 {scale} {scale}">\n'
            '  <title>Prismor</title>\n'
            '  <clipPath id="tile">\n'
            f'    <rect width="{scale}" height="{scale}" rx="{radius}" ry="{radius}"/>\n'
            '  </clipPath>\n'
            '  <g clip-path="url(#tile)">\n'
            f'    <rect fill="{hex_colour(TILE)}" width="{scale}" height="{scale}"/>\n'
            + "".join(polygon(colour, points) for colour, points in SHAPES)
            + '  </g>\n</svg>\n')


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
    images = {size: render(size) for size in PNG_SIZES}
    for size, pixels in images.items():
        with open(f"prismor-{size}.png", "wb") as out:
            out.write(png(pixels))
    with open("prismor.svg", "w") as out:
        out.write(svg())
    with open("prismor.ico", "wb") as out:
        out.write(ico([images[size] for size in ICO_SIZES]))
