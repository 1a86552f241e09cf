#include "os/temp_folder.h"

#include <sys/stat.h>

#include <cstdlib>

namespace os {
namespace {

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::optional<std::string> GetTempFolder() {
    std::string folder;
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp && IsFolder(tmp))
        folder = tmp;
    else if (IsFolder("/tmp"))
        folder = "/tmp";
    else
        return std::nullopt;
    if (folder.back() != '/') folder.push_back('/');
    return folder;
}

}  // namespace os
