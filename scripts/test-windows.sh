#!/usr/bin/env bash
# Builds the Windows programs (scripts/build-windows.sh) and runs the ctest suite under
# wine64 in the build folder's own Wine prefix. An X server is started for the run only
# when none is given (Wine's window station wants one for dialogs), and stopped after.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-windows}
scripts/build-windows.sh "$@"
export WINEPREFIX="$PWD/$BUILD_DIR/wineprefix" WINEDEBUG=-all
xvfb_pid=""
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
fi
# The prefix is made once (the first start of Wine in it takes a while); the server then
# stays up between the tests of this run.
"$BUILD_DIR/wine-run.sh" wineboot.exe --init >/dev/null 2>&1 || true
BUILD_DIR="$BUILD_DIR" scripts/windows/wine-settings.sh
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "${VANTREL_JOBS:-$(nproc)}"
