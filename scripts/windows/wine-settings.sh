#!/usr/bin/env bash
# Writes the Wine settings our Windows runs use into the Wine prefix of a Windows build
# (BUILD_DIR, default build-windows; its wine-run.sh picks the prefix). Run once the prefix
# exists; writing them again changes nothing.
#
# HKCU\Software\Wine\Direct3D "csmt" = 0: Wine's Direct3D then makes its GL calls on the
# program's own thread instead of a command thread of its own. The two threads wait for each
# other by spinning (each Present waits for the frames before it, a lock for the drawing
# before it); with Mesa's software rasteriser underneath (llvmpipe, itself a thread per core)
# on a machine of few cores, the spinning took the cores the rasteriser needed. On the
# project's two-core build machine the sample's headless run reached less than half the
# Linux frame rate with the command thread and two thirds of it or more without
# (frame-rate.sh; numbers in the README's Windows section), and the frames drawn are the
# same to the bit. A user without a graphics card sets the same.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build-windows}
"$BUILD_DIR/wine-run.sh" reg.exe add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >/dev/null 2>&1
