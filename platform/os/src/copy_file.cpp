#include "os/copy_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "os/native_path.h"
#include "os/read_only_file.h"
#include "os/writable_file.h"

namespace os {
namespace {

// The error number of the call that just failed; some failures (a folder where a file was
// expected, a short write) leave none of their own.
int LastErrorOr(int fallback) { return errno != 0 ? errno : fallback; }

}  // namespace

int CopyFile(const std::string& source, const std::string& target) {
    errno = 0;
    ReadOnlyFile in;
    if (!in.Open(source)) return LastErrorOr(EINVAL);
    std::vector<char> bytes(in.Size());
    if (!bytes.empty() && !in.ReadExact(bytes.data(), bytes.size())) return LastErrorOr(EIO);
    in.Close();

    errno = 0;
    WritableFile out;
    if (!out.CreateAlways(target)) return LastErrorOr(EINVAL);
    struct stat st {};
    if (::stat(NativePath(source).c_str(), &st) == 0 && (st.st_mode & 0111)) out.MakeExecutable();
    errno = 0;
    if (out.Write(bytes.data(), bytes.size()) != bytes.size()) return LastErrorOr(ENOSPC);
    if (!out.Close()) return LastErrorOr(EIO);
    return 0;
}

}  // namespace os
