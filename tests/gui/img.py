#!/usr/bin/env python3
"""Reads window screenshots (XWD from xwd, or RGB/RGBA PNG) and answers the
questions the GUI checks ask: how many pixels of a colour class lie in a
region, how many pixels differ between two pictures. Standard library only.

Regions are x y w h in picture pixels, origin at the top-left corner.

  img.py size IMG                          -> "W H"
  img.py count IMG CLASS x y w h           -> number of pixels of CLASS
  img.py diff IMG1 IMG2 x y w h [TOL]      -> pixels whose channels differ by more than TOL
  img.py topng IMG OUT.png                 -> converts a picture to PNG
  img.py classes IMG x y w h               -> counts of every class (for looking)
  img.py bands IMG CLASS x w h TOP...      -> pixels of CLASS in each band x..x+w, TOP..TOP+h
  img.py hash IMG x y w h                  -> digest of the region's pixels
  img.py bbox IMG CLASS x y w h            -> "x0 y0 x1 y1" of the CLASS pixels ("none" if none)
  img.py runs IMG CLASS x y w h            -> number of separate runs of picture rows that
                                              hold CLASS pixels (text lines that do not touch)
  img.py length IMG CLASS x y w h          -> the longest straight extent (pixels) of one
                                              connected group of CLASS pixels: how long the
                                              longest stroke of that colour reads
  img.py contrast IMG x y w h              -> contrast ratio (WCAG) of text on its background
                                              in the region, x 100: the background is the
                                              median luminance, the text the darkest 3 %

CLASS is one of: dark, white, nonwhite, blue, red, yellow, paleyellow, magenta,
tracegreen, pathorange, marker, pink, ghost, purple, teal, banner, axisgrey.
"""
import hashlib
import struct
import sys
import zlib


class Picture:
    def __init__(self, w, h, rgb):
        self.w, self.h, self.rgb = w, h, rgb  # rgb: bytes, 3 per pixel, rows top-down

    def pixel(self, x, y):
        i = (y * self.w + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]


def _shift(mask):
    s = 0
    while mask and not mask & 1:
        mask >>= 1
        s += 1
    return s, mask


def read_xwd(data):
    hdr = struct.unpack(">25I", data[:100])
    (header_size, version, fmt, depth, width, height, _xoff, byte_order, _unit, _bit_order,
     _pad, bpp, bpl, _vclass, rmask, gmask, bmask, _bits_rgb, _cmap_entries, ncolors) = hdr[:20]
    if version != 7 or fmt != 2 or bpp not in (24, 32):
        raise ValueError("unsupported XWD picture (version %d, format %d, %d bits)" % (version, fmt, bpp))
    offset = header_size + ncolors * 12
    order = "<" if byte_order == 0 else ">"
    step = bpp // 8
    rs, rm = _shift(rmask)
    gs, gm = _shift(gmask)
    bs, bm = _shift(bmask)
    out = bytearray(width * height * 3)
    if step == 4 and byte_order == 0 and (rmask, gmask, bmask) == (0xFF0000, 0xFF00, 0xFF):
        # the usual 24-bit TrueColor layout: bytes B, G, R, unused per pixel
        for y in range(height):
            row = data[offset + y * bpl: offset + y * bpl + width * 4]
            o = y * width * 3
            out[o:o + width * 3:3] = row[2::4]
            out[o + 1:o + width * 3:3] = row[1::4]
            out[o + 2:o + width * 3:3] = row[0::4]
        return Picture(width, height, bytes(out))
    o = 0
    for y in range(height):
        row = data[offset + y * bpl: offset + y * bpl + width * step]
        if step == 4:
            vals = struct.unpack(order + "%dI" % width, row)
        else:
            vals = [int.from_bytes(row[i:i + 3], "little" if order == "<" else "big")
                    for i in range(0, len(row), 3)]
        for v in vals:
            out[o] = ((v >> rs) & rm) * 255 // rm
            out[o + 1] = ((v >> gs) & gm) * 255 // gm
            out[o + 2] = ((v >> bs) & bm) * 255 // bm
            o += 3
    return Picture(width, height, bytes(out))


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, ihdr = 8, b"", None
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + n
    w, h, depth, ctype, _comp, _filt, interlace = ihdr
    if depth != 8 or ctype not in (2, 6) or interlace != 0:
        raise ValueError("only 8-bit RGB/RGBA non-interlaced PNG is read")
    bpp = 3 if ctype == 2 else 4
    raw = zlib.decompress(idat)
    stride = w * bpp
    prev = bytearray(stride)
    out = bytearray(w * h * 3)
    p = 0
    for y in range(h):
        f = raw[p]
        line = bytearray(raw[p + 1:p + 1 + stride])
        p += 1 + stride
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 255
            elif f == 4:
                line[i] = (line[i] + _paeth(a, b, c)) & 255
        for x in range(w):
            out[(y * w + x) * 3:(y * w + x) * 3 + 3] = line[x * bpp:x * bpp + 3]
        prev = line
    return Picture(w, h, bytes(out))


def load(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return read_png(data)
    return read_xwd(data)


def write_png(pic, path):
    raw = b"".join(b"\x00" + pic.rgb[y * pic.w * 3:(y + 1) * pic.w * 3] for y in range(pic.h))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", pic.w, pic.h, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


# Colour classes of what the scene shows: black text and lines, white
# background, the blue hand (dark-blue joints, light-blue links and palm), the
# red-shaded cylinder, the yellow contact markers and trail.
CLASSES = {
    "dark": lambda r, g, b: r < 90 and g < 90 and b < 90,
    "white": lambda r, g, b: r > 245 and g > 245 and b > 245,
    "nonwhite": lambda r, g, b: not (r > 245 and g > 245 and b > 245),
    "blue": lambda r, g, b: b >= 150 and b > r + 40,
    "red": lambda r, g, b: r >= 150 and r > g + 40 and r > b + 40,
    "yellow": lambda r, g, b: r > 150 and g > 150 and b < 100,
    # the lit yellow balls of the replay's contact trail come out pale
    "paleyellow": lambda r, g, b: r > 200 and g > 200 and b < r - 30 and abs(r - g) < 30,
    # the traces of F3: magenta on the work, green (0, 0.7, 0) on the links
    "magenta": lambda r, g, b: r > 200 and b > 200 and g < 80,
    "tracegreen": lambda r, g, b: 165 <= g <= 190 and r < 40 and b < 40,
    # the path of a contact through the hand frame (1, 0.5, 0)
    "pathorange": lambda r, g, b: r > 230 and 100 <= g <= 150 and b < 40,
    # the unlit contact markers (1, 1, 0)
    "marker": lambda r, g, b: r > 240 and g > 240 and b < 40,
    # the lit work alone: red shades with some blue, not the pure red of the work's x
    # axis nor the orange of the contacts' paths
    "pink": lambda r, g, b: r >= 150 and r > g + 40 and r > b + 40 and b >= 70,
    # the goal ghost (0.1, 0.8, 0.3) at alpha 0.4, over the white background
    "ghost": lambda r, g, b: g > 200 and r < 200 and g > r + 40 and g > b + 30,
    # the planned path: the part followed purple (0.5, 0, 0.5), the rest teal (0, 0.5, 0.5)
    "purple": lambda r, g, b: 100 <= r <= 160 and g < 40 and 100 <= b <= 160 and abs(r - b) < 30,
    "teal": lambda r, g, b: r < 40 and 100 <= g <= 150 and 100 <= b <= 150 and abs(g - b) < 30,
    # the box behind the console-wait banner (1, 0.92, 0.45)
    "banner": lambda r, g, b: r > 245 and 220 <= g <= 245 and 95 <= b <= 135,
    # a black line seen through the white panel of 85 % opacity behind the text
    "axisgrey": lambda r, g, b: 120 < r < 240 and abs(r - g) < 8 and abs(g - b) < 8,
}


def longest_stroke(pts):
    """The largest distance between two pixels of one 8-connected group."""
    left, best = set(pts), 0.0
    while left:
        group, todo = [], [left.pop()]
        while todo:
            x, y = todo.pop()
            group.append((x, y))
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    q = (x + dx, y + dy)
                    if q in left:
                        left.remove(q)
                        todo.append(q)
        for i, (x0, y0) in enumerate(group):  # the groups are small: every pair
            for x1, y1 in group[i + 1:]:
                best = max(best, ((x1 - x0) ** 2 + (y1 - y0) ** 2) ** 0.5)
    return best


def region(pic, args):
    x, y, w, h = (int(a) for a in args)
    x1, y1 = min(pic.w, x + w), min(pic.h, y + h)
    for yy in range(max(0, y), y1):
        for xx in range(max(0, x), x1):
            yield xx, yy


def main(argv):
    cmd = argv[1] if len(argv) > 1 else ""
    if cmd == "size":
        pic = load(argv[2])
        print(pic.w, pic.h)
    elif cmd == "count":
        pic, test = load(argv[2]), CLASSES[argv[3]]
        print(sum(1 for x, y in region(pic, argv[4:8]) if test(*pic.pixel(x, y))))
    elif cmd == "classes":
        pic = load(argv[2])
        counts = dict.fromkeys(CLASSES, 0)
        for x, y in region(pic, argv[3:7]):
            p = pic.pixel(x, y)
            for name, test in CLASSES.items():
                counts[name] += test(*p)
        print(" ".join("%s=%d" % kv for kv in counts.items()))
    elif cmd == "diff":
        a, b = load(argv[2]), load(argv[3])
        tol = int(argv[8]) if len(argv) > 8 else 0
        if (a.w, a.h) != (b.w, b.h):
            print(a.w * a.h)
            return 0
        n = 0
        for x, y in region(a, argv[4:8]):
            pa, pb = a.pixel(x, y), b.pixel(x, y)
            if any(abs(pa[i] - pb[i]) > tol for i in range(3)):
                n += 1
        print(n)
    elif cmd == "bands":
        pic, test = load(argv[2]), CLASSES[argv[3]]
        x, w, h = int(argv[4]), int(argv[5]), int(argv[6])
        print(" ".join(str(sum(1 for xx, yy in region(pic, (x, top, w, h)) if test(*pic.pixel(xx, yy))))
                       for top in (int(a) for a in argv[7:])))
    elif cmd == "hash":
        pic = load(argv[2])
        digest = hashlib.sha1()
        for x, y in region(pic, argv[3:7]):
            digest.update(bytes(pic.pixel(x, y)))
        print(digest.hexdigest())
    elif cmd == "bbox":
        pic, test = load(argv[2]), CLASSES[argv[3]]
        pts = [(x, y) for x, y in region(pic, argv[4:8]) if test(*pic.pixel(x, y))]
        if not pts:
            print("none")
        else:
            xs, ys = [p[0] for p in pts], [p[1] for p in pts]
            print(min(xs), min(ys), max(xs), max(ys))
    elif cmd == "length":
        pic, test = load(argv[2]), CLASSES[argv[3]]
        pts = [(x, y) for x, y in region(pic, argv[4:8]) if test(*pic.pixel(x, y))]
        print(int(longest_stroke(pts)))
    elif cmd == "runs":
        pic, test = load(argv[2]), CLASSES[argv[3]]
        x, y, w, h = (int(a) for a in argv[4:8])
        runs, inside = 0, False
        for yy in range(max(0, y), min(pic.h, y + h)):
            hit = any(test(*pic.pixel(xx, yy)) for xx in range(max(0, x), min(pic.w, x + w)))
            if hit and not inside:
                runs += 1
            inside = hit
        print(runs)
    elif cmd == "contrast":
        pic = load(argv[2])

        def lum(p):
            c = [(v / 255.0) / 12.92 if v <= 10 else ((v / 255.0 + 0.055) / 1.055) ** 2.4 for v in p]
            return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]
        ls = sorted(lum(pic.pixel(x, y)) for x, y in region(pic, argv[3:7]))
        if not ls:
            print(0)
            return 0
        bg, text = ls[len(ls) // 2], ls[len(ls) * 3 // 100]
        print(int(100 * (bg + 0.05) / (text + 0.05)))
    elif cmd == "topng":
        write_png(load(argv[2]), argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
