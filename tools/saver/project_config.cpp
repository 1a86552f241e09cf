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

std::string ProjectNameOf(std::string_view fileName, std::string_view prefix) {
    if (fileName.size() >= prefix.size() && os::EqualsIgnoreCase(fileName.substr(0, prefix.size()), prefix))
        fileName.remove_prefix(prefix.size());
    const size_t dot = fileName.rfind('.');
    return std::string(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
}

std::optional<std::string> FindProjectConfig(const std::string& selfPath, std::string_view configName,
                                             const std::string& projectName) {
    const std::string beside = FolderOf(selfPath) + "\\" + std::string(configName);
    if (os::FileExists(beside)) return beside;
    if (projectName.empty()) return std::nullopt;
    const std::optional<std::string> install =
        os::RegistryGetString(os::RegistryRoot::LocalMachine, std::string(kViewerKey) + projectName, "DisplayName");
    if (!install || install->empty()) return std::nullopt;
    // The stored value may carry the NUL the installer counts in.
    const std::string folder = install->substr(0, install->find('\0'));
    const std::string path = folder + "\\" + std::string(configName);
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
