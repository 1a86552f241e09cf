#include "os/writable_file.h"

#include "win32_util.h"

#include <algorithm>

namespace os {

WritableFile::~WritableFile() { Close(); }

bool WritableFile::CreateAlways(const std::string& path) {
    Close();
    if (path.empty()) return false;
    const std::wstring wide = win32::WidePath(path);
    // A junction or link planted where the file goes must not redirect the write.
    if (win32::IsReparsePoint(wide)) return false;
    win32::Handle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
    if (!file.Valid()) return false;
    fd_ = win32::DescriptorFor(file.Release());
    return fd_ >= 0;
}

// Windows runs a program by its name's ending: nothing to add.
bool WritableFile::MakeExecutable() { return fd_ >= 0; }

size_t WritableFile::Write(const void* data, size_t size) {
    if (fd_ < 0) return 0;
    auto* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const DWORD ask = DWORD(std::min<size_t>(size - done, 1u << 30));
        DWORD wrote = 0;
        if (!::WriteFile(win32::HandleOf(fd_), p + done, ask, &wrote, nullptr) || wrote == 0) break;
        done += wrote;
    }
    return done;
}

bool WritableFile::Close() {
    if (fd_ < 0) return true;
    const bool ok = ::FlushFileBuffers(win32::HandleOf(fd_)) != 0;
    win32::CloseDescriptor(fd_);
    fd_ = -1;
    return ok;
}

}  // namespace os
