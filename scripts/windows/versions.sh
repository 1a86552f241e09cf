# Debian source packages the Windows build cross-compiles (bookworm's versions).
ODE_VERSION=2:0.16.2-1
ZLIB_VERSION=1:1.2.13.dfsg-1
GTEST_VERSION=1.12.1-0.2
PNG_VERSION=1.6.39-2+deb12u5
GIF_VERSION=5.2.1-2.5+deb12u1
