// Every byte layout of the package format in one place: the sizes and offsets the reader,
// the writer, the packed-file routines and the uninstall log work from. Integers are u32
// little-endian throughout (little_endian.h). package/README.md draws each layout.
#pragma once

#include <cstddef>
#include <cstdint>

// The package appended to an installer program, offsets from the package start S:
//   0    36  marker (PackageMarker()), no terminator
//   36   4   entry count N
//   40   ..  N directory entries (below)
//   D    4   data offset from S of the first data byte (D + 4)
//   ..   ..  every entry's data, in directory order, no gaps
// and the file's last four bytes hold S.
inline constexpr size_t kPackageMarkerSize = 36;
inline constexpr size_t kPackageCountOffset = kPackageMarkerSize;
inline constexpr size_t kPackageDirectoryOffset = kPackageCountOffset + 4;
inline constexpr size_t kPackageDataOffsetFieldSize = 4;
inline constexpr size_t kPackageTrailerSize = 4;
static_assert(kPackageDirectoryOffset == 40);

// A directory entry: u32 G, group name (G bytes with its NUL), u32 L, item name (L bytes
// with its NUL), u32 data size, u32 CRC-32 of the data. A name with its NUL fits 260 bytes.
inline constexpr size_t kPackageNameSize = 260;
inline constexpr size_t kPackageEntryFixedSize = 4 + 4 + 4 + 4;  // two lengths, size, CRC
// The smallest entry a count can stand for: two empty names (just their lengths), size, CRC.
inline constexpr uint64_t kPackageMinEntrySize = kPackageEntryFixedSize;
static_assert(kPackageEntryFixedSize == 16);

// A packed file: a zlib stream (RFC 1950) of the whole file, then its u32 unpacked size.
inline constexpr size_t kPackedSizeFieldSize = 4;

// "uninstall.nfo": records of a 4-character tag, a u32 length and that many bytes, with no
// header; texts are NUL-padded to 259 bytes (a longer text fills its record unterminated).
//   "UNFC" u32 F, then F x "UNFN" text   installed files, in the order written
//   "UNDC" u32 D, then D x "UNDN" text   created folders, last created first
//   "UNPN" text                         the project name
//   "UNSK" tag alone, no length         screensaver and Winamp types only
inline constexpr size_t kUninstallTagSize = 4;
inline constexpr size_t kUninstallRecordHeaderSize = kUninstallTagSize + 4;
inline constexpr uint32_t kUninstallTextSize = 259;
inline constexpr uint32_t kUninstallCountSize = 4;
static_assert(kUninstallRecordHeaderSize + kUninstallTextSize == 267);
