// Windows only: a device presenting into a window the caller owns (the viewer's), with the
// lockable back buffer and 24-bit depth / 8-bit stencil of every device the host makes.
// Released through d3d8host::DeviceRelease. Null when no device can be made.
#pragma once

#include <d3d8/d3d8.h>

namespace d3d8host {
IDirect3DDevice8* CreateWindowDevice(HWND window, UINT width, UINT height);
}
