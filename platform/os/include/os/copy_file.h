// Copying a file the way Windows' CopyFile does with overwriting allowed, through the same
// write path as everything the installer writes.
#pragma once

#include <string>

namespace os {

// Copies `source` (a regular file) to `target`, both system paths (see NativePath). The
// target is created or emptied and is never reached through a symbolic link; it may be run
// when the source may. Gives 0, or the system's error number when the copy failed (a target
// left half written counts as failed).
int CopyFile(const std::string& source, const std::string& target);

}  // namespace os
