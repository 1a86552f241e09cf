#include "test_frame.h"

#include <vecmath/d3dx_math.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

using namespace d3d8_test;

namespace {

// Row vector times matrix, written out here so the test does not lean on the code it checks.
void Transform(const float in[4], const D3DMATRIX& m, float out[4]) {
    for (int c = 0; c < 4; ++c)
        out[c] = in[0] * m.m[0][c] + in[1] * m.m[1][c] + in[2] * m.m[2][c] + in[3] * m.m[3][c];
}

float Edge(const float a[2], const float b[2], float x, float y) {
    return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
}

}  // namespace

// World, view and projection in that order, the viewport's rectangle and depth range, and
// pixel centres on integer coordinates: every pixel of a 64x48 target is compared with a
// hand computation of coverage and depth.
TEST(DevicePixels, TriangleLandsWhereTheConventionsPutIt) {
    IDirect3DDevice8 device(64, 48);
    Unlit(device);
    D3DXMATRIX world, rotation, translation, view, projection;
    D3DXMatrixRotationZ(&rotation, 0.3f);
    D3DXMatrixTranslation(&translation, 0.2f, -0.1f, 0.0f);
    world = rotation * translation;  // rotated first, then moved: the order matters here
    D3DXMatrixTranslation(&view, 0.0f, 0.0f, 4.0f);
    D3DXMatrixPerspectiveFovLH(&projection, 0.9f, 48.0f / 40.0f, 1.0f, 10.0f);
    ASSERT_EQ(device.SetTransform(D3DTS_WORLD, &world), D3D_OK);
    ASSERT_EQ(device.SetTransform(D3DTS_VIEW, &view), D3D_OK);
    ASSERT_EQ(device.SetTransform(D3DTS_PROJECTION, &projection), D3D_OK);
    const D3DVIEWPORT8 viewport{8, 4, 48, 40, 0.25f, 0.75f};
    ASSERT_EQ(device.SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);

    // Clockwise on screen (y down), so the default culling keeps it.
    const ColourVertex triangle[3] = {{-1.1f, 1.0f, 0.5f, 0xFFFFFFFF},
                                      {1.3f, 0.4f, -0.5f, 0xFFFFFFFF},
                                      {-0.6f, -1.2f, 1.5f, 0xFFFFFFFF}};
    device.SetVertexShader(kColourFvf);
    ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(ColourVertex)),
              D3D_OK);

    float screen[3][2], depth[3];
    for (int i = 0; i < 3; ++i) {
        const float object[4] = {triangle[i].x, triangle[i].y, triangle[i].z, 1.0f};
        float a[4], b[4], clip[4];
        Transform(object, world, a);
        Transform(a, view, b);
        Transform(b, projection, clip);
        const float nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
        screen[i][0] = viewport.X + (nx + 1.0f) * 0.5f * viewport.Width;
        screen[i][1] = viewport.Y + (1.0f - ny) * 0.5f * viewport.Height;
        depth[i] = viewport.MinZ + nz * (viewport.MaxZ - viewport.MinZ);
    }
    const float area = Edge(screen[0], screen[1], screen[2][0], screen[2][1]);
    ASSERT_GT(area, 0.0f) << "the triangle should be clockwise on screen";

    const std::vector<D3DCOLOR> colours = Colours(device);
    std::vector<float> depths;
    ASSERT_EQ(device.ReadBackDepth(depths), D3D_OK);
    int covered = 0, mismatches = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const float px = static_cast<float>(x), py = static_cast<float>(y);
            const float w0 = Edge(screen[1], screen[2], px, py) / area;
            const float w1 = Edge(screen[2], screen[0], px, py) / area;
            const float w2 = Edge(screen[0], screen[1], px, py) / area;
            // Centres within a hair of an edge are left to the fill rule, not checked here.
            if (std::min({std::fabs(w0), std::fabs(w1), std::fabs(w2)}) < 1e-3f) continue;
            const bool inside = w0 > 0 && w1 > 0 && w2 > 0;
            const bool drawn = Rgb(colours[y * 64 + x]) == 0xFFFFFF;
            if (inside != drawn) ++mismatches;
            if (!inside) continue;
            ++covered;
            const float expectedDepth = w0 * depth[0] + w1 * depth[1] + w2 * depth[2];
            EXPECT_NEAR(depths[y * 64 + x], expectedDepth, 1e-5f) << x << "," << y;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(covered, 150);  // a sizeable triangle, not a sliver
}

// Direct3D's top-left rule on pixel centres exactly on edges: the left and top edges of a
// rectangle draw, the right and bottom ones do not.
TEST(DevicePixels, RectangleEdgesOnPixelCentresFollowTheTopLeftRule) {
    IDirect3DDevice8 device(16, 16);
    Unlit(device);
    device.Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    const ScreenVertex quad[4] = {{2, 3, 0, 1, 0xFFFFFFFF}, {6, 3, 0, 1, 0xFFFFFFFF},
                                  {2, 8, 0, 1, 0xFFFFFFFF}, {6, 8, 0, 1, 0xFFFFFFFF}};
    device.SetVertexShader(kScreenFvf);
    ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
    const std::vector<D3DCOLOR> colours = Colours(device);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(Rgb(colours[y * 16 + x]) != 0, x >= 2 && x < 6 && y >= 3 && y < 8)
                << x << "," << y;
}
