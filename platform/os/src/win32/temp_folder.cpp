#include "os/temp_folder.h"

#include <atomic>

#include "private_access.h"
#include "win32_util.h"

namespace os {

std::optional<std::string> GetTempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) return std::nullopt;
    const DWORD attributes = ::GetFileAttributesW(buffer);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return win32::Narrow(std::wstring_view(buffer, n));  // ends with a backslash
}

std::string SystemTempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const UINT n = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return "C:\\Windows\\Temp\\";
    return win32::Narrow(std::wstring_view(buffer, n)) + "\\Temp\\";
}

std::optional<std::string> CreateFreshPrivateFolder(const std::string& prefix) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<uint32_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t seed = (uint64_t(::GetCurrentProcessId()) << 32) ^ ::GetTickCount64() ^
                        (uint64_t(counter++) * 0x9E3779B97F4A7C15ull);
        std::string name = prefix;
        for (int i = 0; i < 6; ++i, seed /= 36) name += kLetters[seed % 36];
        if (win32::CreateOwnerOnlyFolder(win32::WidePath(name))) return name;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace os
