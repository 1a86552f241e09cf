// Whether a file is there, and deleting one: what the installer's temporary-folder choice and
// clean-up ask of the file system.
#pragma once

#include <string_view>

namespace os {

// True when the system path (see NativePath) names an existing file or folder.
bool FileExists(std::string_view systemPath);

// Deletes a file (not a folder); false when it stays.
bool DeleteFile(std::string_view systemPath);

}  // namespace os
