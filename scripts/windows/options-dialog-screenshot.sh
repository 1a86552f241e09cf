#!/usr/bin/env bash
# Takes the picture of the installer's native options dialog for the README: the Windows
# face's test program runs under wine64 on a private Xvfb, inside a Wine virtual desktop
# (Xvfb has no window manager, so Wine draws the title bar itself there), and captures the
# dialog through GDI on its way; the PNG is copied to docs/options-dialog-windows.png.
# Honours BUILD_DIR (default build-windows); NO_BUILD=1 takes the build as it is.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build-windows}
if [ -z "${NO_BUILD:-}" ]; then
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then BUILD_DIR=$BUILD_DIR scripts/build-windows.sh; fi
  cmake --build "$BUILD_DIR" --target installer_win32_face_tests -j "${VANTREL_JOBS:-2}"
fi
shot="$BUILD_DIR/installer/screenshots/options_dialog_win32.png"
rm -f "$shot"
export WINEPREFIX="$PWD/$BUILD_DIR/wineprefix" WINEDEBUG=-all
source scripts/windows/display.sh
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_display
}
trap cleanup EXIT
start_display 130
program="Z:$PWD/$BUILD_DIR/installer_win32_face_tests.exe"
"$BUILD_DIR/wine-run.sh" explorer.exe /desktop=Screenshot,640x400 "$program" \
  --gtest_filter='*EveryDialog*' >/dev/null 2>&1 || true
if [ ! -s "$shot" ]; then
  echo "no screenshot was taken ($shot)" >&2
  exit 1
fi
mkdir -p docs
cp "$shot" docs/options-dialog-windows.png
echo "docs/options-dialog-windows.png"
