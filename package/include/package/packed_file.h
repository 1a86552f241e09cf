// Packed files: the entries the installer unpacks on its own, before the engine's file
// loader exists (viewer, engine core, core plug-ins, file channels, uninstaller): a zlib
// stream of the whole file, then its unpacked size (layout.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// Unpacked bytes without zero-filling the buffer first: a packed entry can run to tens of
// megabytes and inflate writes every byte anyway.
struct UnpackedFile {
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
};

// No packed file unpacks to more than this.
inline constexpr uint64_t kMaxPackedFileSize = uint64_t(1) << 30;

// The unpacked size the stored bytes state in their last four bytes (0 when too short).
uint32_t PackedFileStatedSize(std::span<const uint8_t> stored);

// The unpacked file, or nothing when the stored bytes are too short, claim a size beyond
// what DEFLATE can produce from them (1032:1) or beyond kMaxPackedFileSize, or do not
// inflate into the claimed size. A stream that ends early is accepted at the length it
// gives. Never allocates more than the checked size.
std::optional<UnpackedFile> TryUnpackPackedFile(std::span<const uint8_t> stored);

// The same, reporting a failure with the message box "Error decompress" (caption "Error").
std::optional<UnpackedFile> UnpackPackedFile(std::span<const uint8_t> stored);

// Packs `content` at zlib `level`; empty when it is larger than kMaxPackedFileSize.
std::vector<uint8_t> PackPackedFile(std::span<const uint8_t> content, int level = 9);
