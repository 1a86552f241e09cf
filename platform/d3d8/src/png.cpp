// The stand-in's frames as PNG files.
#include <d3d8/d3d8.h>

#include "png_file.h"

HRESULT IDirect3DDevice8::WritePng(const char* path, UINT width, UINT height,
                                   const D3DCOLOR* pixels) {
    return d3d8_detail::WriteRgbaPng(path, width, height, pixels);
}

HRESULT IDirect3DDevice8::SaveBackBufferPng(const char* path) {
    std::vector<D3DCOLOR> pixels;
    const HRESULT read = ReadBackColor(pixels);
    if (FAILED(read)) return read;
    return WritePng(path, backBufferWidth_, backBufferHeight_, pixels.data());
}
