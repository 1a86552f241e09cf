#include "os/file_exists.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "os/native_path.h"

namespace os {

bool FileExists(std::string_view systemPath) {
    struct stat st;
    return !systemPath.empty() && ::lstat(NativePath(systemPath).c_str(), &st) == 0;
}

bool DeleteFile(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    const std::string path = NativePath(systemPath);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(path.c_str()) == 0;
}

}  // namespace os
