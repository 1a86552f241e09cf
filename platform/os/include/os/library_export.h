// How a library marks the C functions another module looks up by name (GetType, InitDLL):
// exported from the DLL on Windows, default visibility on Linux.
#pragma once

#if defined(_WIN32)
#define OS_LIBRARY_EXPORT extern "C" __declspec(dllexport)
#else
#define OS_LIBRARY_EXPORT extern "C" __attribute__((visibility("default")))
#endif
