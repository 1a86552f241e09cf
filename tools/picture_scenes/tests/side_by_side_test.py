#!/usr/bin/env python3
"""side_by_side_test.py PICTURE_DIFF PICTURE.png SCRIPTS_DIR

The people's picture (scripts/windows/side_by_side.py) reads PNGs with its own decoder: it
must see the same pixels libpng sees. A frame written by libpng (every row filter it picks)
is read, changed in known pixels and written again; picture_diff (libpng) and side_by_side
must then count exactly the changed pixels, and the picture's panels must hold both frames.
"""
import os
import re
import subprocess
import sys
import tempfile


def main(picture_diff, picture, scripts):
    sys.path.insert(0, scripts)
    import side_by_side as sbs

    width, height, rows = sbs.read_png(picture)
    changed = [bytearray(r) for r in rows]
    within, beyond = 0, 0
    # Spread over the picture: every 997th pixel up by 1 in green (within 2/255), every
    # 4999th by 40 in red, green or blue in turn (beyond).
    for i in range(0, width * height, 997):
        y, x = divmod(i, width)
        changed[y][3 * x + 1] = changed[y][3 * x + 1] + 1 if changed[y][3 * x + 1] < 255 else 254
        within += 1
    for i in range(500, width * height, 4999):
        y, x = divmod(i, width)
        if i % 997 == 0:
            continue
        at = 3 * x + beyond % 3
        changed[y][at] = changed[y][at] - 40 if changed[y][at] >= 40 else changed[y][at] + 40
        beyond += 1
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        other = os.path.join(folder, "changed.png")
        sbs.write_png(other, width, height, [bytes(r) for r in changed])
        line = subprocess.run([picture_diff, "t", "close", picture, other, os.path.join(folder, "d.png")],
                              capture_output=True, text=True).stdout
        counted = re.search(r"(\d+) of (\d+) pixels differ", line)
        if not counted or int(counted.group(1)) != within + beyond:
            failures.append(f"picture_diff: {line.strip()} (expected {within + beyond})")
        out = os.path.join(folder, "side.png")
        said = subprocess.run([sys.executable, os.path.join(scripts, "side_by_side.py"), picture, other, out],
                              capture_output=True, text=True).stdout
        if f"{within + beyond} of {width * height} pixels differ, {beyond} beyond" not in said:
            failures.append(f"side_by_side: {said.strip()} (expected {within + beyond}, {beyond} beyond)")
        w, h, side = sbs.read_png(out)
        gap = sbs.GAP
        if (w, h) != (3 * width + 2 * gap, height):
            failures.append(f"side_by_side: picture {w}x{h}")
        else:
            step = 3 * (width + gap)
            if any(r[:3 * width] != a for r, a in zip(side, rows)):
                failures.append("side_by_side: the left panel is not the first picture")
            if any(r[step:step + 3 * width] != bytes(b) for r, b in zip(side, changed)):
                failures.append("side_by_side: the middle panel is not the second picture")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
