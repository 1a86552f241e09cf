// What the program hosting the device does beyond the Direct3D 8 interface: making a device
// (off screen, or on a window), its frames read back, a new back-buffer size, a lost device
// restored. Both builds answer the same calls: the Linux stand-in through its own additions,
// Windows through d3d8.dll (a hidden window for off-screen devices, a lockable back buffer).
#pragma once

#include <d3d8/d3d8types.h>

#include <memory>
#include <vector>

class IDirect3DDevice8;

namespace d3d8host {

// Gives up the host's reference (the device goes when nobody else holds one).
struct DeviceRelease {
    void operator()(IDirect3DDevice8* device) const;
};
using DevicePtr = std::unique_ptr<IDirect3DDevice8, DeviceRelease>;

// A device drawing off screen into a back buffer of this size, with a 24-bit depth and 8-bit
// stencil buffer. On Windows it needs a display (a hidden window is made for it); null when
// no device can be had there. The stand-in makes its GL context only when first drawing.
DevicePtr CreateOffscreenDevice(UINT width, UINT height);

// Whether the device can draw at all (the stand-in makes its off-screen context here).
bool CanDraw(IDirect3DDevice8* device);

// The back buffer's size.
void BackBufferSize(IDirect3DDevice8* device, UINT& width, UINT& height);

// The back buffer's colours, top row first, width x height items as 0xAARRGGBB (alpha 0xFF
// where the back buffer keeps none). Read after drawing; on Windows also after Present (the
// back buffer is kept, D3DSWAPEFFECT_COPY).
HRESULT ReadBackColor(IDirect3DDevice8* device, std::vector<D3DCOLOR>& pixels);

enum class DeviceState { Ready, Lost, NeedsReset };
// TestCooperativeLevel's answer: Lost while nothing can be drawn, NeedsReset once the device
// can be had again. The stand-in is never lost.
DeviceState CheckDevice(IDirect3DDevice8* device);

// Resets the device with its own present parameters, the back buffer width x height (0: as it
// was). Every buffer in D3DPOOL_DEFAULT must have been released first: Reset fails while one
// is held. The viewport covers the new back buffer.
HRESULT ResetDevice(IDirect3DDevice8* device, UINT width = 0, UINT height = 0);

// Any picture in the read-back layout as an RGBA PNG file.
HRESULT WritePng(const char* path, UINT width, UINT height, const D3DCOLOR* pixels);
// The back buffer as a PNG file.
HRESULT SaveBackBufferPng(IDirect3DDevice8* device, const char* path);

}  // namespace d3d8host
