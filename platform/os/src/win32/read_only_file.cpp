#include "os/read_only_file.h"

#include "win32_util.h"

#include <algorithm>

namespace os {

ReadOnlyFile::~ReadOnlyFile() { Close(); }

bool ReadOnlyFile::Open(const std::string& path) {
    Close();
    if (path.empty()) return false;
    win32::Handle file(::CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    fd_ = win32::DescriptorFor(file.Release());
    return fd_ >= 0;
}

void ReadOnlyFile::Close() {
    win32::CloseDescriptor(fd_);
    fd_ = -1;
}

uint64_t ReadOnlyFile::Size() const {
    LARGE_INTEGER size;
    if (fd_ < 0 || !::GetFileSizeEx(win32::HandleOf(fd_), &size)) return 0;
    return uint64_t(size.QuadPart);
}

bool ReadOnlyFile::Seek(uint64_t offset) {
    if (fd_ < 0 || offset > uint64_t(INT64_MAX)) return false;
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    return ::SetFilePointerEx(win32::HandleOf(fd_), to, nullptr, FILE_BEGIN) != 0;
}

size_t ReadOnlyFile::Read(void* buffer, size_t size) {
    if (fd_ < 0) return 0;
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const DWORD ask = DWORD(std::min<size_t>(size - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(win32::HandleOf(fd_), p + done, ask, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

}  // namespace os
