#include "os/file_size.h"

#include <string>

#include "os/native_path.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace os {

std::optional<uint32_t> FileSizeLow32(const char* systemPath) {
    if (!systemPath || !*systemPath) return std::nullopt;
    const std::string path = NativePath(systemPath);
#if defined(_WIN32)
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    DWORD low = ::GetFileSize(file, nullptr);
    ::CloseHandle(file);
    return uint32_t(low);
#else
    // POSIX has no share modes; opening for reading is the whole test.
    // O_NONBLOCK: a FIFO would otherwise hold the open until someone writes to it.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) return std::nullopt;
    return uint32_t(uint64_t(st.st_size) & 0xFFFFFFFFu);
#endif
}

}  // namespace os
