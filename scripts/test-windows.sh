#!/usr/bin/env bash
# Builds the Windows programs (scripts/build-windows.sh) and runs the ctest suite under
# wine64 in the build folder's own Wine prefix. An X server is started for the run only
# when none is given (Wine's window station wants one for dialogs), and stopped after.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-windows}
scripts/build-windows.sh "$@"
export WINEPREFIX="$PWD/$BUILD_DIR/wineprefix" WINEDEBUG=-all
source scripts/windows/display.sh
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_display
}
trap cleanup EXIT
start_display_if_none
# The prefix is made once (the first start of Wine in it takes a while); the server then
# stays up between the tests of this run.
"$BUILD_DIR/wine-run.sh" wineboot.exe --init >/dev/null 2>&1 || true
BUILD_DIR="$BUILD_DIR" scripts/windows/wine-settings.sh
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "${VANTREL_JOBS:-$(nproc)}"
