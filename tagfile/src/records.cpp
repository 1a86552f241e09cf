#include "tagfile/records.h"

#include <cstring>

namespace tagfile {

bool TagEquals(const char* a, std::string_view b) {
    return b.size() == 4 && std::memcmp(a, b.data(), 4) == 0;
}

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void RecordWriter::WriteFileHeader(const Guid16& typeGuid) {
    WriteRecord("KRVF", typeGuid.data(), kHeaderLength);
}

void RecordWriter::WriteTag(std::string_view tag) {
    char four[4] = {' ', ' ', ' ', ' '};
    std::memcpy(four, tag.data(), tag.size() < 4 ? tag.size() : 4);
    WriteData(four, 4);
}

void RecordWriter::WriteU32(uint32_t value) {
    uint8_t b[4];
    StoreU32(b, value);
    WriteData(b, 4);
}

void RecordWriter::WriteData(const void* data, size_t size) {
    if (size == 0) return;
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
}

void RecordWriter::WriteRecord(std::string_view tag, const void* data, uint32_t size) {
    WriteTag(tag);
    WriteU32(size);
    WriteData(data, size);
}

void RecordWriter::WriteRecordU32(std::string_view tag, uint32_t value) {
    uint8_t b[4];
    StoreU32(b, value);
    WriteRecord(tag, b, 4);
}

size_t RecordWriter::BeginBlock(std::string_view tag) {
    WriteTag(tag);
    size_t handle = bytes_.size();
    WriteU32(0);
    return handle;
}

void RecordWriter::EndBlock(size_t handle) {
    StoreU32(bytes_.data() + handle, uint32_t(bytes_.size() - handle - 4));
}

bool RecordReader::Peek(Record& out) {
    if (corrupt_ || offset_ == bytes_.size()) return false;
    size_t left = bytes_.size() - offset_;
    if (left < kRecordHeadSize) {
        corrupt_ = true;
        return false;
    }
    const uint8_t* p = bytes_.data() + offset_;
    uint32_t length = ReadU32(p + 4);
    if (length > left - kRecordHeadSize) {
        corrupt_ = true;
        return false;
    }
    std::memcpy(out.tag.data(), p, 4);
    out.data = bytes_.subspan(offset_ + kRecordHeadSize, length);
    return true;
}

bool RecordReader::Next(Record& out) {
    if (!Peek(out)) return false;
    offset_ += kRecordHeadSize + out.data.size();
    return true;
}

bool ReadFileHeader(std::span<const uint8_t> file, Guid16& typeGuid,
                    std::span<const uint8_t>& records) {
    RecordReader reader(file);
    Record header;
    if (!reader.Next(header) || !header.Is("KRVF") || header.data.size() != kHeaderLength)
        return false;
    std::memcpy(typeGuid.data(), header.data.data(), kHeaderLength);
    records = reader.Remaining();
    return true;
}

}  // namespace tagfile
