// The host's operations on the stand-in device: its own additions.
#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>

namespace d3d8host {

void DeviceRelease::operator()(IDirect3DDevice8* device) const { delete device; }

DevicePtr CreateOffscreenDevice(UINT width, UINT height) {
    return DevicePtr(new IDirect3DDevice8(width, height));
}

bool CanDraw(IDirect3DDevice8* device) { return device && device->HasGL(); }

void BackBufferSize(IDirect3DDevice8* device, UINT& width, UINT& height) {
    width = device->BackBufferWidth();
    height = device->BackBufferHeight();
}

HRESULT ReadBackColor(IDirect3DDevice8* device, std::vector<D3DCOLOR>& pixels) {
    return device->ReadBackColor(pixels);
}

DeviceState CheckDevice(IDirect3DDevice8*) { return DeviceState::Ready; }

HRESULT ResetDevice(IDirect3DDevice8* device, UINT width, UINT height) {
    if (width == 0 || height == 0) return D3D_OK;
    return device->ResizeBackBuffer(width, height);
}

HRESULT WritePng(const char* path, UINT width, UINT height, const D3DCOLOR* pixels) {
    return IDirect3DDevice8::WritePng(path, width, height, pixels);
}

HRESULT SaveBackBufferPng(IDirect3DDevice8* device, const char* path) {
    return device->SaveBackBufferPng(path);
}

}  // namespace d3d8host
