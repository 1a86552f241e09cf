// The current user's temporary folder, where a project that runs in place is unpacked.
#pragma once

#include <optional>
#include <string>

namespace os {

// The folder named by TMPDIR when that is set to an existing folder, otherwise /tmp; always
// ending with a separator, as Windows gives it. Empty when neither is a folder. Folders made
// in it for the installer are private (see CreatePrivateFolder), because /tmp is shared.
std::optional<std::string> GetTempFolder();

// The system's own temporary folder (/tmp/), whatever TMPDIR says.
std::string SystemTempFolder();

// Makes a new folder, private to the current user, named `prefix` followed by six
// characters nobody else has taken (mkdtemp); gives its path, or nothing.
std::optional<std::string> CreateFreshPrivateFolder(const std::string& prefix);

}  // namespace os
