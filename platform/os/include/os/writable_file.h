// A file opened for writing the way the installer writes what it extracts: created, or
// emptied when it exists, and never reached through a symbolic link.
#pragma once

#include <cstddef>
#include <string>

namespace os {

class WritableFile {
public:
    WritableFile() = default;
    ~WritableFile();
    WritableFile(const WritableFile&) = delete;
    WritableFile& operator=(const WritableFile&) = delete;

    // Creates or truncates the file at a system path (see NativePath). False when it cannot
    // be created, when the path names a folder, or when its last component is a symbolic
    // link (the link is left alone, nothing is written through it).
    bool CreateAlways(const std::string& path);
    // Lets whoever may read the file also run it: Windows runs a program by its name's
    // ending, here the file needs the permission.
    bool MakeExecutable();
    // Writes all of `size` bytes unless the disk refuses; gives the number written.
    size_t Write(const void* data, size_t size);
    // False when the data could not be flushed to the file.
    bool Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace os
