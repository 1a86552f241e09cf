#!/usr/bin/env bash
# Makes docs/sample-linux-windows.png: the sample's frame 180 drawn on Linux (OSMesa
# stand-in), on Windows (Wine's Direct3D 8) and their difference, amplified 32 times, side by
# side. Takes the frames scripts/compare-windows.sh left in $BUILD_DIR/compare-pictures/
# (run that first); the picture is for people, the goal is checked there.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build-windows}
frames="$BUILD_DIR/compare-pictures"
for side in linux windows; do
  if [ ! -f "$frames/$side/sample/frame_0180.png" ]; then
    echo "sample-picture: no $frames/$side/sample/frame_0180.png (run scripts/compare-windows.sh first)" >&2
    exit 1
  fi
done
python3 scripts/windows/side_by_side.py "$frames/linux/sample/frame_0180.png" \
  "$frames/windows/sample/frame_0180.png" docs/sample-linux-windows.png --gain 32
