// KRVF compressed files: a KRVF tagged file of the compressed-file type holding one stored
// file as a zlib stream. After the header come exactly three records:
//   "ZIOS" 4 bytes   u32 unpacked size
//   "ZINS" 4 bytes   u32 packed size, equal to the length of "ZICB"
//   "ZICB" n bytes   zlib stream (RFC 1950) inflating to exactly the unpacked size
// Written by the package tool, read by the engine's decompression component.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tagfile/records.h"

namespace tagfile {

// 4806DF8E-A410-5F04-A297-090D455D9BEE in the Windows binary layout.
extern const Guid16 kCompressedFileType;

// No stored file is larger than this; a header claiming more is treated as corrupt.
inline constexpr uint64_t kMaxUnpackedSize = uint64_t(1) << 30;
// DEFLATE cannot expand one input byte into more than this many output bytes, so a header
// claiming a larger ratio is lying.
inline constexpr uint64_t kMaxDeflateRatio = 1032;

// Whether the bytes start with a KRVF header of the compressed-file type.
bool IsCompressedFile(std::span<const uint8_t> file);

// The stored file, or nothing when the bytes are not a well-formed compressed file: wrong
// header, records missing, out of order or out of bounds, sizes that disagree, an unpacked
// size no zlib stream of that length can give, or a stream that does not inflate to
// exactly the unpacked size. Never allocates more than the checked unpacked size.
std::optional<std::vector<uint8_t>> UnpackCompressedFile(std::span<const uint8_t> file);

// Packs `content` at zlib `level` (0-9, or -1 for zlib's default); empty when the content
// is larger than kMaxUnpackedSize or the level is invalid.
std::vector<uint8_t> PackCompressedFile(std::span<const uint8_t> content, int level = -1);

}  // namespace tagfile
