// The running program's own module, what Windows hands the entry as its instance handle.
#pragma once

namespace os {

// A handle naming the program itself (the main executable); never null on a working system.
void* GetProgramInstance();

}  // namespace os
