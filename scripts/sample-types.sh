#!/usr/bin/env bash
# Builds the sample project's installers of all four project types with projpack and checks
# each; with --try also installs each one unattended below <build>/sample-types and plays it
# the way a user would meet it:
#
#   scripts/sample-types.sh [--try]
#
#   <build>/sample-setup                  standard install     (samples/demo.manifest)
#   <build>/sample-setup-run-in-place     run in place         (samples/demo-run-in-place.manifest)
#   <build>/sample-setup-screensaver      screen saver         (samples/demo-screensaver.manifest)
#   <build>/sample-setup-media-player     media-player plug-in (samples/demo-media-player.manifest)
#
# BUILD_DIR names the build folder (default: build); NO_BUILD=1 takes the build as it is.
# --try keeps everything (install folders, system and player folders, registry store, desktop
# entries) inside <build>/sample-types; FRAMES (default 25) bounds each run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
case "$build" in /*) ;; *) build=$root/$build ;; esac
try=0
[ "${1:-}" = --try ] && try=1

if [ "${NO_BUILD:-0}" != 1 ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja
  cmake --build "$build" -j2 --target projinstall projpack VtlUnInst viewer cgrtool saver player_plugin \
    sample_project core_channels siblings valueop physworld physbody swshadow text3d sample_floatmatrix
fi
projpack=$build/tools/projpack/projpack

types=("standard:demo.manifest:sample-setup"
       "run-in-place:demo-run-in-place.manifest:sample-setup-run-in-place"
       "screensaver:demo-screensaver.manifest:sample-setup-screensaver"
       "media-player:demo-media-player.manifest:sample-setup-media-player")
for entry in "${types[@]}"; do
  IFS=: read -r type manifest setup <<<"$entry"
  # projpack's progress lines are shown only when something went wrong.
  if ! out=$("$projpack" build "$root/samples/$manifest" "$build/sample-project" "$build/installer/projinstall" \
      "$build/$setup" 2>&1 && "$projpack" check "$build/$setup" 2>&1); then
    echo "$out" >&2
    exit 1
  fi
  chmod +x "$build/$setup"
  echo "== $type: $build/$setup"
done
[ "$try" = 1 ] || exit 0

frames=${FRAMES:-25}
scratch=$build/sample-types
rm -rf "$scratch"
mkdir -p "$scratch/tmp" "$scratch/system" "$scratch/player/Plugins"
export VANTREL_UNATTENDED=1 VANTREL_REGISTRY_FILE=$scratch/registry VANTREL_PROGRAMS_DIR=$scratch/applications \
  VANTREL_SYSTEM_DIR=$scratch/system VANTREL_PLAYER_DIR=$scratch/player TMPDIR=$scratch/tmp
unset DISPLAY

install() {  # <setup> <install folder>
  VANTREL_INSTALL_DIR=$2 VANTREL_MESSAGE_LOG=$scratch/messages.log "$build/$1" </dev/null
}
echo "-- standard: installed into $scratch/standard, run from there"
install sample-setup "$scratch/standard"
(cd "$scratch/standard" && ./VantrelViewer.exe VtlStart.vtl --frames "$frames" --quiet) | sed 's/^/  /'
echo "-- run in place: unpacks below $scratch/tmp, plays all the start file's frames, cleans up"
install sample-setup-run-in-place "" | sed 's/^/  /'
echo "-- screen saver: $scratch/system/Sample Saver.scr /s"
install sample-setup-screensaver "$scratch/screensaver"
"$scratch/system/Sample Saver.scr" /s --frames "$frames" --quiet | sed 's/^/  /'
echo "-- media-player plug-in: $scratch/player/Plugins/vis_Sample Visualisation.dll, entry VantrelVisPlay"
install sample-setup-media-player "$scratch/media-player"
ls "$scratch/player/Plugins" | sed 's/^/  /'
if command -v python3 >/dev/null; then
  # Stands in for the player: loads the copy and calls its entry point.
  python3 -c 'import ctypes, sys; sys.exit(ctypes.CDLL(sys.argv[1]).VantrelVisPlay(int(sys.argv[2])))' \
    "$scratch/player/Plugins/vis_Sample Visualisation.dll" "$frames" | sed 's/^/  /'
fi
echo "-- the boxes the installers showed"
sed 's/^/  /' "$scratch/messages.log"
