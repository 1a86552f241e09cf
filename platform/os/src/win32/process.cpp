#include "os/process.h"

#include <cerrno>
#include <map>
#include <mutex>

#include "win32_util.h"

namespace os {
namespace {

// The process handle of each started process, by id: the header keeps the id only.
std::mutex g_mutex;
std::map<pid_t, HANDLE> g_handles;

HANDLE HandleFor(pid_t id) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_handles.find(id);
    return it == g_handles.end() ? nullptr : it->second;
}

void Forget(pid_t id) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_handles.find(id);
    if (it == g_handles.end()) return;
    ::CloseHandle(it->second);
    g_handles.erase(it);
}

}  // namespace

bool Process::Start(std::string_view commandLine) {
    if (SplitCommandLine(commandLine).empty()) {
        lastError_ = ENOENT;
        return false;
    }
    // The system searches the program's folder, the current folder, the system folders and
    // then the search path, as the installer expects of a program named without a folder.
    std::wstring line = win32::Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        const DWORD error = ::GetLastError();
        lastError_ = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
                     : error == ERROR_ACCESS_DENIED                                   ? EACCES
                                                                                      : int(error);
        return false;
    }
    ::CloseHandle(info.hThread);
    pid_ = pid_t(info.dwProcessId);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_handles[pid_] = info.hProcess;
    }
    ended_ = false;
    exitCode_ = kStillActive;
    return true;
}

uint32_t Process::GetExitCode() {
    if (pid_ < 0) return 0;  // nothing was started, so nothing runs
    if (ended_) return exitCode_;
    HANDLE process = HandleFor(pid_);
    DWORD code = 0;
    if (!process || !::GetExitCodeProcess(process, &code)) {
        ended_ = true;
        exitCode_ = 0;
        Forget(pid_);
        return exitCode_;
    }
    // A process that really ended with STILL_ACTIVE is told apart by its handle being set.
    if (code != STILL_ACTIVE || ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        ended_ = true;
        exitCode_ = code;
        Forget(pid_);
    }
    return exitCode_;
}

uint32_t Process::WaitPolling(int intervalMs) {
    while (GetExitCode() == kStillActive) ::Sleep(DWORD(intervalMs));
    return exitCode_;
}

}  // namespace os
