// The Direct3D 8 interface the plug-ins and siblings draw through. On Windows it is the
// system's own (d3d8.dll, through the compiler's d3d8.h); elsewhere it is the stand-in
// under d3d8/standin, an ordinary C++ object drawing through OpenGL. Whatever the host
// does beyond the interface (making the device, reading frames back) is in device_host.h.
#pragma once

#if defined(_WIN32)
#include <d3d8/windows_headers.h>
#include <d3d8.h>
#include <d3d8/windows_headers_end.h>
#else
#include <d3d8/standin/d3d8.h>
#endif
