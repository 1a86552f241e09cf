// Types, result codes and state numbers of the Direct3D 8 interface (see d3d8.h for which).
#pragma once

#if defined(_WIN32)
// The result codes are in d3d8.h there.
#include <d3d8/windows_headers.h>
#include <d3d8.h>
#include <d3d8/windows_headers_end.h>
#else
#include <d3d8/standin/d3d8types.h>
#endif
