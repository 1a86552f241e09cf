#include "installer/player_folder.h"

#include "os/file_exists.h"
#include "os/registry.h"
#include "os/shell_folders.h"

namespace {

constexpr size_t kCommandValueMax = 512;  // the value is read into 513 bytes

}  // namespace

const char* PlayerCommandKey(bool winamp3) {
    return winamp3 ? "Applications\\Studio.exe\\shell\\open\\command"
                   : "Applications\\Winamp.exe\\shell\\open\\command";
}

std::optional<std::string> FolderFromOpenCommand(std::string_view command) {
    command = command.substr(0, command.find('\0'));
    std::string_view program;
    if (!command.empty() && command.front() == '"') {
        const size_t close = command.find('"', 1);
        // A value cut short or damaged: what follows the quote may not be a path at all.
        if (close == std::string_view::npos) return std::nullopt;
        program = command.substr(1, close - 1);
    } else {
        program = command.substr(0, command.find_first_of(" \t"));
    }
    const size_t cut = program.find_last_of("\\/");
    // No folder: the plug-in would land at the root of the current drive.
    if (cut == std::string_view::npos) return std::nullopt;
    return std::string(program.substr(0, cut + 1));
}

std::optional<std::string> FindPlayerFolder(bool winamp3) {
    const std::optional<std::string> command =
        os::RegistryGetString(os::RegistryRoot::ClassesRoot, PlayerCommandKey(winamp3), "");
    if (command) return FolderFromOpenCommand(std::string_view(*command).substr(0, kCommandValueMax));
    const std::optional<std::string> standIn = os::GetPlayerFolder();
    if (standIn && os::FileExists(*standIn)) return *standIn + "\\";
    return std::nullopt;
}
