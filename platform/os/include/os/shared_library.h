// Loading a library at run time and looking up its exports by plain name.
#pragma once

#include <string>

namespace os {

using LibraryHandle = void*;

// Loads the library at a system path (see NativePath); null when it cannot be loaded.
// The reason is kept for LastLibraryError.
LibraryHandle LoadLibrary(const std::string& systemPath);
void* GetProcAddress(LibraryHandle library, const char* name);
void FreeLibrary(LibraryHandle library);
// Why the last LoadLibrary failed, as the loader said it.
std::string LastLibraryError();
// Sets what LastLibraryError tells (for the other ways this layer loads libraries).
void SetLastLibraryError(std::string why);

}  // namespace os
