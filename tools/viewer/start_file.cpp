#include "start_file.h"

#include <cstring>

#include "declared_size.h"
#include "tagfile/compressed_file.h"
#include "tagfile/records.h"

std::vector<uint8_t> WriteStartFile(const StartFile& start) {
    tagfile::RecordWriter w;
    tagfile::Guid16 type;
    std::memcpy(type.data(), &kViewerStartFileType, 16);
    w.WriteFileHeader(type);
    w.WriteRecord("STGR", start.startGroup.c_str(), uint32_t(start.startGroup.size() + 1));
    w.WriteRecordU32("STFR", start.frames);
    w.WriteRecord("STFT", &start.frameTime, 4);
    return w.TakeBytes();
}

std::optional<StartFile> ReadStartFile(std::span<const uint8_t> bytes) {
    std::optional<std::vector<uint8_t>> unpacked;
    if (tagfile::IsCompressedFile(bytes)) {
        // A start file holds three short records; one that says it unpacks to more is
        // refused before anything is inflated.
        if (DeclaredUnpackedSize(bytes).value_or(0) > kStartFileUnpackedLimit) return std::nullopt;
        unpacked = tagfile::UnpackCompressedFile(bytes);
        if (!unpacked) return std::nullopt;
        bytes = *unpacked;
    }
    tagfile::Guid16 type;
    std::span<const uint8_t> records;
    if (!tagfile::ReadFileHeader(bytes, type, records) ||
        std::memcmp(type.data(), &kViewerStartFileType, 16) != 0)
        return std::nullopt;
    StartFile start;
    bool hasGroup = false;
    tagfile::RecordReader reader(records);
    tagfile::Record r;
    while (reader.Next(r)) {
        if (r.Is("STGR")) {
            std::string text(reinterpret_cast<const char*>(r.data.data()), r.data.size());
            start.startGroup = text.c_str();
            hasGroup = !start.startGroup.empty();
        } else if (r.Is("STFR") && r.data.size() == 4) {
            start.frames = tagfile::ReadU32(r.data.data());
        } else if (r.Is("STFT") && r.data.size() == 4) {
            std::memcpy(&start.frameTime, r.data.data(), 4);
        }
    }
    if (reader.Corrupt() || !hasGroup) return std::nullopt;
    return start;
}
