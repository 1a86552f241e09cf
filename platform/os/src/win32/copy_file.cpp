#include "os/copy_file.h"

#include <cerrno>
#include <vector>

#include "os/folder_tree.h"
#include "os/path_links.h"
#include "os/read_only_file.h"

namespace os {

int CopyFileBelow(const std::string& source, std::string_view base, std::string_view relative) {
    ReadOnlyFile in;
    if (!in.Open(source)) return ENOENT;
    std::vector<uint8_t> bytes(in.Size());
    if (!bytes.empty() && !in.ReadExact(bytes.data(), bytes.size())) return EIO;
    in.Close();
    FolderTree tree;
    if (!tree.Open(base)) return ENOENT;
    errno = 0;
    // No folder is made: the copy goes only where the folders are already.
    const WriteStatus status = tree.WriteFile(relative, bytes, false, {}, 0);
    const int error = errno;
    switch (status) {
    case WriteStatus::Written: return 0;
    case WriteStatus::Refused: return error == ENOTDIR && !PathCrossesLink(base, relative) ? ENOTDIR : EACCES;
    case WriteStatus::NoSpace: return ENOSPC;
    case WriteStatus::NameTooLong: return ENAMETOOLONG;
    default: return error != 0 ? error : EIO;
    }
}

}  // namespace os
