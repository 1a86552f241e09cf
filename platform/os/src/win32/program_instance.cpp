#include "os/program_instance.h"

#include "win32_util.h"

namespace os {

void* GetProgramInstance() { return ::GetModuleHandleW(nullptr); }

std::string GetProgramPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return win32::Narrow(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace os
