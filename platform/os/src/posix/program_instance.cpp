#include "os/program_instance.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace os {

void* GetProgramInstance() {
    // Opening the null name gives the main program; the handle stays valid for the run.
    static void* const instance = ::dlopen(nullptr, RTLD_LAZY);
    return instance;
}

std::string GetProgramPath() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

}  // namespace os
