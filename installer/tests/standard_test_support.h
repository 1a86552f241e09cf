// Pieces the standard-installation tests share: files of the build, the core channel file
// names, and an environment that keeps home, configuration, links and registry inside a
// scratch folder.
#pragma once

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

}  // namespace stdtest
