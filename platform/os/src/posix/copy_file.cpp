#include "os/copy_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "os/folder_tree.h"
#include "os/native_path.h"
#include "os/path_links.h"
#include "os/read_only_file.h"

namespace os {

int CopyFileBelow(const std::string& source, std::string_view base, std::string_view relative) {
    errno = 0;
    ReadOnlyFile in;
    if (!in.Open(source)) return errno != 0 ? errno : EINVAL;
    std::vector<uint8_t> bytes(in.Size());
    if (!bytes.empty() && !in.ReadExact(bytes.data(), bytes.size())) return EIO;
    in.Close();
    struct stat st {};
    const bool executable = ::stat(NativePath(source).c_str(), &st) == 0 && (st.st_mode & 0111);

    FolderTree tree;
    errno = 0;
    if (!tree.Open(base)) return errno != 0 ? errno : ENOENT;
    errno = 0;
    // No folder is made: the copy goes only where the folders are already.
    const WriteStatus status = tree.WriteFile(relative, bytes, executable, {}, 0);
    const int error = errno;
    switch (status) {
    case WriteStatus::Written: return 0;
    // The walk cannot tell a link from a file in the way (both are "not a folder" to it);
    // what stands there now tells them apart for the error number.
    case WriteStatus::Refused: return error == ENOTDIR && !PathCrossesLink(base, relative) ? ENOTDIR : EACCES;
    case WriteStatus::NoSpace: return ENOSPC;
    case WriteStatus::NameTooLong: return ENAMETOOLONG;
    default: return error != 0 ? error : EIO;
    }
}

}  // namespace os
