#include "os/program_instance.h"

#include <dlfcn.h>

namespace os {

void* GetProgramInstance() {
    // Opening the null name gives the main program; the handle stays valid for the run.
    static void* const instance = ::dlopen(nullptr, RTLD_LAZY);
    return instance;
}

}  // namespace os
