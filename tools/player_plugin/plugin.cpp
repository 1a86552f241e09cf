// Stand-in for the player's visualisation plug-in "WinAmp.dll". The installer copies it into
// the player's folder as "Plugins\vis_<ProjectName>.dll" (or "Wacs\<ProjectName>.wac"); the
// player loads it and calls its one entry point, which finds "winamp.cfg" (beside the library,
// or in the install folder the project's viewer key names), and plays the project it names
// through the installed viewer for the frames asked for, headless, waiting for the end.
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "project_config.h"

extern char** environ;

#define VIS_EXPORT extern "C" __attribute__((visibility("default")))

// Plays `frames` frames of the installed project (0: as many as its start file asks for).
// The viewer's exit code (0 after a run); -1 when no installed project is found or the
// viewer cannot be started.
VIS_EXPORT int VantrelVisPlay(unsigned frames);

VIS_EXPORT int VantrelVisPlay(unsigned frames) {
    Dl_info self{};
    if (!::dladdr(reinterpret_cast<void*>(&VantrelVisPlay), &self) || !self.dli_fname) return -1;
    const std::string path = self.dli_fname;
    const std::string fileName = path.substr(path.find_last_of('/') + 1);
    const std::optional<std::string> configPath =
        player::FindProjectConfig(path, "winamp.cfg", "WinAmp.dll", "vis_");
    const std::optional<player::ProjectConfig> config =
        configPath ? player::LoadProjectConfig(*configPath) : std::nullopt;
    if (!config) {
        std::fprintf(stderr, "%s: no installed project found (winamp.cfg %s)\n", fileName.c_str(),
                     configPath ? ("damaged: " + *configPath).c_str() : "missing");
        return -1;
    }

    std::vector<std::string> extra{"--quiet"};
    if (frames > 0) extra.insert(extra.end(), {"--frames", std::to_string(frames)});
    const std::vector<std::string> command = player::ViewerCommand(config->startFile, extra);
    std::vector<char*> args;
    for (const std::string& a : command) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    pid_t pid = 0;
    if (const int error = ::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ)) {
        std::fprintf(stderr, "%s: can't start the viewer %s: %s\n", fileName.c_str(), args[0], std::strerror(error));
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
