#include "os/current_folder.h"

#include <unistd.h>

#include <climits>

#include "os/native_path.h"

namespace os {

bool SetCurrentFolder(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return ::chdir(NativePath(systemPath).c_str()) == 0;
}

std::string GetCurrentFolder() {
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer)) return {};
    return buffer;
}

}  // namespace os
