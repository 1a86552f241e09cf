#include "os/shared_library.h"

#include "os/native_path.h"
#include "win32_util.h"

namespace os {
namespace {
thread_local std::string g_lastError;

}  // namespace

namespace win32 {
std::string ErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n ? win32::Narrow(std::wstring_view(text, n)) : std::string();
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return "error " + std::to_string(code) + (out.empty() ? "" : ": " + out);
}
}  // namespace win32

LibraryHandle LoadLibrary(const std::string& systemPath) {
    std::wstring path = win32::WidePath(systemPath);
    // A bare name would make the loader search its own paths; we always mean a file.
    if (path.find(L'\\') == std::wstring::npos) path = L".\\" + path;
    // A channel library's own folder is searched for the libraries it links (its siblings),
    // before the program's; Corvane.dll is already loaded and found by name.
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) g_lastError = win32::ErrorText(::GetLastError());
    return module;
}

void* GetProcAddress(LibraryHandle library, const char* name) {
    if (!library) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeLibrary(LibraryHandle library) {
    if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

std::string LastLibraryError() { return g_lastError; }

void SetLastLibraryError(std::string why) { g_lastError = std::move(why); }

}  // namespace os
