// Channel group files (.cgr) as readable JSON and back. The JSON names every channel, its
// type by name and GUID, its saved records field by field where the type and tag are
// known (record_types.cpp) and as hex otherwise, and its links by the child's name.
// Everything the dump cannot show exactly (unknown tags, odd sizes, damaged blocks,
// trailing bytes) stays hex, so building the dump gives back the file byte for byte.
// The project's other tagged files of a known type (the viewer's start file) read the
// same way, as a list of records.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.h"

namespace cgr {

// The JSON form of a file; std::runtime_error when the bytes are not a plain (uncompressed)
// channel group file or other tagged file of a known type.
Json DumpFile(std::span<const uint8_t> file);

// The file `doc` describes; TextError naming the JSON pointer of the faulty value.
std::vector<uint8_t> BuildFile(const Json& doc);

// DumpFile as indented text, checked to build back to the same bytes.
std::string DumpText(std::span<const uint8_t> file);

// Parses and builds; std::runtime_error "line N: <channel, record, field>: <fault>".
std::vector<uint8_t> BuildText(std::string_view text);

}  // namespace cgr
