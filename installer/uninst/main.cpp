// VtlUnInst.exe: removes what a standard installation left, as its "uninstall.nfo" lists it.
//
//   VtlUnInst.exe            remove the listed files, the log, the listed folders (only
//                            empty ones go) and the project's uninstall registry key
//   VtlUnInst.exe --list     print the log without removing anything
//
// The log is read from the folder the uninstaller itself sits in. Exit code 0 after a
// removal or a listing, 1 when there is no readable log, 2 for bad arguments.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "installer/uninstall_log.h"
#include "os/file_exists.h"
#include "os/folder.h"
#include "os/registry.h"

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel";

std::string OwnFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string self(path, size_t(n));
    const size_t cut = self.rfind('/');
    return cut == std::string::npos || cut == 0 ? "/" : self.substr(0, cut);
}

}  // namespace

int main(int argc, char** argv) {
    const bool listOnly = argc == 2 && std::strcmp(argv[1], "--list") == 0;
    if (argc > 2 || (argc == 2 && !listOnly)) {
        std::fprintf(stderr, "usage: VtlUnInst.exe [--list]\n");
        return 2;
    }
    const std::string logPath = OwnFolder() + "/" + kUninstallLogName;
    std::ifstream in(logPath, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::optional<UninstallLog> log = in ? ParseUninstallLog(bytes) : std::nullopt;
    if (!log) {
        std::fprintf(stderr, "VtlUnInst: no readable %s\n", logPath.c_str());
        return 1;
    }

    if (listOnly) {
        std::printf("project: %s\n", log->projectName.c_str());
        std::printf("files (%zu):\n", log->files.size());
        for (const std::string& f : log->files) std::printf("  %s\n", f.c_str());
        std::printf("folders created (%zu), children first:\n", log->folders.size());
        for (const std::string& d : log->folders) std::printf("  %s\n", d.c_str());
        return 0;
    }

    int kept = 0;
    for (const std::string& f : log->files)
        if (os::FileExists(f) && !os::DeleteFile(f)) {
            std::fprintf(stderr, "VtlUnInst: can't delete %s\n", f.c_str());
            ++kept;
        }
    os::DeleteFile(logPath);
    for (const std::string& d : log->folders)
        if (os::FileExists(d) && !os::RemoveFolder(d)) ++kept;  // not empty: files of the user's
    os::RegistryDeleteKey(os::RegistryRoot::LocalMachine, kUninstallKey + log->projectName);
    std::printf("%s removed", log->projectName.c_str());
    if (kept) std::printf(" (%d files or folders stay)", kept);
    std::printf("\n");
    return 0;
}
