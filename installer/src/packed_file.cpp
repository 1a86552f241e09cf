#include "installer/packed_file.h"

#include <zlib.h>

#include <new>

#include "installer/little_endian.h"
#include "os/message_box.h"

namespace {

constexpr uint64_t kMaxDeflateRatio = 1032;

uint32_t TrailingSize(std::span<const uint8_t> stored) {
    return LoadU32LE(stored.data() + stored.size() - 4);
}

}  // namespace

std::optional<UnpackedFile> TryUnpackPackedFile(std::span<const uint8_t> stored) {
    if (stored.size() < 4) return std::nullopt;
    const uint32_t size = TrailingSize(stored);
    const size_t streamSize = stored.size() - 4;
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
    std::vector<uint8_t> out(length + 4);
    const Bytef none = 0;
    if (::compress2(out.data(), &length, content.empty() ? &none : content.data(),
                    uLong(content.size()), level) != Z_OK)
        return {};
    out.resize(length + 4);
    const auto size = uint32_t(content.size());
    for (int i = 0; i < 4; ++i) out[length + i] = uint8_t(size >> (8 * i));
    return out;
}
