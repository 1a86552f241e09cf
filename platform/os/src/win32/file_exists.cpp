#include "os/file_exists.h"

#include "win32_util.h"

namespace os {

bool FileExists(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return ::GetFileAttributesW(win32::WidePath(systemPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteFile(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return ::DeleteFileW(win32::WidePath(systemPath).c_str()) != 0;
}

}  // namespace os
