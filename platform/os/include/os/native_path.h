// Paths inside the system are written the Windows way ("\Channels\X.dll", install path +
// "\" + item). This turns them into paths of the machine we run on: '\' and '/' both
// separate, runs of separators collapse into one, and a component that does not exist with
// its exact case is matched case-insensitively against the entries of its folder, so
// "Corvane.dll" written and "\corvane.dll" loaded name one file.
#pragma once

#include <string>
#include <string_view>

namespace os {

// The native form of a system path. Components that exist are given with the case they
// have on disk; the first component that matches nothing, and everything after it, is
// kept as written (so the result also names files about to be created).
std::string NativePath(std::string_view systemPath);

// The same path with '\' and '/' as separators, runs collapsed, no case matching.
std::string NormalizeSeparators(std::string_view systemPath);

// Case-insensitive ASCII comparison (A-Z equal a-z, other bytes as they are).
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace os
