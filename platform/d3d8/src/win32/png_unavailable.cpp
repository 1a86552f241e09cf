// The Windows build writes no frames yet: it draws nothing to write (see GL/osmesa.h).
#include <d3d8/d3d8.h>

HRESULT IDirect3DDevice8::WritePng(const char* path, UINT width, UINT height, const D3DCOLOR* pixels) {
    if (!path || !pixels || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    return D3DERR_NOTAVAILABLE;
}
