#!/usr/bin/env python3
"""side_by_side.py LINUX.png WINDOWS.png OUT.png [--gain N]

Puts a frame drawn on Linux, the same frame drawn on Windows and their difference next to
each other in one PNG, for people to look at (the goals are checked by picture_diff). The
difference panel shows the Linux frame in dark grey, and every pixel that differs as a 5 x 5
mark, amplified: brightness 128 + the gain (default 32) times its largest channel
difference, yellow within 2/255, red beyond (single pixels would not show at a glance
otherwise). Prints how many pixels differ at all and beyond 2/255. Only the standard
library: PNGs of 8-bit RGB or RGBA, not interlaced, as libpng writes them here.
"""
import struct
import sys
import zlib

GAP = 8  # columns of dark grey between the pictures


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG")
    pos, idat, header = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(f"{path}: only 8-bit RGB/RGBA PNGs without interlace are read")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        previous = line
        # RGB only: the Windows back buffer keeps no alpha.
        rows.append(bytes(v for x in range(width) for v in line[x * channels:x * channels + 3]))
    return width, height, rows


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main(argv):
    gain = 32
    if "--gain" in argv:
        at = argv.index("--gain")
        gain = int(argv[at + 1])
        del argv[at:at + 2]
    if len(argv) != 4:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    lw, lh, linux = read_png(argv[1])
    ww, wh, windows = read_png(argv[2])
    if (lw, lh) != (ww, wh):
        print(f"side_by_side: sizes differ ({lw}x{lh} against {ww}x{wh})", file=sys.stderr)
        return 1
    gap = bytes([40, 40, 40] * GAP)
    differing = beyond = 0
    panel = []
    for row in linux:
        grey = bytearray(len(row))
        for x in range(0, len(row), 3):
            grey[x] = grey[x + 1] = grey[x + 2] = (row[x] + row[x + 1] + row[x + 2]) // 12
        panel.append(grey)
    marks = []
    for y, (a, b) in enumerate(zip(linux, windows)):
        for x in range(0, len(a), 3):
            largest = max(abs(a[x + i] - b[x + i]) for i in range(3))
            if largest:
                differing += 1
                beyond += largest > 2
                level = min(255, 128 + largest * gain)
                marks.append((x // 3, y, (level, level, 0) if largest <= 2 else (level, 0, 0)))
    # Red marks last, so they are not hidden under yellow ones.
    marks.sort(key=lambda m: m[2][1] == 0)
    for mx, my, colour in marks:
        for y in range(max(0, my - 2), min(lh, my + 3)):
            for x in range(max(0, mx - 2), min(lw, mx + 3)):
                panel[y][3 * x:3 * x + 3] = bytes(colour)
    rows = [a + gap + b + gap + bytes(d) for a, b, d in zip(linux, windows, panel)]
    write_png(argv[3], 3 * lw + 2 * GAP, lh, rows)
    pixels = lw * lh
    print(f"{argv[3]}: {differing} of {pixels} pixels differ, {beyond} beyond 2/255 "
          f"({100.0 * (pixels - beyond) / pixels:.2f}% within), differences marked, x{gain}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
