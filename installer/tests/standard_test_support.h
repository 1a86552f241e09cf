// Pieces the standard-installation tests share: files of the build, the core channel file
// names, and an environment that keeps home, configuration, links and registry inside a
// scratch folder.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace stdtest {

namespace fs = std::filesystem;

inline constexpr const char* kCoreChannelFiles[] = {
    "channels\\FileSaver.dll",
    "channels\\Directory.dll",
    "channels\\FileLoader.dll",
    "channels\\9F9FF213-DED7-599F-80D1-45463E6C473B.dll",
    "channels\\E0B80F4A-499F-5E75-87AD-5C21C81E2772.dll",
    "channels\\4806DF8E-A410-5F04-A297-090D455D9BEE.dll",
    "channels\\491E783E-7E83-5F32-91C6-3823F2BBD53F.dll",
};

inline fs::path BuildFile(const std::string& relative) { return fs::path(BUILD_DIR) / relative; }

inline std::string FileString(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> FileBytes(const fs::path& p) {
    const std::string s = FileString(p);
    return {s.begin(), s.end()};
}

// Points HOME and the XDG folders into `root`/home and clears the variables that would
// send links, registry or the DirectX answer elsewhere; everything comes back after.
class ScopedInstallEnvironment {
public:
    explicit ScopedInstallEnvironment(const fs::path& root) {
        const fs::path home = root / "home";
        Set("HOME", home.string());
        Set("XDG_CONFIG_HOME", (home / ".config").string());
        Set("XDG_DATA_HOME", (home / ".local/share").string());
        for (const char* name : {"VANTREL_PROGRAMS_DIR", "VANTREL_REGISTRY_FILE", "VANTREL_DIRECTX_VERSION"})
            Set(name, std::nullopt);
    }
    ~ScopedInstallEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }
    ScopedInstallEnvironment(const ScopedInstallEnvironment&) = delete;
    ScopedInstallEnvironment& operator=(const ScopedInstallEnvironment&) = delete;

    void Set(const std::string& name, const std::optional<std::string>& value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) ::setenv(name.c_str(), value->c_str(), 1);
        else ::unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

inline int ExitCode(int status) { return status == -1 ? -1 : (status >> 8) & 0xFF; }

// Runs a shell command; its exit code, its standard output and error together in `output`.
// The output file is the process's own: tests run side by side would take each other's.
inline int RunCommand(const std::string& command, std::string* output = nullptr,
                      const fs::path& outputFile = fs::temp_directory_path() /
                                                   ("stdtest-output-" + std::to_string(::getpid()))) {
    const int code = ExitCode(std::system((command + " >" + Quote(outputFile.string()) + " 2>&1 </dev/null").c_str()));
    if (output) *output = FileString(outputFile);
    fs::remove(outputFile);
    return code;
}

// The sample project as the build makes it from its text (start group, start file), copied
// into `folder`.
inline void MakeSampleProject(const fs::path& folder) {
    fs::create_directories(folder);
    fs::copy(SAMPLE_PROJECT_DIR, folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// A manifest installing the build's viewer, engine core, core channels, uninstaller and the
// sample's start file and start group, with "ProjectName" Demo; add lines for more entries.
inline std::string CoreManifest() {
    std::string m = "type standard\nbyte CheckDx8 0\nbyte RunAfterInstall 0\n"
                    "text InstallPath C:\\Demo\ntext ShortCutName \\Demo\ntext ProjectName Demo\n";
    m += "packed VantrelViewer.exe < " + BuildFile("VantrelViewer.exe").string() + "\n";
    m += "packed Corvane.dll < " + BuildFile("Corvane.dll").string() + "\n";
    for (const char* core : kCoreChannelFiles) {
        std::string file = core;
        for (char& c : file)
            if (c == '\\') c = '/';
        m += std::string("packed ") + core + " < " + BuildFile(file).string() + "\n";
    }
    m += "packed VtlUnInst.exe < " + BuildFile("VtlUnInst.exe").string() + "\n";
    return m + "compressed VtlStart.vtl\nfile \\start.cgr\n";
}

// Builds `out` with projpack from a manifest and a project folder; the tool's exit code.
inline int BuildInstaller(const std::string& manifest, const fs::path& project, const fs::path& out) {
    const fs::path manifestFile = out.string() + ".manifest";
    std::ofstream(manifestFile) << manifest;
    const int code = RunCommand(Quote(PROJPACK_EXE) + " build " + Quote(manifestFile.string()) + " " +
                                Quote(project.string()) + " " + Quote(PROJINSTALL_EXE) + " " + Quote(out.string()));
    if (fs::exists(out)) fs::permissions(out, fs::perms::owner_exec, fs::perm_options::add);
    return code;
}

// Runs an installer unattended into `folder` with home, configuration and links below `home`
// and DirectX 8.0 (so nothing is started); the boxes it showed, one "box" line each.
inline std::vector<std::string> InstallUnattended(const fs::path& installer, const fs::path& folder,
                                                  const fs::path& home, int* exitCode = nullptr) {
    const fs::path log = home / "messages.log";
    fs::remove(log);
    // A hang is a failure too (timeout's own exit code), never a test that never ends.
    const int code = RunCommand(
        "timeout 120 env -u DISPLAY -u VANTREL_PROGRAMS_DIR -u VANTREL_REGISTRY_FILE HOME=" + Quote(home.string()) +
        " XDG_CONFIG_HOME=" + Quote((home / ".config").string()) + " XDG_DATA_HOME=" +
        Quote((home / ".local/share").string()) + " VANTREL_DIRECTX_VERSION=8.0 VANTREL_UNATTENDED=1" +
        " VANTREL_INSTALL_DIR=" + Quote(folder.string()) + " VANTREL_MESSAGE_LOG=" + Quote(log.string()) + " " +
        Quote(installer.string()));
    if (exitCode) *exitCode = code;
    std::vector<std::string> boxes;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("box\t", 0) == 0) boxes.push_back(line);
    return boxes;
}

}  // namespace stdtest
