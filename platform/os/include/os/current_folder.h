// The process's current folder, which the installer moves into the install folder so that
// the viewer it starts is found there.
#pragma once

#include <string>
#include <string_view>

namespace os {

// False when the folder does not exist or cannot be entered; the current folder then stays.
bool SetCurrentFolder(std::string_view systemPath);

// The current folder as a native path; empty when it cannot be read.
std::string GetCurrentFolder();

}  // namespace os
