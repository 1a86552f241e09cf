#include "os/file_size.h"

#include "win32_util.h"

namespace os {

std::optional<uint32_t> FileSizeLow32(const char* systemPath) {
    if (!systemPath || !*systemPath) return std::nullopt;
    // Opened without sharing, as a plug-in opens it: a file held open elsewhere has no size.
    win32::Handle file(::CreateFileW(win32::WidePath(systemPath).c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return uint32_t(info.nFileSizeLow);
}

}  // namespace os
