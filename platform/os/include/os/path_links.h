// Whether a path below a base folder passes through a symbolic link: the installer never
// makes links, so a link inside its install folder is someone else's and may point anywhere.
#pragma once

#include <string_view>

namespace os {

// True when a component of `relative`, resolved below the folder `base` the way NativePath
// resolves it (either separator, case matched when needed), exists as a symbolic link.
// Components that do not exist yet end the walk: they will be folders or files we create.
bool PathCrossesLink(std::string_view base, std::string_view relative);

}  // namespace os
