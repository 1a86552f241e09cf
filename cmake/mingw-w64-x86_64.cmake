# Cross-builds the 64-bit Windows programs and libraries with Debian's mingw-w64 (posix
# thread model, so std::thread and std::mutex work). The Windows dependencies Debian has
# no mingw package for (ODE, zlib, GoogleTest) come from VANTREL_WINDOWS_PREFIX, built
# from Debian's source packages by scripts/install-deps.sh --windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VANTREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTREL_MINGW_TRIPLE}-windres)

if(NOT VANTREL_WINDOWS_PREFIX AND DEFINED ENV{VANTREL_WINDOWS_PREFIX})
  set(VANTREL_WINDOWS_PREFIX $ENV{VANTREL_WINDOWS_PREFIX})
endif()
set(VANTREL_WINDOWS_PREFIX "${VANTREL_WINDOWS_PREFIX}" CACHE PATH
    "Windows builds of ODE, zlib and GoogleTest (scripts/install-deps.sh --windows)")
# The header-only JSON library is the same for every target; its CMake package is under /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${VANTREL_MINGW_TRIPLE} ${VANTREL_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${VANTREL_WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Tests run under Wine's 64-bit loader itself: the wine wrapper tries the 32-bit one first.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
