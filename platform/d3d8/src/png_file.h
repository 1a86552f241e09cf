// Pictures in the read-back layout (0xAARRGGBB, top row first) as RGBA PNG files.
#pragma once

#include <d3d8/d3d8types.h>

namespace d3d8_detail {
HRESULT WriteRgbaPng(const char* path, UINT width, UINT height, const D3DCOLOR* pixels);
}
