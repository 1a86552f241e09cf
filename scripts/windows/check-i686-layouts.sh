#!/usr/bin/env bash
# Compiles (does not link or run) the code that pins byte layouts for 32-bit Windows with
# the i686 cross compiler: the static_asserts on the tagged records, the package format,
# the type and link records and the plug-in frame must hold for 4-byte pointers too, the
# size the stored formats and the original binary interface were made with.
set -euo pipefail
cd "$(dirname "$0")/../.."
prefix=$(scripts/windows/prefix.sh)
includes=()
for dir in plugin_frame vecmath tagfile platform/os platform/d3d8 platform/gdi package installer \
           engine/src; do
  [ -d "$dir/include" ] && includes+=(-I"$dir/include")
done
includes+=(-Iinstaller/src -Iengine/src -I"$prefix/include")
files=(tagfile/src/records.cpp tagfile/src/compressed_file.cpp engine/src/guid.cpp
       engine/src/file_saver.cpp engine/src/file_loader.cpp
       package/src/package_reader.cpp package/src/packed_file.cpp
       package/src/pointer_array.cpp package/src/crc32.cpp package/include/package/layout.h)
# Every header of the plug-in frame, each on its own.
for header in plugin_frame/include/plugin_frame/*.h plugin_frame/include/plugin_frame/siblings/*.h \
              platform/gdi/include/gdi/wingdi.h platform/d3d8/include/d3d8/d3d8types.h; do
  files+=("$header")
done
failed=0
for file in "${files[@]}"; do
  [ -f "$file" ] || continue
  if ! i686-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -x c++ -DUNICODE -D_UNICODE -DNOMINMAX \
       -DWIN32_LEAN_AND_MEAN -Wall -Wextra -Wno-unused-parameter -Wno-pragma-once-outside-header \
       "${includes[@]}" "$file"; then
    echo "i686: $file does not compile" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "i686: ${#files[@]} files with byte layouts compile for 32-bit Windows"
exit "$failed"
