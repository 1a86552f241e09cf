#include "project_config.h"

#include <algorithm>

#include "os/file_exists.h"
#include "os/native_path.h"
#include "os/read_only_file.h"
#include "os/registry.h"
#include "tagfile/records.h"

namespace player {

namespace {

// The installer writes fewer than 300 bytes; anything far larger is not ours.
constexpr uint64_t kConfigLimit = 64 * 1024;

// The installer's viewer key: install path under the project's name.
constexpr std::string_view kViewerKey = "SOFTWARE\\Borrin\\Vantrel Viewers\\2.00.000\\";

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? "." : path.substr(0, cut);
}

}  // namespace

std::optional<ProjectConfig> ReadProjectConfig(std::span<const uint8_t> bytes) {
    ProjectConfig config;
    tagfile::RecordReader reader(bytes);
    tagfile::Record r;
    bool haveStart = false;
    while (reader.Next(r)) {
        if (r.Is("SCFP")) {
            const auto end = std::find(r.data.begin(), r.data.end(), uint8_t(0));
            config.startFile.assign(r.data.begin(), end);
            haveStart = !config.startFile.empty();
        } else if (r.Is("SCTI")) {
            if (r.data.size() != 4) return std::nullopt;
            config.timeValue = int32_t(tagfile::ReadU32(r.data.data()));
        } else if (r.Is("SCQC") || r.Is("SCSP")) {
            if (r.data.size() != 1) return std::nullopt;
            (r.Is("SCQC") ? config.quitByte : config.smallPreview) = r.data[0];
        }
    }
    if (reader.Corrupt() || !haveStart) return std::nullopt;
    return config;
}

std::optional<ProjectConfig> LoadProjectConfig(const std::string& path) {
    os::ReadOnlyFile file;
    if (!file.Open(path) || file.Size() > kConfigLimit) return std::nullopt;
    std::vector<uint8_t> bytes(size_t(file.Size()));
    if (!file.ReadExact(bytes.data(), bytes.size())) return std::nullopt;
    return ReadProjectConfig(bytes);
}

std::optional<std::string> FindProjectConfig(const std::string& selfPath, std::string_view configName,
                                             std::string_view packageName, std::string_view copyPrefix) {
    const size_t slash = selfPath.find_last_of("\\/");
    std::string_view name = std::string_view(selfPath).substr(slash == std::string::npos ? 0 : slash + 1);
    // A copy sits among other programs' files (the system folder, the player's plug-ins),
    // where a file of the configuration's name need not be ours.
    if (os::EqualsIgnoreCase(name, packageName)) {
        const std::string beside = FolderOf(selfPath) + "\\" + std::string(configName);
        if (!os::FileExists(beside)) return std::nullopt;
        return beside;
    }
    if (name.size() >= copyPrefix.size() && os::EqualsIgnoreCase(name.substr(0, copyPrefix.size()), copyPrefix))
        name.remove_prefix(copyPrefix.size());
    const size_t dot = name.rfind('.');
    const std::string project(dot == std::string_view::npos ? name : name.substr(0, dot));
    if (project.empty()) return std::nullopt;
    const std::optional<std::string> install =
        os::RegistryGetString(os::RegistryRoot::LocalMachine, std::string(kViewerKey) + project, "DisplayName");
    if (!install || install->empty()) return std::nullopt;
    // The stored value may carry the NUL the installer counts in.
    const std::string path = install->substr(0, install->find('\0')) + "\\" + std::string(configName);
    if (!os::FileExists(path)) return std::nullopt;
    return path;
}

std::vector<std::string> ViewerCommand(const std::string& startFile, const std::vector<std::string>& extra) {
    std::vector<std::string> argv{os::NativePath(FolderOf(startFile) + "\\VantrelViewer.exe"),
                                  os::NativePath(startFile)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
}

}  // namespace player
