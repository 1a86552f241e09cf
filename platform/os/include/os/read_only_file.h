// An existing file opened for reading, other readers allowed: what the installer holds on
// its own program file for its whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace os {

class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // `path` is a system path (see NativePath). False when the file does not exist or is
    // not a regular file.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    uint64_t Size() const;
    bool Seek(uint64_t offset);
    // Reads up to `size` bytes at the current position; gives the number read (short at the
    // end of the file, 0 on failure).
    size_t Read(void* buffer, size_t size);
    // Reads exactly `size` bytes or reports failure.
    bool ReadExact(void* buffer, size_t size) { return Read(buffer, size) == size; }

private:
    int fd_ = -1;
};

}  // namespace os
