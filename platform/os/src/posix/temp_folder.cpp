#include "os/temp_folder.h"

#include <sys/stat.h>

#include <unistd.h>

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

std::string SystemTempFolder() { return "/tmp/"; }

std::optional<std::string> CreateFreshPrivateFolder(const std::string& prefix) {
    std::string pattern = prefix + "XXXXXX";
    if (!::mkdtemp(pattern.data())) return std::nullopt;  // mode 0700
    return pattern;
}

}  // namespace os
