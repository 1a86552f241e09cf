#include "os/shared_library.h"

#include <dlfcn.h>

#include "os/native_path.h"

namespace os {
namespace {
thread_local std::string g_lastError;
}

LibraryHandle LoadLibrary(const std::string& systemPath) {
    std::string path = NativePath(systemPath);
    // A bare name would make the loader search its own paths; we always mean a file.
    if (path.find('/') == std::string::npos) path = "./" + path;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        g_lastError = why ? why : "unknown error";
    }
    return handle;
}

void* GetProcAddress(LibraryHandle library, const char* name) {
    return library ? ::dlsym(library, name) : nullptr;
}

void FreeLibrary(LibraryHandle library) {
    if (library) ::dlclose(library);
}

std::string LastLibraryError() { return g_lastError; }
void SetLastLibraryError(std::string why) { g_lastError = std::move(why); }

}  // namespace os
