#include "os/written_library.h"

#include "win32_util.h"

namespace os {

LibraryHandle LoadWrittenLibrary(const FolderTree& tree, std::string_view relative,
                                 const std::string& shownPath) {
    const int fd = tree.OpenWritten(relative);
    if (fd < 0) {
        SetLastLibraryError(shownPath + ": not the file this installation wrote there");
        return nullptr;
    }
    // The held handle keeps the file from being changed, renamed or deleted, so the path
    // the system gives for it names that very file while the loader maps it.
    const std::wstring path = win32::FinalPath(win32::HandleOf(fd));
    HMODULE module = nullptr;
    if (!path.empty()) {
        module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!module) SetLastLibraryError(shownPath + ": " + win32::ErrorText(::GetLastError()));
    } else {
        SetLastLibraryError(shownPath + ": " + win32::ErrorText(::GetLastError()));
    }
    win32::CloseDescriptor(fd);
    return module;
}

}  // namespace os
