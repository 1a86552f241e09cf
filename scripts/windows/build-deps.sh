#!/usr/bin/env bash
# Cross-builds ODE (a DLL, double precision with libccd, as Debian's libode), zlib,
# libpng, giflib and GoogleTest (static) for 64-bit Windows from Debian's own source packages into the
# prefix scripts/windows/prefix.sh names. Does nothing when that prefix is complete.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/versions.sh"
prefix=$("$here/prefix.sh")
if [ -f "$prefix/.complete" ]; then
  echo "Windows dependencies already built in $prefix"
  exit 0
fi
jobs=${VANTREL_JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
mkdir -p "$prefix"
cd "$work"
# apt-get source drops privileges to _apt, which cannot write a folder mktemp made.
chmod 0755 "$work"
apt-get source -q "ode=$ODE_VERSION" "zlib=$ZLIB_VERSION" "googletest=$GTEST_VERSION" \
  "libpng1.6=$PNG_VERSION" "giflib=$GIF_VERSION" >/dev/null

cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/../../cmake/mingw-w64-x86_64.cmake"
       -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
       -DVANTREL_WINDOWS_PREFIX="$prefix" -DCMAKE_CROSSCOMPILING_EMULATOR=)
build() { # <source> <build> <cmake options...>
  local src=$1 out=$2; shift 2
  cmake -S "$src" -B "$out" "${cross[@]}" "$@" >/dev/null
  cmake --build "$out" -j "$jobs" >/dev/null
  cmake --install "$out" >/dev/null
}

# Debian's zlib source has no Windows resource file, so only the static library is built.
cmake -S zlib-*/ -B zlib-build "${cross[@]}" >/dev/null
cmake --build zlib-build --target zlibstatic -j "$jobs" >/dev/null
mkdir -p "$prefix/include" "$prefix/lib"
cp zlib-*/zlib.h zlib-build/zconf.h "$prefix/include/"
cp zlib-build/libzlibstatic.a "$prefix/lib/libz.a"

# ODE's Windows threading pool includes <Windows.h>; mingw-w64's header is lower-case.
mkdir -p shim && echo '#include <windows.h>' > shim/Windows.h
build ode-*/ ode-build -DCMAKE_CXX_FLAGS="-I$work/shim" -Wno-dev -DBUILD_SHARED_LIBS=ON -DODE_DOUBLE_PRECISION=ON \
  -DODE_WITH_LIBCCD=ON -DODE_WITH_LIBCCD_SYSTEM=OFF -DODE_WITH_DEMOS=OFF -DODE_WITH_TESTS=OFF
# ode.pc names the library -lode, as on Linux; the DLL keeps its own name.
cp "$prefix/lib/libode_double.dll.a" "$prefix/lib/libode.dll.a"

# libpng on the static zlib above; its own tests and programs are not needed.
build libpng1.6-*/ png-build -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"

# giflib's Makefile builds Unix shared libraries; the library is its few C files.
gif_sources=(dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize)
for f in "${gif_sources[@]}"; do
  x86_64-w64-mingw32-gcc-posix -O2 -c giflib-*/"$f.c" -o "gif-$f.o"
done
x86_64-w64-mingw32-ar rcs "$prefix/lib/libgif.a" gif-*.o
cp giflib-*/gif_lib.h "$prefix/include/"

build googletest-*/ gtest-build -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF

touch "$prefix/.complete"
echo "Windows dependencies built in $prefix"
