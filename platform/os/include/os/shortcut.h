// Start-menu links. A Windows shell link becomes an XDG desktop entry: the link path's
// ".lnk" ending is replaced by ".desktop", and the entry starts `target arguments` in
// `workingFolder`:
//   [Desktop Entry]  Type=Application, Name=<link file name without ending>,
//   Exec=<target> <arguments>, Path=<working folder>, Comment=<description>
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace os {

// The file a link path is written as.
std::string ShortcutFilePath(const std::string& linkPath);

// Writes the entry; 0 on success, non-zero when the file cannot be written (the shell's
// result code stands in this place). `arguments` may be null.
int CreateShortcut(const std::string& target, const std::string& linkPath, const std::string& description,
                   const char* arguments, const std::string& workingFolder);

// The program the link whose file holds `bytes` starts, as the link names it; empty when
// the bytes are no link written as CreateShortcut writes them.
std::string ShortcutTarget(const std::vector<uint8_t>& bytes);

}  // namespace os
