#!/usr/bin/env bash
# The sample's headless frame rate on Windows (the viewer under wine64, Wine's Direct3D 8 on
# Xvfb's Mesa) against Linux (the viewer on the OSMesa stand-in): the same project, the same
# 250 frames at the viewer's default 640x480. The two run alternately, RUNS times each (default
# 3), so that the load of the machine falls on both alike; each run's rate is the one the
# viewer's progress line prints at the last frame. Prints every run, the medians, the load
# average and the ratio Linux / Windows; exits 1 when the ratio is above MAX_RATIO (default 2).
# Takes about 10 s a run on an idle two-core machine. Needs both builds (LINUX_BUILD_DIR,
# default build; BUILD_DIR, default build-windows) and starts an Xvfb when there is no display.
# The Windows runs use the build's Wine prefix with our Wine settings (wine-settings.sh);
# CSMT=1 measures with Wine's Direct3D command thread on instead (Wine's default), and writes
# our settings back afterwards.
set -euo pipefail
cd "$(dirname "$0")/../.."
LINUX_BUILD_DIR=${LINUX_BUILD_DIR:-build}
BUILD_DIR=${BUILD_DIR:-build-windows}
export BUILD_DIR  # for wine-settings.sh
RUNS=${RUNS:-3}
MAX_RATIO=${MAX_RATIO:-2}
for need in "$LINUX_BUILD_DIR/VantrelViewer.exe" "$LINUX_BUILD_DIR/sample-project/VtlStart.vtl" \
            "$BUILD_DIR/VantrelViewer.exe" "$BUILD_DIR/sample-project/VtlStart.vtl" "$BUILD_DIR/wine-run.sh"; do
  if [ ! -e "$need" ]; then echo "frame-rate: $need is missing (build both first)" >&2; exit 1; fi
done

# Absolute from here on: the runs start in folders of their own.
LINUX_BUILD_DIR=$(cd "$LINUX_BUILD_DIR" && pwd) BUILD_DIR=$(cd "$BUILD_DIR" && pwd)
work=$(mktemp -d)
source scripts/windows/display.sh
cleanup() {
  if [ "${CSMT:-0}" = 1 ]; then scripts/windows/wine-settings.sh || true; fi
  WINEPREFIX="$BUILD_DIR/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
start_display_if_none

# The viewer finds the channel folder beside its start file: a folder per build with the
# sample's files and a link to the build's channels.
for side in linux windows; do
  build=$LINUX_BUILD_DIR
  [ "$side" = windows ] && build=$BUILD_DIR
  mkdir -p "$work/$side"
  cp "$build"/sample-project/* "$work/$side/"
  ln -s "$build/channels" "$work/$side/channels"
done
"$BUILD_DIR/wine-run.sh" wineboot.exe --init >/dev/null 2>&1 || true
scripts/windows/wine-settings.sh
if [ "${CSMT:-0}" = 1 ]; then
  "$BUILD_DIR/wine-run.sh" reg.exe add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 1 /f >/dev/null 2>&1
  echo "Wine's Direct3D command thread: on (csmt 1)"
fi

# The frames per second of the last progress line of one run.
rate() {
  local line
  line=$(grep -a 'frames/s' | tail -n 1)
  if [ -z "$line" ]; then echo "frame-rate: no progress line" >&2; return 1; fi
  sed -E 's/.*, ([0-9.]+) frames\/s.*/\1/' <<<"$line"
}
run_linux() { (cd "$work/linux" && "$LINUX_BUILD_DIR/VantrelViewer.exe" VtlStart.vtl 2>&1 >/dev/null) | rate; }
run_windows() {
  (cd "$work/windows" && "$BUILD_DIR/wine-run.sh" "$BUILD_DIR/VantrelViewer.exe" VtlStart.vtl \
    2>&1 >/dev/null) | tr '\r' '\n' | rate
}
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
linux_rates=() windows_rates=()
for i in $(seq 1 "$RUNS"); do
  l=$(run_linux) && w=$(run_windows) || exit 1
  echo "run $i: Linux $l frames/s, Windows $w frames/s"
  linux_rates+=("$l") windows_rates+=("$w")
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
linux=$(printf '%s\n' "${linux_rates[@]}" | median)
windows=$(printf '%s\n' "${windows_rates[@]}" | median)
awk -v l="$linux" -v w="$windows" -v max="$MAX_RATIO" 'BEGIN {
  ratio = w > 0 ? l / w : 1e9
  printf "median: Linux %.1f frames/s, Windows %.1f frames/s, ratio %.2f (goal: at most %s)\n", l, w, ratio, max
  exit ratio > max ? 1 : 0
}'
