#include "plugin_frame/file_saver.h"

#include <cstdio>

#include "os/folder_tree.h"
#include "os/native_path.h"
#include "plugin_frame/guid.h"

KelFileSaver::~KelFileSaver() = default;

bool KelFileSaver::OpenFile(const char* path, int writeHeader, const GUID* headerType) {
    if (!path) return false;
    std::string native = os::NativePath(path);
    // A path that cannot be written fails at open, as a Windows saver's would; but the
    // target is never opened for writing here (a hard link at the name would be emptied, a
    // FIFO would hang): CloseFile puts the whole file in place through a rename. A link,
    // FIFO or device at the name is refused.
    if (!os::CanReplaceFile(native)) return false;
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
    // Through a temporary name and a rename: a link put at the name meanwhile is replaced,
    // never written through.
    const auto& bytes = writer_.Bytes();
    return os::ReplaceFile(path_, std::span<const uint8_t>(bytes.data(), bytes.size())) ==
           os::WriteStatus::Written;
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
