// Loading a library the process has just written itself, by the file it wrote rather than
// by a name that another file of a similar spelling could answer to.
#pragma once

#include <string>
#include <string_view>

#include "os/folder_tree.h"
#include "os/shared_library.h"

namespace os {

// Loads the file `relative` below `tree` when it is the very file the tree wrote there
// (see FolderTree::OpenWritten). Null otherwise, with the reason kept for
// LastLibraryError; the loader's own words name the file as `shownPath`.
LibraryHandle LoadWrittenLibrary(const FolderTree& tree, std::string_view relative,
                                 const std::string& shownPath);

}  // namespace os
