// Folders: created one at a time (the caller walks a path and records which ones were new),
// removed when empty, and checked for being private to the current user.
#pragma once

#include <string_view>

namespace os {

// Creates the one folder a system path names (see NativePath); its parent must exist.
// True only when the folder did not exist and was made now, so callers can record what
// they created. A trailing separator is allowed.
bool CreateFolder(std::string_view systemPath);

// The same, with access for the current user only.
bool CreatePrivateFolder(std::string_view systemPath);

// Removes a folder; only an empty one goes. False when it stays.
bool RemoveFolder(std::string_view systemPath);

// True when the path names a real folder (not a symbolic link to one) that the current
// user owns and that nobody else may write into.
bool IsPrivateFolder(std::string_view systemPath);

}  // namespace os
