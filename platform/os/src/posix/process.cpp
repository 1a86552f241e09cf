#include "os/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "os/file_exists.h"
#include "os/native_path.h"

extern char** environ;

namespace os {

bool Process::Start(std::string_view commandLine) {
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) {
        lastError_ = ENOENT;
        return false;
    }
    std::string program = words[0];
    const bool bare = program.find_first_of("\\/") == std::string::npos;
    // Like the Windows search, the current folder comes before the search path; a name
    // with a folder is a path (either separator).
    if (!bare || FileExists(program)) {
        program = NativePath(program);
        if (program.find('/') == std::string::npos) program = "./" + program;
    }

    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv[0] = program.data();
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        lastError_ = error;
        return false;
    }
    pid_ = pid;
    ended_ = false;
    exitCode_ = kStillActive;
    return true;
}

uint32_t Process::GetExitCode() {
    if (pid_ < 0) return 0;  // nothing was started, so nothing runs
    if (ended_) return exitCode_;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        ended_ = true;
        if (WIFEXITED(status)) exitCode_ = uint32_t(WEXITSTATUS(status));
        else if (WIFSIGNALED(status)) exitCode_ = 128 + uint32_t(WTERMSIG(status));
    } else if (done < 0 && errno != EINTR) {
        // Not our child any more (reaped elsewhere): it has ended, with no code to tell.
        ended_ = true;
        exitCode_ = 0;
    }
    return exitCode_;
}

uint32_t Process::WaitPolling(int intervalMs) {
    while (GetExitCode() == kStillActive) ::usleep(useconds_t(intervalMs) * 1000);
    return exitCode_;
}

}  // namespace os
