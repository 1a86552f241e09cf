#include "tagfile/compressed_file.h"

#include <zlib.h>

namespace tagfile {

const Guid16 kCompressedFileType = {0x8E, 0xDF, 0x06, 0x48, 0x10, 0xA4, 0x04, 0x5F,
                                    0xA2, 0x97, 0x09, 0x0D, 0x45, 0x5D, 0x9B, 0xEE};

namespace {

struct CompressedParts {
    uint32_t unpackedSize = 0;
    std::span<const uint8_t> stream;
};

bool NextU32Record(RecordReader& reader, const char* tag, uint32_t& value) {
    Record r;
    if (!reader.Next(r) || !r.Is(tag) || r.data.size() != 4) return false;
    value = ReadU32(r.data.data());
    return true;
}

std::optional<CompressedParts> Parse(std::span<const uint8_t> file) {
    Guid16 type;
    std::span<const uint8_t> records;
    if (!ReadFileHeader(file, type, records) || type != kCompressedFileType) return std::nullopt;
    RecordReader reader(records);
    CompressedParts parts;
    uint32_t packedSize = 0;
    Record stream;
    if (!NextU32Record(reader, "ZIOS", parts.unpackedSize) ||
        !NextU32Record(reader, "ZINS", packedSize) || !reader.Next(stream) ||
        !stream.Is("ZICB") || stream.data.size() != packedSize || !reader.AtEnd())
        return std::nullopt;
    if (parts.unpackedSize > kMaxUnpackedSize ||
        uint64_t(parts.unpackedSize) > uint64_t(packedSize) * kMaxDeflateRatio)
        return std::nullopt;
    parts.stream = stream.data;
    return parts;
}

}  // namespace

bool IsCompressedFile(std::span<const uint8_t> file) {
    Guid16 type;
    std::span<const uint8_t> records;
    return ReadFileHeader(file, type, records) && type == kCompressedFileType;
}

std::optional<std::vector<uint8_t>> UnpackCompressedFile(std::span<const uint8_t> file) {
    std::optional<CompressedParts> parts = Parse(file);
    if (!parts) return std::nullopt;
    std::vector<uint8_t> out(parts->unpackedSize);
    uLongf outLength = parts->unpackedSize;
    // uncompress wants a non-null destination even for an empty file.
    Bytef empty = 0;
    int rc = ::uncompress(out.empty() ? &empty : out.data(), &outLength, parts->stream.data(),
                          uLong(parts->stream.size()));
    if (rc != Z_OK || outLength != parts->unpackedSize) return std::nullopt;
    return out;
}

std::vector<uint8_t> PackCompressedFile(std::span<const uint8_t> content, int level) {
    uLongf packedLength = ::compressBound(uLong(content.size()));
    std::vector<uint8_t> packed(packedLength);
    Bytef none = 0;
    if (content.size() > kMaxUnpackedSize ||
        ::compress2(packed.data(), &packedLength, content.empty() ? &none : content.data(),
                    uLong(content.size()), level) != Z_OK)
        return {};
    packed.resize(packedLength);

    RecordWriter w;
    w.WriteFileHeader(kCompressedFileType);
    w.WriteRecordU32("ZIOS", uint32_t(content.size()));
    w.WriteRecordU32("ZINS", uint32_t(packed.size()));
    w.WriteRecord("ZICB", packed.data(), uint32_t(packed.size()));
    return w.TakeBytes();
}

}  // namespace tagfile
