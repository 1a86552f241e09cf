// Folders the Windows shell names, and their equivalents here:
//   Programs folder  $XDG_DATA_HOME/applications (else ~/.local/share/applications), where
//                    Start-menu links become desktop entries; VANTREL_PROGRAMS_DIR overrides
//   system folder    VANTREL_SYSTEM_DIR, else ~/.local/share/vantrel/system
//   player folder    VANTREL_PLAYER_DIR, else ~/.local/share/vantrel/player
// Each is given without a trailing separator; nothing when no home folder is known.
#pragma once

#include <optional>
#include <string>

namespace os {

std::optional<std::string> GetProgramsFolder();
std::optional<std::string> GetSystemFolder();
std::optional<std::string> GetPlayerFolder();

}  // namespace os
