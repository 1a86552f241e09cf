#include "os/folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "os/native_path.h"

namespace os {
namespace {

bool MakeFolder(std::string_view systemPath, mode_t mode) {
    if (systemPath.empty()) return false;
    return ::mkdir(NativePath(systemPath).c_str(), mode) == 0;
}

}  // namespace

bool CreateFolder(std::string_view systemPath) { return MakeFolder(systemPath, 0777); }

bool CreatePrivateFolder(std::string_view systemPath) {
    if (!MakeFolder(systemPath, 0700)) return false;
    // The umask can only take bits away, but say the mode outright all the same.
    ::chmod(NativePath(systemPath).c_str(), 0700);
    return true;
}

bool RemoveFolder(std::string_view systemPath) {
    if (systemPath.empty()) return false;
    return ::rmdir(NativePath(systemPath).c_str()) == 0;
}

bool IsPrivateFolder(std::string_view systemPath) {
    struct stat st;
    if (systemPath.empty() || ::lstat(NativePath(systemPath).c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

}  // namespace os
