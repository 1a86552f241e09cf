// The size a KRVF compressed file says it unpacks to, read from its first record without
// inflating anything: so that a small file asking for a huge one is refused before the
// memory is taken.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "tagfile/records.h"

// Nothing when the bytes do not start like a compressed file ("ZIOS" first).
inline std::optional<uint32_t> DeclaredUnpackedSize(std::span<const uint8_t> file) {
    tagfile::Guid16 type;
    std::span<const uint8_t> records;
    if (!tagfile::ReadFileHeader(file, type, records)) return std::nullopt;
    tagfile::RecordReader reader(records);
    tagfile::Record first;
    if (!reader.Next(first) || !first.Is("ZIOS") || first.data.size() != 4) return std::nullopt;
    return tagfile::ReadU32(first.data.data());
}
