#include "os/copy_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "os/folder_tree.h"
#include "os/native_path.h"
#include "os/read_only_file.h"

namespace os {

int CopyFile(const std::string& source, const std::string& target) {
    errno = 0;
    ReadOnlyFile in;
    if (!in.Open(source)) return errno != 0 ? errno : EINVAL;
    std::vector<uint8_t> bytes(in.Size());
    if (!bytes.empty() && !in.ReadExact(bytes.data(), bytes.size())) return EIO;
    in.Close();

    struct stat st {};
    // Replacing a folder fails without an error number of its own; give Windows' reason.
    if (::lstat(NativePath(target).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return EISDIR;
    const bool executable = ::stat(NativePath(source).c_str(), &st) == 0 && (st.st_mode & 0111);
    errno = 0;
    switch (ReplaceFile(target, bytes, executable)) {
    case WriteStatus::Written: return 0;
    case WriteStatus::Refused: return ELOOP;  // a link where the file goes
    case WriteStatus::NoSpace: return ENOSPC;
    case WriteStatus::NameTooLong: return ENAMETOOLONG;
    default: return errno != 0 ? errno : EIO;
    }
}

}  // namespace os
