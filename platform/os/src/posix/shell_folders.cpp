#include "os/shell_folders.h"

#include <cstdlib>

namespace os {
namespace {

std::optional<std::string> FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string(value);
    return std::nullopt;
}

std::optional<std::string> DataHome() {
    if (auto xdg = FromEnvironment("XDG_DATA_HOME")) return xdg;
    if (auto home = FromEnvironment("HOME")) return *home + "/.local/share";
    return std::nullopt;
}

std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

}  // namespace

std::optional<std::string> GetProgramsFolder() {
    if (auto set = FromEnvironment("VANTREL_PROGRAMS_DIR")) return WithoutTrailingSeparator(*set);
    if (auto data = DataHome()) return *data + "/applications";
    return std::nullopt;
}

std::optional<std::string> GetSystemFolder() {
    if (auto set = FromEnvironment("VANTREL_SYSTEM_DIR")) return WithoutTrailingSeparator(*set);
    if (auto data = DataHome()) return *data + "/vantrel/system";
    return std::nullopt;
}

std::optional<std::string> GetPlayerFolder() {
    if (auto set = FromEnvironment("VANTREL_PLAYER_DIR")) return WithoutTrailingSeparator(*set);
    if (auto data = DataHome()) return *data + "/vantrel/player";
    return std::nullopt;
}

}  // namespace os
