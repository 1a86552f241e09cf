// What cgrtool knows about saved channel records: for each channel type GUID, the type's
// name and, per record tag, how the record's bytes read as fields. A record whose tag or
// size the table does not know is shown as hex.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "plugin_frame/guid.h"

namespace cgr {

// The reading of one little-endian value.
enum class Scalar { U8, U32, I32, F32, F64, Bool, Guid, Text };

struct Member {
    const char* name;        // "" when the record is this one field
    uint32_t offset;         // in the record
    Scalar scalar;
    uint32_t count = 1;      // more than 1: an array of that many
    uint32_t columns = 0;    // an array shown as rows of this many (a matrix: 4)
    uint32_t textBytes = 0;  // Text inside a record of fixed size: NUL-padded to this many
};

struct RecordLayout {
    const char* tag;
    const char* field;        // the field's name, shown beside the tag
    uint32_t size;            // bytes; kAnySize for a NUL-terminated text of any length
    std::vector<Member> members;  // none: the record carries no data
};

inline constexpr uint32_t kAnySize = 0xFFFFFFFFu;

struct ChannelTypeLayout {
    GUID guid;
    const char* name;  // the name the type reports
    std::vector<RecordLayout> records;
};

uint32_t ScalarSize(Scalar s);

const std::vector<ChannelTypeLayout>& ChannelTypes();
// Other KRVF tagged files of the project, by file type GUID: their records at the top level.
const std::vector<ChannelTypeLayout>& FileTypes();
const ChannelTypeLayout* FindType(const GUID& guid);
const ChannelTypeLayout* FindTypeByName(std::string_view name);
const ChannelTypeLayout* FindFileType(const GUID& guid);
const ChannelTypeLayout* FindFileTypeByName(std::string_view name);
const RecordLayout* FindRecord(const ChannelTypeLayout& type, std::string_view tag);

}  // namespace cgr
