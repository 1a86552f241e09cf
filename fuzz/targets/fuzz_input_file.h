// The fuzz input as a file for code that reads files by path: an anonymous memory file,
// private to this process, named through /proc/self/fd. Nothing lands in a shared folder.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

class FuzzInputFile {
public:
    FuzzInputFile() : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {}
    ~FuzzInputFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    // Replaces the content; false when the file could not be written.
    bool Write(const uint8_t* data, size_t size) {
        if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return false;
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, off_t(done));
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};
