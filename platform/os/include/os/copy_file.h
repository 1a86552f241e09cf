// Copying a file the way Windows' CopyFile does with overwriting allowed, through the same
// write path as everything the installer writes.
#pragma once

#include <string>

namespace os {

// Copies `source` (a regular file) to `target`, both system paths (see NativePath), through
// ReplaceFile: the target's folder must exist, the target is never reached through a
// symbolic link and is replaced whole or not at all; it may be run when the source may.
// Gives 0, or the system's error number when the copy failed.
int CopyFile(const std::string& source, const std::string& target);

}  // namespace os
