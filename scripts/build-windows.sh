#!/usr/bin/env bash
# Cross-builds everything for 64-bit Windows into build-windows/ (or $BUILD_DIR) with the
# mingw-w64 toolchain and the dependencies scripts/install-deps.sh --windows built.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-windows}
prefix=$(scripts/windows/prefix.sh)
if [ ! -f "$prefix/.complete" ]; then
  echo "No Windows dependencies in $prefix: run scripts/install-deps.sh --windows" >&2
  exit 1
fi
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DVANTREL_WINDOWS_PREFIX="$prefix" "${launcher[@]}" "$@"
cmake --build "$BUILD_DIR" -j "${VANTREL_JOBS:-$(nproc)}"
