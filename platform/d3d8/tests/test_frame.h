// Small helpers for tests that draw through the device and look at the pixels.
#pragma once

#include <d3d8/d3d8.h>

#include <gtest/gtest.h>

#include <vector>

namespace d3d8_test {

struct ColourVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
    float x, y, z;
    D3DCOLOR colour;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

struct ScreenVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE: render-target pixels, depth 0..1
    float x, y, z, rhw;
    D3DCOLOR colour;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

// A device with lighting off, as most pixel tests want it.
inline void Unlit(IDirect3DDevice8& device) {
    ASSERT_TRUE(device.HasGL()) << "no off-screen GL context";
    device.SetRenderState(D3DRS_LIGHTING, FALSE);
}

// Draws the rectangle [x1, x2) x [y1, y2) of render-target pixels at one depth.
inline HRESULT DrawScreenRect(IDirect3DDevice8& device, float x1, float y1, float x2, float y2,
                              float z, D3DCOLOR colour) {
    const ScreenVertex quad[4] = {{x1, y1, z, 1, colour}, {x2, y1, z, 1, colour},
                                  {x1, y2, z, 1, colour}, {x2, y2, z, 1, colour}};
    device.SetVertexShader(kScreenFvf);
    // Pixel centres sit on integer coordinates: move the edges half a pixel out.
    ScreenVertex shifted[4];
    for (int i = 0; i < 4; ++i) {
        shifted[i] = quad[i];
        shifted[i].x -= 0.5f;
        shifted[i].y -= 0.5f;
    }
    return device.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, shifted, sizeof(ScreenVertex));
}

inline std::vector<D3DCOLOR> Colours(IDirect3DDevice8& device) {
    std::vector<D3DCOLOR> pixels;
    EXPECT_EQ(device.ReadBackColor(pixels), D3D_OK);
    return pixels;
}

inline D3DCOLOR Rgb(D3DCOLOR c) { return c & 0xFFFFFFu; }

}  // namespace d3d8_test
