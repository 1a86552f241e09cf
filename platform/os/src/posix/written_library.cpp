#include "os/written_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <set>

namespace os {

LibraryHandle LoadWrittenLibrary(const FolderTree& tree, std::string_view relative,
                                 const std::string& shownPath) {
    const int fd = tree.OpenWritten(relative);
    if (fd < 0) {
        SetLastLibraryError(shownPath + ": not the file this installation wrote there");
        return nullptr;
    }
    // The descriptor's own name makes the loader map exactly the file it holds. The loader
    // hands back a library already loaded under the same name, and descriptor numbers come
    // round again, so each load takes a spelling of the name no earlier load used.
    static std::mutex namesLock;
    static std::set<std::string> namesUsed;
    std::string byDescriptor;
    {
        std::lock_guard<std::mutex> hold(namesLock);
        std::string slashes = "/";
        do {
            byDescriptor = "/proc/self/fd" + slashes + std::to_string(fd);
            slashes += '/';
        } while (!namesUsed.insert(byDescriptor).second);
    }
    void* handle = ::dlopen(byDescriptor.c_str(), RTLD_NOW | RTLD_LOCAL);
    ::close(fd);
    if (!handle) {
        const char* said = ::dlerror();
        std::string why = said ? said : "unknown error";
        if (const size_t at = why.find(byDescriptor); at != std::string::npos)
            why.replace(at, byDescriptor.size(), shownPath);
        SetLastLibraryError(why);
    }
    return handle;
}

}  // namespace os
