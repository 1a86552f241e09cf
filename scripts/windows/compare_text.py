"""Compares the text3d_dump outputs of two platforms (see compare-text.sh)."""
import struct
import sys

MESH_TOLERANCE = 1e-5

# Glyphs whose buffers may differ, and only in the way Wine widens fractions (below). Both
# sides grid-fit TrueType outlines with the font's instructions at the em height (the same
# FreeType), which leaves these glyphs with points between whole units: the bullet of DejaVu
# Sans (its curve controls interpolated between the moved ends, 885 + 27/64 and the like) and
# the inner rings of DejaVu Serif's copyright and registered signs. FreeType gives those points
# in 26.6 fixed point; our stand-in writes that value exactly in 16.16 (fraction << 10), while
# Wine fills the fraction's low ten bits with copies of its six (27/64 becomes 0x6DB6, not
# 0x6C00): a difference below 1/64 unit, and not the value the fitted outline holds.
WIDENED_FRACTIONS = {
    "DejaVu Sans": {"95"},
    "DejaVu Serif": {"A9", "AE"},
}


def read_dump(path):
    glyphs, em_glyphs, meshes, current = {}, {}, {}, None
    with open(path) as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if parts[0] in ("glyph", "cellglyph") and parts[1] == "em":
                continue  # the section's header
            if parts[0] == "glyph":
                glyphs[parts[1]] = parts
            elif parts[0] == "cellglyph":
                em_glyphs[parts[1]] = parts
            elif parts[0] == "mesh":
                key = " ".join(p for p in parts[1:] if len(p) == 2)
                current = meshes.setdefault(key, {"line": parts, "points": []})
            elif parts[0] == "p" and current is not None:
                current["points"].append(tuple(float(v) for v in parts[1:4]))
    return glyphs, em_glyphs, meshes


def outline_points(hex_bytes):
    """The records of a native outline as a structure (record kinds and counts) and points."""
    data = bytes.fromhex(hex_bytes)
    shape, points, at = [], [], 0
    fixed = lambda raw: struct.unpack("<i", raw)[0] / 65536.0
    while at + 16 <= len(data):
        cb = struct.unpack_from("<I", data, at)[0]
        if cb < 16 or at + cb > len(data):
            return None, None
        shape.append("C")
        points.append((fixed(data[at + 8:at + 12]), fixed(data[at + 12:at + 16])))
        p = at + 16
        while p + 4 <= at + cb:
            kind, count = struct.unpack_from("<HH", data, p)
            shape.append("%d:%d" % (kind, count))
            for i in range(count):
                q = p + 4 + 8 * i
                points.append((fixed(data[q:q + 4]), fixed(data[q + 4:q + 8])))
            p += 4 + 8 * count
        at += cb
    return shape, points


def widened(fract):
    """Wine's 16.16 fraction for a 26.6 one: the six bits repeated into the low ten."""
    six = fract >> 10
    return (six << 10) | (six << 4) | (six >> 2)


def only_fractions_widened(linux_hex, windows_hex):
    """Whether the Windows buffer is the Linux one with every fraction widened as Wine does."""
    a, b = bytes.fromhex(linux_hex), bytes.fromhex(windows_hex)
    if len(a) != len(b) or len(a) % 4 or a == b:
        return False
    ls, lp = outline_points(linux_hex)
    ws, wp = outline_points(windows_hex)
    if ls is None or ls != ws:
        return False
    # Compare the records as 16-bit words: a point's fraction is the word before its value;
    # headers and run records are equal, as the structures are.
    differing = [i for i in range(0, len(a), 2) if a[i:i + 2] != b[i:i + 2]]
    for i in differing:
        f_l, f_w = struct.unpack_from("<H", a, i)[0], struct.unpack_from("<H", b, i)[0]
        if f_l & 0x3FF or f_w != widened(f_l) or i % 4:
            return False
    return True


def compare_glyphs(face, linux, windows, label, accepted=frozenset()):
    identical, same_shape, worst, scales, missed, widened_ok = 0, 0, 0.0, [], [], []
    for code, lg in sorted(linux.items()):
        wg = windows.get(code)
        if wg is None:
            missed.append(code)
            continue
        # Advance, black box, size and buffer.
        if lg[2:] == wg[2:]:
            identical += 1
            continue
        if (code in accepted and lg[2:11] == wg[2:11] and len(lg) > 11 and len(wg) > 11
                and only_fractions_widened(lg[11], wg[11])):
            widened_ok.append(code)
            continue
        missed.append(code)
        ls, lp = outline_points(lg[11] if len(lg) > 11 else "")
        ws, wp = outline_points(wg[11] if len(wg) > 11 else "")
        if ls is not None and ls == ws:
            same_shape += 1
            worst = max([worst] + [max(abs(a[0] - b[0]), abs(a[1] - b[1])) for a, b in zip(lp, wp)])
            ratios = [b[0] / a[0] for a, b in zip(lp, wp) if abs(a[0]) > 100]
            if ratios:
                scales.append(sum(ratios) / len(ratios))
    total = len(linux)
    line = "%-8s %-16s %3d/%d identical (metrics, byte-identical buffer)" % (label, face, identical, total)
    if widened_ok:
        line += ", %d with only Wine's widened fractions (%s)" % (len(widened_ok), " ".join(widened_ok))
    if missed:
        line += "; %d differ (%d with the same records, largest point difference %.4g units" % (
            len(missed), same_shape, worst)
        if scales:
            line += ", Windows/Linux scale %.4f" % (sum(scales) / len(scales))
        line += "); first: %s" % " ".join(missed[:8])
    print(line)
    return not missed


def compare_meshes(face, linux, windows):
    ok = True
    for key, lm in linux.items():
        wm = windows.get(key)
        text = bytes.fromhex(key.replace(" ", "")).decode("cp1252")
        if wm is None:
            print("mesh     %-16s %-22r missing on Windows" % (face, text))
            ok = False
            continue
        counts_l, counts_w = lm["line"][-4:], wm["line"][-4:]
        worst = None
        if len(lm["points"]) == len(wm["points"]):
            worst = max([0.0] + [max(abs(a - b) for a, b in zip(p, q)) for p, q in zip(lm["points"], wm["points"])])
        good = counts_l == counts_w and worst is not None and worst <= MESH_TOLERANCE
        ok = ok and good
        print("mesh     %-16s %-22r Linux %s, Windows %s, largest position difference %s: %s" % (
            face, text, " ".join(counts_l), " ".join(counts_w),
            "n/a" if worst is None else "%.3g" % worst, "met" if good else "MISSED"))
    return ok


def main():
    folder, faces = sys.argv[1], sys.argv[2:]
    all_ok = True
    for face in faces:
        name = face.replace(" ", "-")
        lg, lem, lm = read_dump("%s/linux-%s.txt" % (folder, name))
        wg, wem, wm = read_dump("%s/windows-%s.txt" % (folder, name))
        all_ok &= compare_glyphs(face, lg, wg, "glyphs", WIDENED_FRACTIONS.get(face, frozenset()))
        # At the cell height (a positive lfHeight) the stand-in reads the height as the em
        # height: shown, not a goal; the 3D text asks for the em height.
        compare_glyphs(face, lem, wem, "cell")
        all_ok &= compare_meshes(face, lm, wm)
    return 0 if all_ok else 1


if __name__ == "__main__":
    sys.exit(main())
