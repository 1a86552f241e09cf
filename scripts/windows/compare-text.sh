#!/usr/bin/env bash
# Fonts, Windows against Linux: for Liberation Sans, Serif and Mono and DejaVu Sans and Serif,
# the native outline buffer of every printable Windows-1252 character at the height the 3D
# text asks for (the em height, a negative lfHeight of the em square), from the real GDI under Wine and from the FreeType stand-in,
# and the 3D text meshes D3DXCreateText builds from each for a few strings. Prints a line per
# face and per face and string; exits non-zero when a goal is missed (metrics equal and
# buffers byte-identical, but for the widened fractions compare_text.py explains; meshes with
# the same counts and positions within 1e-5). The two build folders come from
# LINUX_BUILD_DIR and BUILD_DIR (defaults build and build-windows); both must be built.
set -euo pipefail
cd "$(dirname "$0")/../.."
LINUX_BUILD_DIR=${LINUX_BUILD_DIR:-build}
BUILD_DIR=${BUILD_DIR:-build-windows}
linux_dump="$LINUX_BUILD_DIR/plugins/text3d/text3d_dump"
windows_dump="$BUILD_DIR/text3d_dump.exe"
for program in "$linux_dump" "$windows_dump"; do
  if [ ! -x "$program" ] && [ ! -f "$program" ]; then
    echo "compare-text: $program is missing (build both folders first)" >&2
    exit 2
  fi
done
# The Windows dump makes an off-screen device for the meshes, which under Wine wants an X
# server: one is started for this run when none is given (compare-windows.sh gives its own).
source scripts/windows/display.sh
if [ -z "${DISPLAY:-}" ]; then
  export WINEPREFIX=${WINEPREFIX:-$PWD/$BUILD_DIR/wineprefix}
  cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    stop_display
  }
  trap cleanup EXIT
  start_display
fi
out="$BUILD_DIR/compare-text"
mkdir -p "$out"
faces=("Liberation Sans" "Liberation Serif" "Liberation Mono" "DejaVu Sans" "DejaVu Serif")
for face in "${faces[@]}"; do
  name=${face// /-}
  "$linux_dump" "$face" >"$out/linux-$name.txt"
  WINEDEBUG=-all "$BUILD_DIR/wine-run.sh" "$windows_dump" "$face" | tr -d '\r' >"$out/windows-$name.txt"
done
python3 scripts/windows/compare_text.py "$out" "${faces[@]}"
