// Starting a program the way the installer starts the viewer: from a Windows-style command
// line, found in the current folder before the search path, and then either left alone or
// polled for its exit code once in a while.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// The exit code a process reports while it still runs (Windows' STILL_ACTIVE). Programs
// here end with codes 0 to 255, so it never stands for a real exit.
inline constexpr uint32_t kStillActive = 259;

// Splits a command line the Windows way: blanks separate, double quotes group (and are
// dropped), a backslash is an ordinary character.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

class Process {
public:
    Process() = default;
    // Leaves a running process alone: it goes on after us.
    ~Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the command line's first word with the rest as arguments. A program named
    // without a folder is looked for in the current folder first (any case), then on PATH.
    // False when it cannot be started; LastError() then gives the system's error number.
    bool Start(std::string_view commandLine);
    // kStillActive while the process runs; its exit code after (128 + signal when a signal
    // ended it); 0 when nothing was started. Asks without waiting.
    uint32_t GetExitCode();
    // Waits until the process ends, polling every `intervalMs` milliseconds.
    uint32_t WaitPolling(int intervalMs);

    int LastError() const { return lastError_; }
    pid_t Id() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    uint32_t exitCode_ = kStillActive;
    int lastError_ = 0;
};

}  // namespace os
