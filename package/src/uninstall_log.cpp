#include "package/uninstall_log.h"

#include <cstring>

#include "package/little_endian.h"
#include "plugin_frame/engine_control.h"

namespace {

// The record's 259 bytes: the text up to its terminator, NULs after. What followed the
// terminator in a read buffer (bytes of the package) never reaches the log.
void SaveText(EngineFileSaver& saver, const char* tag, const char* text) {
    char record[kUninstallTextSize] = {};
    if (text) std::memcpy(record, text, strnlen(text, kUninstallTextSize));
    saver.SaveTag(tag);
    saver.SaveBlockSize(kUninstallTextSize);
    saver.SaveDataToFile(record, kUninstallTextSize);
}

void SaveCount(EngineFileSaver& saver, const char* tag, int32_t count) {
    const uint32_t value = count < 0 ? 0 : uint32_t(count);
    uint8_t bytes[kUninstallCountSize];
    StoreU32LE(value, bytes);
    saver.SaveTag(tag);
    saver.SaveBlockSize(kUninstallCountSize);
    saver.SaveDataToFile(bytes, kUninstallCountSize);
}

class RecordCursor {
public:
    explicit RecordCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return at_ == bytes_.size(); }
    bool NextTagIs(const char* tag) const {
        return bytes_.size() - at_ >= kUninstallTagSize &&
               std::memcmp(bytes_.data() + at_, tag, kUninstallTagSize) == 0;
    }
    // The data of the next record if it has this tag and this length.
    const uint8_t* Take(const char* tag, uint32_t length) {
        constexpr size_t header = kUninstallRecordHeaderSize;
        if (!NextTagIs(tag) || bytes_.size() - at_ < header) return nullptr;
        if (LoadU32LE(bytes_.data() + at_ + kUninstallTagSize) != length ||
            bytes_.size() - at_ - header < length)
            return nullptr;
        const uint8_t* data = bytes_.data() + at_ + header;
        at_ += header + size_t(length);
        return data;
    }
    bool TakeTagAlone(const char* tag) {
        if (!NextTagIs(tag)) return false;
        at_ += kUninstallTagSize;
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

std::string Text(const uint8_t* data) {
    const char* text = reinterpret_cast<const char*>(data);
    return std::string(text, strnlen(text, kUninstallTextSize));
}

bool TakeTexts(RecordCursor& cursor, const char* countTag, const char* textTag,
               std::vector<std::string>& out) {
    const uint8_t* count = cursor.Take(countTag, kUninstallCountSize);
    if (!count) return false;
    for (uint32_t i = LoadU32LE(count); i > 0; --i) {
        const uint8_t* text = cursor.Take(textTag, kUninstallTextSize);
        if (!text) return false;
        out.push_back(Text(text));
    }
    return true;
}

}  // namespace

void WriteUninstallRecords(EngineFileSaver& saver, const PointerArray& installedFiles,
                           const PointerArray& createdFolders, const char* projectName,
                           bool skipTag) {
    SaveCount(saver, "UNFC", installedFiles.Count());
    for (int32_t i = 0; i < installedFiles.Count(); ++i)
        SaveText(saver, "UNFN", static_cast<const char*>(installedFiles.Get(i)));
    // Last created first, so that every folder comes before its parents.
    SaveCount(saver, "UNDC", createdFolders.Count());
    for (int32_t i = createdFolders.Count() - 1; i >= 0; --i)
        SaveText(saver, "UNDN", static_cast<const char*>(createdFolders.Get(i)));
    SaveText(saver, "UNPN", projectName);
    if (skipTag) saver.SaveTag("UNSK");
}

std::optional<UninstallLog> ParseUninstallLog(std::span<const uint8_t> bytes) {
    RecordCursor cursor(bytes);
    UninstallLog log;
    if (!TakeTexts(cursor, "UNFC", "UNFN", log.files)) return std::nullopt;
    if (!TakeTexts(cursor, "UNDC", "UNDN", log.folders)) return std::nullopt;
    const uint8_t* name = cursor.Take("UNPN", kUninstallTextSize);
    if (!name) return std::nullopt;
    log.projectName = Text(name);
    log.skipTag = cursor.TakeTagAlone("UNSK");
    if (!cursor.AtEnd()) return std::nullopt;
    return log;
}
