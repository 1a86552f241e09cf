#include "os/folder.h"

#include "private_access.h"
#include "win32_util.h"

namespace os {

bool CreateFolder(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return ::CreateDirectoryW(win32::WidePath(systemPath).c_str(), nullptr) != 0;
}

bool CreatePrivateFolder(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return win32::CreateOwnerOnlyFolder(win32::WidePath(systemPath));
}

bool RemoveFolder(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return ::RemoveDirectoryW(win32::WidePath(systemPath).c_str()) != 0;
}

bool IsPrivateFolder(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return win32::IsOwnerOnlyFolder(win32::WidePath(systemPath));
}

}  // namespace os
