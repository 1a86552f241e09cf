#!/usr/bin/env bash
# Builds the sample project's installer with projpack and installs it unattended, prints
# what was installed and where, then runs the installed project headless and leaves a
# picture of it (frame 180) and an animated GIF of the whole run in <build>/sample-picture.
#
#   scripts/install-sample.sh [install folder]
#
# The install folder defaults to <build>/sample-install. BUILD_DIR names the build folder
# (default: build); NO_BUILD=1 takes the build as it is. Desktop entries and the registry
# store go under <build>/sample-env unless VANTREL_PROGRAMS_DIR or VANTREL_REGISTRY_FILE
# already point elsewhere, so a trial run leaves the user's own menus alone.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
case "$build" in /*) ;; *) build=$root/$build ;; esac  # relative to the source tree, as in build.sh
target=${1:-$build/sample-install}
case "$target" in /*) ;; *) target=$PWD/$target ;; esac

if [ "${NO_BUILD:-0}" != 1 ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja
  cmake --build "$build" -j2 --target projinstall projpack VtlUnInst viewer cgrtool \
    core_channels siblings valueop physworld physbody swshadow text3d sample_floatmatrix
fi

installer_image=$build/installer/projinstall
cgrtool=$build/tools/cgrtool/cgrtool
for f in "$installer_image" "$build/tools/projpack/projpack" "$cgrtool"; do
  [ -x "$f" ] || { echo "install-sample: $f is missing; build first" >&2; exit 1; }
done

env_dir=$build/sample-env
mkdir -p "$env_dir"
export VANTREL_PROGRAMS_DIR=${VANTREL_PROGRAMS_DIR:-$env_dir/applications}
export VANTREL_REGISTRY_FILE=${VANTREL_REGISTRY_FILE:-$env_dir/registry}

echo "== sample project"
# Every samples/project/<file>.json is the text of the project file <file>.
mkdir -p "$build/sample-project"
for text in "$root"/samples/project/*.json; do
  name=$(basename "$text" .json)
  "$cgrtool" build "$text" "$build/sample-project/$name"
  echo "  $name  from samples/project/$name.json"
done

echo "== installer"
setup=$build/sample-setup
"$build/tools/projpack/projpack" build "$root/samples/demo.manifest" "$build/sample-project" \
  "$installer_image" "$setup"
chmod +x "$setup"
"$build/tools/projpack/projpack" check "$setup" >/dev/null

echo "== installing into $target"
log=$env_dir/messages.log
rm -f "$log"
env -u DISPLAY VANTREL_UNATTENDED=1 VANTREL_INSTALL_DIR="$target" VANTREL_MESSAGE_LOG="$log" \
  "$setup" </dev/null
echo "-- what the installer showed"
sed 's/^/  /' "$log"

echo "-- files in $target"
(cd "$target" && find . -type f -printf '  %P  %s bytes\n' | sort)

echo "-- uninstall log"
"$target/VtlUnInst.exe" --list | sed 's/^/  /'

echo "-- desktop entries in $VANTREL_PROGRAMS_DIR"
find "$VANTREL_PROGRAMS_DIR" -name '*.desktop' | sort | while read -r entry; do
  echo "  $entry"
  sed 's/^/    /' "$entry"
done

echo "-- registry values in $VANTREL_REGISTRY_FILE (root, key, value = data)"
# The store escapes a backslash in the data as \\; shown here as the value holds it.
awk -F'\t' '{ d = $5; gsub(/\\\\/, "\\", d); printf "  %s  %s  %s = %s\n", $1, $2, $3, d }' "$VANTREL_REGISTRY_FILE"

echo "== running the installed project"
# No display needed: the viewer draws off screen. Its progress line goes to stderr.
picture=$build/sample-picture
rm -rf "$picture"
(cd "$target" && ./VantrelViewer.exe VtlStart.vtl --png "$picture" --pick 180 \
  --gif "$picture/sample.gif" --gif-every 2 --gif-shrink 2) | sed 's/^/  /'
[ -f "$picture/frame_0180.png" ] || { echo "install-sample: no picture was written" >&2; exit 1; }
echo "== the picture of the running scene: $picture/frame_0180.png"
echo "   the run as an animation:         $picture/sample.gif"
echo "remove it again with: VANTREL_REGISTRY_FILE=$VANTREL_REGISTRY_FILE $target/VtlUnInst.exe"
