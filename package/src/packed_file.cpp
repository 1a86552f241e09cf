#include "package/packed_file.h"

#include <zlib.h>

#include <new>

#include "package/layout.h"
#include "package/little_endian.h"
#include "os/message_box.h"

namespace {

constexpr uint64_t kMaxDeflateRatio = 1032;

}  // namespace

uint32_t PackedFileStatedSize(std::span<const uint8_t> stored) {
    if (stored.size() < kPackedSizeFieldSize) return 0;
    return LoadU32LE(stored.data() + stored.size() - kPackedSizeFieldSize);
}

std::optional<UnpackedFile> TryUnpackPackedFile(std::span<const uint8_t> stored) {
    if (stored.size() < kPackedSizeFieldSize) return std::nullopt;
    const uint32_t size = PackedFileStatedSize(stored);
    const size_t streamSize = stored.size() - kPackedSizeFieldSize;
    if (size > kMaxPackedFileSize || uint64_t(size) > uint64_t(streamSize) * kMaxDeflateRatio)
        return std::nullopt;

    UnpackedFile out;
    // One spare byte keeps the buffer non-null for an empty file, as uncompress wants.
    out.data.reset(new (std::nothrow) uint8_t[size_t(size) + 1]);
    if (!out.data) return std::nullopt;
    uLongf length = size;
    if (::uncompress(out.data.get(), &length, stored.data(), uLong(streamSize)) != Z_OK)
        return std::nullopt;
    out.size = uint32_t(length);
    return out;
}

std::optional<UnpackedFile> UnpackPackedFile(std::span<const uint8_t> stored) {
    std::optional<UnpackedFile> out = TryUnpackPackedFile(stored);
    if (!out) os::MessageBox("Error decompress", "Error", os::MB_OK);
    return out;
}

std::vector<uint8_t> PackPackedFile(std::span<const uint8_t> content, int level) {
    if (content.size() > kMaxPackedFileSize) return {};
    uLongf length = ::compressBound(uLong(content.size()));
    std::vector<uint8_t> out(length + kPackedSizeFieldSize);
    const Bytef none = 0;
    if (::compress2(out.data(), &length, content.empty() ? &none : content.data(),
                    uLong(content.size()), level) != Z_OK)
        return {};
    out.resize(length + kPackedSizeFieldSize);
    StoreU32LE(uint32_t(content.size()), out.data() + length);
    return out;
}
