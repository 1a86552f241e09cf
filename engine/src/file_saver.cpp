#include "plugin_frame/file_saver.h"

#include <cstdio>

#include "os/native_path.h"
#include "plugin_frame/guid.h"

KelFileSaver::~KelFileSaver() = default;

bool KelFileSaver::OpenFile(const char* path, int writeHeader, const GUID* headerType) {
    if (!path) return false;
    std::string native = os::NativePath(path);
    // Create the file now so that a path that cannot be written fails at open, as a
    // Windows saver would.
    std::FILE* f = std::fopen(native.c_str(), "wb");
    if (!f) return false;
    std::fclose(f);
    path_ = native;
    open_ = true;
    writer_ = tagfile::RecordWriter();
    if (writeHeader) {
        tagfile::Guid16 guid{};
        if (headerType) std::memcpy(guid.data(), headerType, 16);
        writer_.WriteFileHeader(guid);
    }
    return true;
}

bool KelFileSaver::CloseFile() {
    if (!open_) return false;
    open_ = false;
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) return false;
    const auto& bytes = writer_.Bytes();
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

void KelFileSaver::SaveTag(const char* tag) {
    char four[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && tag && tag[i]; ++i) four[i] = tag[i];
    writer_.WriteData(four, 4);
}

void KelFileSaver::SaveBlockSize(uint32_t bytes) { writer_.WriteU32(bytes); }

void KelFileSaver::SaveDataToFile(const void* data, uint32_t bytes) {
    if (data) writer_.WriteData(data, bytes);
}
