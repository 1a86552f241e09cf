#!/usr/bin/env bash
# The same scenes drawn through Wine's Direct3D 8 (the Windows build, under wine64) and
# through the OSMesa stand-in (the Linux build), at the same sizes: the device scenes and
# the stencil shadow scenes of picture_scenes, the sample's frames 0, 90, 180 and 249
# through the viewer, and frame 180 of the sample installed by its Windows package (when
# sample_windows_install_tests has left it). One line per scene from picture_diff; the
# pictures and their differences are kept in $BUILD_DIR/compare-pictures/.
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
mkdir -p "$out/linux/sample" "$out/windows/sample" "$out/difference"
status=0

# The sample's frames through the viewer, both builds at the same size (the viewer's
# default). The frame clock is the frame number: frame N is the same moment on both.
sample_frames=(0 90 180 249)
sample_size=640x480
picks=$(IFS=,; echo "${sample_frames[*]}")
# The viewer takes channel libraries from "channels" beside the start file, as installed:
# each build's project is laid out so in $out/<side>/project, its channels linked in.
stage_project() {
  local build=$1 to=$2
  [ -f "$build/sample-project/VtlStart.vtl" ] || return 1
  mkdir -p "$to"
  cp "$build/sample-project/VtlStart.vtl" "$build/sample-project/start.cgr" "$to/"
  ln -s "$(cd "$build" && pwd)/channels" "$to/channels"
}
sample=yes
stage_project "$LINUX_BUILD_DIR" "$out/linux/project" && stage_project "$BUILD_DIR" "$out/windows/project" || sample=no

# Each side draws everything first; the Linux side in the background while Wine draws
# (two programs at a time, one per core).
draw_linux() {
  local failed=0
  "$LINUX_BUILD_DIR/picture_scenes" "$out/linux" >/dev/null || failed=1
  if [ $sample = yes ]; then
    "$LINUX_BUILD_DIR/VantrelViewer.exe" "$out/linux/project/VtlStart.vtl" --size "$sample_size" \
      --png "$out/linux/sample" --pick "$picks" --quiet >/dev/null || failed=1
  fi
  return $failed
}
draw_linux &
linux_pid=$!
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/picture_scenes.exe" "$out/windows" \
  >/dev/null 2>"$out/windows.log" || { status=1; cat "$out/windows.log" >&2; }
if [ $sample = yes ]; then
  "$BUILD_DIR/wine-run.sh" "$BUILD_DIR/VantrelViewer.exe" "$out/windows/project/VtlStart.vtl" --size "$sample_size" \
    --png "$out/windows/sample" --pick "$picks" --quiet >/dev/null || status=1
fi
wait "$linux_pid" || status=1

while read -r name goal; do
  "$diff_tool" "$name" "$goal" "$out/linux/$name.png" "$out/windows/$name.png" \
    "$out/difference/$name.png" || status=1
done < "$out/linux/scenes.txt"

if [ $sample = yes ]; then
  for f in "${sample_frames[@]}"; do
    name=$(printf 'frame_%04d' "$f")
    "$diff_tool" "sample_$name" close "$out/linux/sample/$name.png" "$out/windows/sample/$name.png" \
      "$out/difference/sample_$name.png" "$out/difference/sample_${name}_side_by_side.png" || status=1
  done
  # Frame 180 as the sample installed from its Windows package drew it
  # (sample_windows_install_tests leaves it behind), against the Linux frame.
  installed="$BUILD_DIR/sample-windows-test/installed-frames/frame_0180.png"
  if [ -f "$installed" ]; then
    "$diff_tool" "installed_sample_frame_0180" close "$out/linux/sample/frame_0180.png" "$installed" \
      "$out/difference/installed_sample_frame_0180.png" || status=1
  else
    echo "installed sample frame 180: not compared, $installed missing (run sample_windows_install_tests)"
  fi
else
  echo "sample frames: MISSED, no sample project in $LINUX_BUILD_DIR or $BUILD_DIR"
  status=1
fi
exit $status
