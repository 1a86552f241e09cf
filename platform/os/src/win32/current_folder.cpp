#include "os/current_folder.h"

#include "win32_util.h"

namespace os {

bool SetCurrentFolder(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return ::SetCurrentDirectoryW(win32::WidePath(systemPath).c_str()) != 0;
}

std::string GetCurrentFolder() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return {};
    std::wstring buffer(n, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(n, buffer.data());
    buffer.resize(got);
    return win32::Narrow(buffer);
}

}  // namespace os
