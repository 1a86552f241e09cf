// Copying a file the way Windows' CopyFile does with overwriting allowed, through the same
// write path as everything the installer writes.
#pragma once

#include <string>
#include <string_view>

namespace os {

// Copies `source` (a regular file) to the file `relative` below the folder `base`, both
// system paths (see NativePath). `base` is the user's choice and may be reached through
// links; below it the copy goes through FolderTree: every folder must exist and is entered
// without following a link, the target is never reached through a link and is replaced
// whole or not at all; it may be run when the source may. Gives 0, or the system's error
// number when the copy failed: EACCES for a link on the way or at the target, ENOTDIR for a
// file where a folder should be, EISDIR for a folder at the target.
int CopyFileBelow(const std::string& source, std::string_view base, std::string_view relative);

}  // namespace os
