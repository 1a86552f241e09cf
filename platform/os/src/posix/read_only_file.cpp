#include "os/read_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/native_path.h"

namespace os {

ReadOnlyFile::~ReadOnlyFile() { Close(); }

bool ReadOnlyFile::Open(const std::string& path) {
    Close();
    if (path.empty()) return false;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    // Only a regular file is taken, and it reads as usual once that is known.
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void ReadOnlyFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

uint64_t ReadOnlyFile::Size() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return uint64_t(st.st_size);
}

bool ReadOnlyFile::Seek(uint64_t offset) {
    if (fd_ < 0 || offset > uint64_t(INT64_MAX)) return false;
    return ::lseek(fd_, off_t(offset), SEEK_SET) == off_t(offset);
}

size_t ReadOnlyFile::Read(void* buffer, size_t size) {
    if (fd_ < 0) return 0;
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd_, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

}  // namespace os
