// What the Win32 implementations share: UTF-8 system paths to wide native paths and back,
// a handle closed on every way out, and CRT descriptors standing for Win32 handles (the
// headers keep an int where a descriptor lives).
#pragma once

#include <windows.h>

// The platform layer's own functions carry these names; the Windows headers' A/W macros
// would rename them.
#undef DeleteFile
#undef LoadLibrary
#undef MessageBox
#undef GetCommandLine
#undef CopyFile
#undef CreateFolder
#undef ReplaceFile

#include <string>
#include <string_view>

namespace os::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The wide native form of a system path (NativePath, then UTF-16).
std::wstring WidePath(std::string_view systemPath);

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (Valid()) ::CloseHandle(h_);
        h_ = h;
    }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE Get() const { return h_; }
    HANDLE Release() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_;
};

// A CRT descriptor owning `h` (it closes the handle when closed); -1 when none could be made.
int DescriptorFor(HANDLE h);
// The handle a descriptor owns.
HANDLE HandleOf(int fd);
void CloseDescriptor(int fd);

// A system error code as "error <n>: <the system's words>".
std::string ErrorText(DWORD code);

// The path the system holds for an open handle, without the "\\?\" prefix; empty when
// it cannot say.
std::wstring FinalPath(HANDLE h);

// True when the entry at the path is a reparse point (junction, symbolic link, ...); the
// entry itself is looked at, never what it points to.
bool IsReparsePoint(const std::wstring& path);

// The value of an environment variable as UTF-8; empty when unset.
std::string Environment(const char* name);

}  // namespace os::win32
