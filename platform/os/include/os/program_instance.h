// The running program's own module, what Windows hands the entry as its instance handle.
#pragma once

#include <string>

namespace os {

// A handle naming the program itself (the main executable); never null on a working system.
void* GetProgramInstance();

// The real path of the running program's file; empty when the system does not say.
std::string GetProgramPath();

}  // namespace os
