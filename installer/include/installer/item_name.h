// Item names are joined after the install path (install path + "\" + name), so a leading
// backslash stays inside the install folder. What does not: a ".." component, a drive letter
// or any other colon, and the network form "\\server".
#pragma once

#include <string_view>

// True when install path + "\" + `name` cannot leave the install folder by its text alone
// (symbolic links are checked on disk separately).
bool IsItemNameInside(std::string_view name);
