#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need, for Linux and
# for the Windows build that CI also runs.
#   --linux    the Linux packages only
#   --windows  the cross toolchain, Wine and Xvfb only, then the Windows builds of ODE, zlib
#              and GoogleTest from Debian's source packages (scripts/windows/build-deps.sh)
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${1:-}" ]; then
  "$here/install-deps.sh" --linux
  exec "$here/install-deps.sh" --windows
fi
if [ "${1:-}" = "--windows" ]; then
  # apt-get source needs the archive's source lists beside its binary ones.
  if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    $SUDO tee /etc/apt/sources.list.d/debian-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build pkg-config ccache dpkg-dev nlohmann-json3-dev \
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-x86-64-dev \
    wine64 xvfb xauth python3
  exec "$here/windows/build-deps.sh"
fi
if [ "${1:-}" != "--linux" ]; then
  echo "usage: $0 [--linux | --windows]" >&2
  exit 2
fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config git \
  libgtest-dev libgmock-dev libbenchmark-dev \
  zlib1g-dev libode-dev libglu1-mesa-dev \
  libfreetype-dev libfontconfig-dev fonts-dejavu-core libpng-dev \
  libfltk1.3-dev fluid xvfb xauth x11-apps \
  libosmesa6-dev libassimp-dev fonts-liberation nlohmann-json3-dev ccache \
  libgif-dev fonts-texgyre fonts-cantarell python3
# python3: the Windows comparison's text check and the sample picture's script, and that
# script's test (standard library only).
# fonts-texgyre, fonts-cantarell: OpenType faces with CFF (cubic) outlines, which the 3D
# text's glyph sweep builds alongside the TrueType faces.
# fluid: Debian's FLTK CMake package names /usr/bin/fluid among its targets and refuses
# to configure without it.
# clang: scripts/fuzz.sh builds the libFuzzer targets with it (fuzzer and sanitizer runtimes
# come with it).
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends clang
