#!/usr/bin/env bash
# Checks the Windows build against the Linux one, Wine's system libraries being the
# reference our Linux stand-ins answer to: runs every scripts/windows/compare-*.sh with
# LINUX_BUILD_DIR (default build) and BUILD_DIR (default build-windows), each printing a line
# per case. An X server is started for the run when none is given (Wine's Direct3D needs
# one). Exit 1 when any check misses its goal.
set -uo pipefail
cd "$(dirname "$0")/.."
export LINUX_BUILD_DIR=${LINUX_BUILD_DIR:-build} BUILD_DIR=${BUILD_DIR:-build-windows}
export WINEPREFIX="$PWD/$BUILD_DIR/wineprefix" WINEDEBUG=${WINEDEBUG:--all}
source scripts/windows/display.sh
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_display
}
trap cleanup EXIT
start_display_if_none
# One Wine server for every program the checks start (each would otherwise start its own
# and wait for it to end); the prefix is the one scripts/test-windows.sh made.
/usr/lib/wine/wineserver -p 2>/dev/null || true
status=0
for check in scripts/windows/compare-*.sh; do
  echo "== ${check##*/}"
  start=$SECONDS
  "$check" || status=1
  echo "== ${check##*/}: $((SECONDS - start)) s"
done
exit $status
