#!/usr/bin/env bash
# The same scenes drawn through Wine's Direct3D 8 (the Windows build, under wine64) and
# through the OSMesa stand-in (the Linux build), at the same sizes: the device scenes and
# the stencil shadow scenes of picture_scenes, and the sample's frames 0, 90, 180 and 249
# through the viewer once the Windows build has the sample. One line per scene from
# picture_diff; the pictures and their differences are kept in $BUILD_DIR/compare-pictures/.
# Goals: the device rule scenes identical, the others 99.5% of pixels within 2/255.
# Run by scripts/compare-windows.sh (which provides the X server). Exit 1 when a goal is missed.
set -uo pipefail
cd "$(dirname "$0")/../.."
LINUX_BUILD_DIR=${LINUX_BUILD_DIR:-build}
BUILD_DIR=${BUILD_DIR:-build-windows}
out="$BUILD_DIR/compare-pictures"
diff_tool="$LINUX_BUILD_DIR/picture_diff"
for need in "$diff_tool" "$LINUX_BUILD_DIR/picture_scenes" "$BUILD_DIR/picture_scenes.exe" "$BUILD_DIR/wine-run.sh"; do
  if [ ! -x "$need" ]; then echo "compare-pictures: $need is missing (build both first)" >&2; exit 1; fi
done
rm -rf "$out"
mkdir -p "$out/linux" "$out/windows" "$out/difference"
status=0

"$LINUX_BUILD_DIR/picture_scenes" "$out/linux" >/dev/null || status=1
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/picture_scenes.exe" "$out/windows" \
  >/dev/null 2>"$out/windows.log" || { status=1; cat "$out/windows.log" >&2; }

while read -r name goal; do
  "$diff_tool" "$name" "$goal" "$out/linux/$name.png" "$out/windows/$name.png" \
    "$out/difference/$name.png" || status=1
done < "$out/linux/scenes.txt"

# The sample's frames through the viewer, both builds at the viewer's default size.
sample_frames=(0 90 180 249)
start_linux="$LINUX_BUILD_DIR/sample-project/VtlStart.vtl"
start_windows="$BUILD_DIR/sample-project/VtlStart.vtl"
if [ -f "$start_windows" ] && [ -f "$start_linux" ]; then
  picks=$(IFS=,; echo "${sample_frames[*]}")
  mkdir -p "$out/linux/sample" "$out/windows/sample"
  "$LINUX_BUILD_DIR/VantrelViewer.exe" "$start_linux" --png "$out/linux/sample" --pick "$picks" --quiet >/dev/null || status=1
  "$BUILD_DIR/wine-run.sh" "$BUILD_DIR/VantrelViewer.exe" "$start_windows" --png "$out/windows/sample" \
    --pick "$picks" --quiet >/dev/null || status=1
  for f in "${sample_frames[@]}"; do
    name=$(printf 'frame_%04d' "$f")
    "$diff_tool" "sample_$name" close "$out/linux/sample/$name.png" "$out/windows/sample/$name.png" \
      "$out/difference/sample_$name.png" "$out/difference/sample_${name}_side_by_side.png" || status=1
  done
else
  echo "sample frames: skipped, no sample project in $BUILD_DIR (the Windows build leaves it out)"
fi
exit $status
