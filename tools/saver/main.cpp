// Stand-in for the screen-saver program "VtlSvr.scr". The installer copies it into the
// system folder as "<ProjectName>.scr"; the system starts it with the usual switches:
//
//   <name>.scr /s [viewer options]   run: plays the project through the installed viewer
//   <name>.scr /p <window>           preview: a small run when "SCSP" is set, else nothing
//   <name>.scr /c, or no switch      settings: there are none to change
//
// It finds "screensaver.cfg" beside itself (the copy in the install folder) or in the
// install folder the project's viewer key names, reads the start file from it and replaces
// itself with the installed viewer on that start file, which runs the frames the start file
// asks for headless and exits. Exit codes: the viewer's, or 1 when no project is found.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "project_config.h"

namespace {

// "/s", "-S", "/p:1234" -> 's', 'p'; 0 for anything else.
char SwitchOf(const char* arg) {
    if ((arg[0] != '/' && arg[0] != '-') || !arg[1] || (arg[2] && arg[2] != ':')) return 0;
    return char(std::tolower(static_cast<unsigned char>(arg[1])));
}

std::string SelfPath(const char* argv0) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, size_t(n)) : std::string(argv0);
}

}  // namespace

int main(int argc, char** argv) {
    const char mode = argc > 1 ? SwitchOf(argv[1]) : 'c';
    if (mode != 's' && mode != 'p') {
        std::printf("This screen saver has no settings to change.\n");
        return 0;
    }
    const std::string self = SelfPath(argv[0]);
    const std::string fileName = self.substr(self.find_last_of('/') + 1);
    const std::optional<std::string> configPath =
        player::FindProjectConfig(self, "screensaver.cfg", "VtlSvr.scr", "");
    const std::optional<player::ProjectConfig> config =
        configPath ? player::LoadProjectConfig(*configPath) : std::nullopt;
    if (!config) {
        std::fprintf(stderr, "%s: no installed project found (screensaver.cfg %s)\n", fileName.c_str(),
                     configPath ? ("damaged: " + *configPath).c_str() : "missing");
        return 1;
    }

    std::vector<std::string> extra;
    if (mode == 'p') {
        // The preview box is small; a project may ask not to be shown there at all.
        if (!config->smallPreview.value_or(0)) return 0;
        extra = {"--size", "160x120", "--quiet"};
    } else {
        for (int i = 2; i < argc; ++i) extra.push_back(argv[i]);
    }
    const std::vector<std::string> command = player::ViewerCommand(config->startFile, extra);
    std::fprintf(stderr, "%s: playing %s\n", fileName.c_str(), config->startFile.c_str());
    std::fflush(nullptr);

    std::vector<char*> args;
    for (const std::string& a : command) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::fprintf(stderr, "%s: can't start the viewer %s: %s\n", fileName.c_str(), args[0], std::strerror(errno));
    return 1;
}
