// D3DXCreateText: the text in the font selected into `dc` as one extruded mesh (vertex
// format D3DFVF_XYZ | D3DFVF_NORMAL, 16-bit indices, managed), in units where the font's em
// square is 1. `adjacency` and `glyphMetrics` (one entry per character) may be null.
#pragma once

#include <d3d8/d3dx_mesh.h>
#include <gdi/wingdi.h>

HRESULT D3DXCreateText(IDirect3DDevice8* device, HDC dc, const char* text, float deviation,
                       float extrusion, ID3DXMesh** mesh, ID3DXBuffer** adjacency,
                       GLYPHMETRICSFLOAT* glyphMetrics);
