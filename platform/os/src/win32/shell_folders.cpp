// The shell's own folders: the Programs folder of the Start menu and the system folder.
// The player folder is where a media player keeps its plug-ins; the installer asks the
// player's registration first, so this is only the last resort beside Program Files.
#include "os/shell_folders.h"

#include <shlobj.h>

#include "win32_util.h"

namespace os {
namespace {

std::optional<std::string> KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path);
    std::optional<std::string> out;
    if (SUCCEEDED(result) && path) out = win32::Narrow(path);
    ::CoTaskMemFree(path);
    return out;
}

}  // namespace

std::optional<std::string> GetProgramsFolder() { return KnownFolder(FOLDERID_Programs); }

std::optional<std::string> GetSystemFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return std::nullopt;
    return win32::Narrow(std::wstring_view(buffer, n));
}

std::optional<std::string> GetPlayerFolder() {
    const std::optional<std::string> programs = KnownFolder(FOLDERID_ProgramFiles);
    if (!programs) return std::nullopt;
    return *programs + "\\Vantrel\\Player";
}

}  // namespace os
