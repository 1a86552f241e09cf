// The tagged record layout shared by project files, channel group files, the installer's
// KRVF files and its uninstall log: a 4-byte ASCII tag, a u32 little-endian length and that
// many bytes of data, records back to back with no padding. A record's data may itself be a
// run of records. A KRVF file starts with a header that has the same shape: tag "KRVF",
// length 16, the 16-byte type GUID.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tagfile {

inline constexpr uint32_t kHeaderLength = 16;
inline constexpr size_t kRecordHeadSize = 8;  // tag + length

using Guid16 = std::array<uint8_t, 16>;  // a GUID in its Windows binary layout

bool TagEquals(const char* a, std::string_view b);

// Appends records to a growing byte buffer. Blocks (records whose data is a run of
// records) are opened and closed; the length is patched on close, so nesting is free.
class RecordWriter {
public:
    void WriteFileHeader(const Guid16& typeGuid);
    void WriteTag(std::string_view tag);  // exactly 4 characters
    void WriteU32(uint32_t value);
    void WriteData(const void* data, size_t size);
    void WriteRecord(std::string_view tag, const void* data, uint32_t size);
    void WriteRecordU32(std::string_view tag, uint32_t value);

    // Opens a block record and returns its handle for EndBlock.
    size_t BeginBlock(std::string_view tag);
    void EndBlock(size_t handle);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t> TakeBytes() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

struct Record {
    std::array<char, 4> tag{};
    std::span<const uint8_t> data;

    bool Is(std::string_view t) const { return TagEquals(tag.data(), t); }
};

// Walks the records of a byte range without ever reading past it. A record whose length
// runs past the end, or a tail shorter than a record head, marks the range corrupt.
class RecordReader {
public:
    RecordReader() = default;
    explicit RecordReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return offset_ == bytes_.size(); }
    bool Corrupt() const { return corrupt_; }
    size_t Offset() const { return offset_; }
    std::span<const uint8_t> Remaining() const { return bytes_.subspan(offset_); }

    // The next record without consuming it; false at the end or when corrupt.
    bool Peek(Record& out);
    // The next record, consumed; false at the end or when corrupt.
    bool Next(Record& out);
    // Consumes everything that is left.
    void SkipToEnd() { offset_ = bytes_.size(); }

private:
    std::span<const uint8_t> bytes_;
    size_t offset_ = 0;
    bool corrupt_ = false;
};

// Checks the KRVF header; on success gives the type GUID and the records after it.
bool ReadFileHeader(std::span<const uint8_t> file, Guid16& typeGuid,
                    std::span<const uint8_t>& records);

// Whether every record of the range, and recursively every nested run for which
// `isBlock(tag)` holds, lies within its parent.
template <typename IsBlock>
bool ValidateRecords(std::span<const uint8_t> bytes, IsBlock isBlock, int depth = 0) {
    if (depth > 64) return false;
    RecordReader reader(bytes);
    Record r;
    while (reader.Next(r)) {
        if (isBlock(r) && !ValidateRecords(r.data, isBlock, depth + 1)) return false;
    }
    return !reader.Corrupt();
}

uint32_t ReadU32(const uint8_t* p);
void StoreU32(uint8_t* p, uint32_t v);

}  // namespace tagfile
