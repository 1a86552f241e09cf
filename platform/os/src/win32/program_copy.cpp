// The running program's file cannot be deleted on Windows, so a program that removes its own
// folder hands the work to a copy of itself. The copy lives in a fresh folder of the user's
// temporary folder that only the user can open, so nobody can put another program under its
// name between the copying and the start. It learns from its environment which process it
// stands in for (a handle it inherits) and that process's file; the variable is taken out
// of the environment at once, so nothing the copy starts sees it.
#include "os/program_copy.h"

#include <cstdlib>
#include <optional>

#include "os/native_path.h"
#include "os/program_instance.h"
#include "os/temp_folder.h"
#include "private_access.h"
#include "win32_util.h"

namespace os {
namespace {

constexpr wchar_t kCopyVariable[] = L"VANTREL_COPY_OF";
constexpr char kCopyFolderPrefix[] = "VtlCopy";
constexpr DWORD kOriginalEndWaitMs = 60000;

struct CopyOf {
    HANDLE original;   // the original process, inherited; null when the value named none
    std::string path;  // the original's file
};

std::optional<CopyOf> ReadCopyOf() {
    const std::string value = win32::Environment("VANTREL_COPY_OF");
    ::SetEnvironmentVariableW(kCopyVariable, nullptr);
    const size_t blank = value.find(' ');
    if (blank == std::string::npos || blank + 1 == value.size()) return std::nullopt;
    HANDLE original = reinterpret_cast<HANDLE>(std::strtoull(value.c_str(), nullptr, 10));
    // Only a process handle is waited for: a value made up by hand may name anything.
    if (::GetProcessId(original) == 0) original = nullptr;
    return CopyOf{original, value.substr(blank + 1)};
}

const std::optional<CopyOf>& ThisCopy() {
    static const std::optional<CopyOf> copy = ReadCopyOf();
    return copy;
}

// The arguments of this process's command line, after the program's own name (which is
// quoted, or ends at the first blank).
std::wstring Arguments() {
    const std::wstring line = ::GetCommandLineW();
    size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        at = line.find(L'"', 1);
        at = at == std::wstring::npos ? line.size() : at + 1;
    } else {
        at = line.find_first_of(L" \t");
        if (at == std::wstring::npos) at = line.size();
    }
    return line.substr(at);
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

Handoff HandOffToPrivateCopy() {
    if (const std::optional<CopyOf>& copy = ThisCopy()) {
        // The original's file can go only once it no longer runs.
        if (copy->original) {
            ::WaitForSingleObject(copy->original, kOriginalEndWaitMs);
            ::CloseHandle(copy->original);
        }
        return Handoff::WorkHere;
    }
    const std::string self = GetProgramPath();
    const std::optional<std::string> temp = GetTempFolder();
    if (self.empty() || !temp) return Handoff::WorkHere;
    const std::optional<std::string> folder = CreateFreshPrivateFolder(*temp + kCopyFolderPrefix);
    if (!folder) return Handoff::WorkHere;
    const std::wstring wideFolder = win32::Widen(*folder);
    const std::wstring copyPath = wideFolder + L"\\" + win32::Widen(self.substr(self.find_last_of('\\') + 1));
    const auto giveUp = [&] {
        ::DeleteFileW(copyPath.c_str());
        ::RemoveDirectoryW(wideFolder.c_str());
        return Handoff::WorkHere;
    };
    if (!::CopyFileW(win32::Widen(self).c_str(), copyPath.c_str(), TRUE)) return giveUp();

    HANDLE process = ::GetCurrentProcess();
    HANDLE inheritable = nullptr;
    if (!::DuplicateHandle(process, process, process, &inheritable, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                           TRUE, 0))
        return giveUp();
    win32::Handle ownHandle(inheritable);
    const std::wstring value = std::to_wstring(reinterpret_cast<uintptr_t>(inheritable)) + L" " + win32::Widen(self);
    ::SetEnvironmentVariableW(kCopyVariable, value.c_str());
    std::wstring line = L"\"" + copyPath + L"\"" + Arguments();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // The standard handles go along, so the copy reports where the original would have. Its
    // current folder is its own: a process's current folder cannot be removed.
    const BOOL ok = ::CreateProcessW(copyPath.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                     wideFolder.c_str(), &startup, &started);
    ::SetEnvironmentVariableW(kCopyVariable, nullptr);
    if (!ok) return giveUp();
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return Handoff::HandedToCopy;
}

std::string ProgramWorkedFor() {
    const std::optional<CopyOf>& copy = ThisCopy();
    return copy ? copy->path : GetProgramPath();
}

void RemovePrivateCopyLater() {
    if (!ThisCopy()) return;
    const std::string self = GetProgramPath();
    const std::string folder = FolderOf(self);
    const std::optional<std::string> temp = GetTempFolder();
    // Only a copy where the original puts it: a file of its own in a private folder of the
    // temporary folder (a copy variable set by hand must not take a program elsewhere away).
    const std::string name = folder.substr(folder.find_last_of('\\') + 1);
    if (!temp || !EqualsIgnoreCase(FolderOf(folder) + "\\", *temp) || name.rfind(kCopyFolderPrefix, 0) != 0 ||
        !win32::IsOwnerOnlyFolder(win32::Widen(folder)))
        return;
    // The file first: the folder can go only once it is empty.
    ::MoveFileExW(win32::Widen(self).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    ::MoveFileExW(win32::Widen(folder).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace os
