// Writes tagged records: SaveTag, SaveBlockSize and SaveDataToFile each append their part
// of one record (4-byte tag, u32 length, data). The engine nests a channel's records in a
// block of its own; a saver opened on a file writes what it was given when closed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "plugin_frame/guid.h"
#include "tagfile/records.h"

class KelFileSaver {
public:
    KelFileSaver() = default;
    KelFileSaver(const KelFileSaver&) = delete;
    KelFileSaver& operator=(const KelFileSaver&) = delete;
    ~KelFileSaver();

    // Opens `path` for writing. With writeHeader 0 the file holds nothing but the records
    // it is given; otherwise it starts with a KRVF header of `headerType`. The file is
    // written by CloseFile. False when the file cannot be created.
    bool OpenFile(const char* path, int writeHeader, const GUID* headerType = nullptr);
    // Writes the file opened with OpenFile; false when that fails.
    bool CloseFile();

    void SaveTag(const char* tag);
    void SaveBlockSize(uint32_t bytes);
    void SaveDataToFile(const void* data, uint32_t bytes);

    // Engine side: a block record whose data is the records saved until EndBlock.
    size_t BeginBlock(std::string_view tag) { return writer_.BeginBlock(tag); }
    void EndBlock(size_t handle) { writer_.EndBlock(handle); }
    tagfile::RecordWriter& Writer() { return writer_; }
    const std::vector<uint8_t>& Bytes() const { return writer_.Bytes(); }

private:
    tagfile::RecordWriter writer_;
    std::string path_;
    bool open_ = false;
};

// One whole record for a plain field: its tag, its size and its little-endian bytes.
template <typename T>
void SaveField(KelFileSaver& saver, const char* tag, const T& field) {
    static_assert(std::is_trivially_copyable_v<T> && !std::is_pointer_v<T>);
    saver.SaveTag(tag);
    saver.SaveBlockSize(sizeof(T));
    saver.SaveDataToFile(&field, sizeof(T));
}
