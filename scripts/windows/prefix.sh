#!/usr/bin/env bash
# Prints the folder that holds (or will hold) the Windows builds of the dependencies,
# keyed by the Debian source versions and the cross compiler's version, so a fresh clone
# reuses what an earlier set-up built. VANTREL_WINDOWS_DEPS moves the cache.
set -euo pipefail
source "$(dirname "$0")/versions.sh"
gcc_version=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix 2>/dev/null || echo none)
key="ode-${ODE_VERSION#*:}_zlib-${ZLIB_VERSION#*:}_gtest-${GTEST_VERSION}_png-${PNG_VERSION}_gif-${GIF_VERSION}_gcc-${gcc_version}"
echo "${VANTREL_WINDOWS_DEPS:-$HOME/.cache/vantrel-windows}/${key//[^A-Za-z0-9._-]/_}"
