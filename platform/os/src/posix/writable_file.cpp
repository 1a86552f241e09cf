#include "os/writable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/native_path.h"

namespace os {

WritableFile::~WritableFile() { Close(); }

bool WritableFile::CreateAlways(const std::string& path) {
    Close();
    if (path.empty()) return false;
    // O_NOFOLLOW: a link planted where the file goes must not redirect the write.
    int fd = ::open(NativePath(path).c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    fd_ = fd;
    return true;
}

bool WritableFile::MakeExecutable() {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
    const mode_t mode = st.st_mode & 07777;
    return ::fchmod(fd_, mode | ((mode & 0444) >> 2)) == 0;
}

size_t WritableFile::Write(const void* data, size_t size) {
    if (fd_ < 0) return 0;
    auto* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

bool WritableFile::Close() {
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

}  // namespace os
