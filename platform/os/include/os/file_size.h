// The size of an existing file, as a plug-in asks for it: the file is opened for reading
// and closed again at once.
#pragma once

#include <cstdint>
#include <optional>

namespace os {

// The low 32 bits of the size in bytes of the file named by `systemPath` (see NativePath).
// Empty when it cannot be opened for reading: missing, not a regular file, not readable,
// or (on Windows, opened without sharing) held open by someone else.
std::optional<uint32_t> FileSizeLow32(const char* systemPath);

}  // namespace os
