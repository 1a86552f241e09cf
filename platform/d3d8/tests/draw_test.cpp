#include "test_frame.h"

#include <vecmath/d3dx_math.h>

#include <GL/osmesa.h>

#include <algorithm>
#include <cmath>
#include <memory>

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

// A context of the caller's, current while the device draws into it, as a window's would be.
struct CallersContext {
    OSMesaContext context = nullptr;
    std::vector<std::uint32_t> colour;
    CallersContext(int width, int height) : colour(std::size_t(width) * height) {
        const int attributes[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24,
                                  OSMESA_STENCIL_BITS, 8, 0};
        context = OSMesaCreateContextAttribs(attributes, nullptr);
        if (context) OSMesaMakeCurrent(context, colour.data(), GL_UNSIGNED_BYTE, width, height);
    }
    ~CallersContext() {
        OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
        if (context) OSMesaDestroyContext(context);
    }
    static void* Loader(const char* name) {
        return reinterpret_cast<void*>(OSMesaGetProcAddress(name));
    }
};

class DevicePlacement : public testing::TestWithParam<bool> {};

// World, view and projection in that order, the viewport's rectangle and depth range, and
// pixel centres on integer coordinates: every pixel of a 64x48 target is compared with a
// hand computation of coverage and depth, in the device's own off-screen context and in a
// context of the caller's (drawn the right way up there, as for a window).
TEST_P(DevicePlacement, TriangleLandsWhereTheConventionsPutIt) {
    std::unique_ptr<CallersContext> callers;
    std::unique_ptr<IDirect3DDevice8> owned;
    if (GetParam()) {
        callers = std::make_unique<CallersContext>(64, 48);
        ASSERT_NE(callers->context, nullptr);
        owned = std::make_unique<IDirect3DDevice8>(64, 48, &CallersContext::Loader);
    } else {
        owned = std::make_unique<IDirect3DDevice8>(64, 48);
    }
    IDirect3DDevice8& device = *owned;
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
    owned.reset();  // while the caller's context is still current
}

INSTANTIATE_TEST_SUITE_P(Contexts, DevicePlacement, testing::Bool(), [](const auto& info) {
    return info.param ? "CallersContext" : "OwnContext";
});

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

// A quad at depth 0.25 over a depth buffer cleared to 0.5, under each depth setting.
TEST(DevicePixels, DepthTestAndWrite) {
    struct Case {
        DWORD enable, write, function;
        bool drawn;
        float depthAfter;
    };
    const Case cases[] = {
        {D3DZB_TRUE, TRUE, D3DCMP_LESSEQUAL, true, 0.25f},
        {D3DZB_TRUE, TRUE, D3DCMP_LESS, true, 0.25f},
        {D3DZB_TRUE, TRUE, D3DCMP_GREATER, false, 0.5f},
        {D3DZB_TRUE, TRUE, D3DCMP_EQUAL, false, 0.5f},
        {D3DZB_TRUE, TRUE, D3DCMP_NEVER, false, 0.5f},
        {D3DZB_TRUE, FALSE, D3DCMP_LESS, true, 0.5f},        // tested, not written
        {D3DZB_FALSE, TRUE, D3DCMP_GREATER, true, 0.5f},     // no depth at all
    };
    IDirect3DDevice8 device(8, 8);
    Unlit(device);
    for (const Case& c : cases) {
        device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
        device.SetRenderState(D3DRS_ZENABLE, c.enable);
        device.SetRenderState(D3DRS_ZWRITEENABLE, c.write);
        device.SetRenderState(D3DRS_ZFUNC, c.function);
        ASSERT_EQ(DrawScreenRect(device, 0, 0, 8, 8, 0.25f, 0xFF00FF00), D3D_OK);
        std::vector<float> depths;
        device.ReadBackDepth(depths);
        const std::vector<D3DCOLOR> colours = Colours(device);
        SCOPED_TRACE(testing::Message() << "enable " << c.enable << " write " << c.write
                                        << " function " << c.function);
        EXPECT_EQ(Rgb(colours[27]), c.drawn ? 0x00FF00u : 0u);
        EXPECT_NEAR(depths[27], c.depthAfter, 1e-6f);
    }
}

// Every stencil operation in each of the three places it applies, at 0, in the middle and
// at 255, with 8-bit saturation and wrap-around kept apart.
TEST(DevicePixels, StencilOperationsSaturateAndWrap) {
    constexpr DWORD kRef = 0x3C;
    struct Op {
        D3DSTENCILOP op;
        BYTE after[3];  // from 0, 0x5A and 255
    };
    const Op ops[] = {
        {D3DSTENCILOP_KEEP, {0, 0x5A, 255}},
        {D3DSTENCILOP_ZERO, {0, 0, 0}},
        {D3DSTENCILOP_REPLACE, {kRef, kRef, kRef}},
        {D3DSTENCILOP_INCRSAT, {1, 0x5B, 255}},
        {D3DSTENCILOP_DECRSAT, {0, 0x59, 254}},
        {D3DSTENCILOP_INVERT, {255, 0xA5, 0}},
        {D3DSTENCILOP_INCR, {1, 0x5B, 0}},
        {D3DSTENCILOP_DECR, {255, 0x59, 254}},
    };
    const BYTE before[3] = {0, 0x5A, 255};
    // Where the op goes, and the stencil and depth functions that route a pixel to it.
    struct Slot {
        D3DRENDERSTATETYPE state;
        DWORD stencilFunction, depthFunction;
    };
    const Slot slots[] = {{D3DRS_STENCILPASS, D3DCMP_ALWAYS, D3DCMP_ALWAYS},
                          {D3DRS_STENCILFAIL, D3DCMP_NEVER, D3DCMP_ALWAYS},
                          {D3DRS_STENCILZFAIL, D3DCMP_ALWAYS, D3DCMP_NEVER}};
    IDirect3DDevice8 device(4, 4);
    Unlit(device);
    device.SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device.SetRenderState(D3DRS_STENCILREF, kRef);
    for (const Slot& slot : slots)
        for (const Op& op : ops)
            for (int i = 0; i < 3; ++i) {
                device.Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, before[i]);
                for (D3DRENDERSTATETYPE s :
                     {D3DRS_STENCILPASS, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL})
                    device.SetRenderState(s, s == slot.state ? op.op : D3DSTENCILOP_KEEP);
                device.SetRenderState(D3DRS_STENCILFUNC, slot.stencilFunction);
                device.SetRenderState(D3DRS_ZFUNC, slot.depthFunction);
                ASSERT_EQ(DrawScreenRect(device, 0, 0, 4, 4, 0.5f, 0xFFFFFFFF), D3D_OK);
                std::vector<BYTE> stencil;
                ASSERT_EQ(device.ReadBackStencil(stencil), D3D_OK);
                EXPECT_EQ(stencil[5], op.after[i])
                    << "state " << slot.state << " op " << op.op << " from " << int{before[i]};
            }

    // Masks: the comparison sees only the read-mask bits, writes touch only the write-mask bits.
    device.SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device.SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    device.SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    device.SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INVERT);
    device.SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device.SetRenderState(D3DRS_STENCILREF, 0x1A);
    device.SetRenderState(D3DRS_STENCILMASK, 0x0F);       // 0x5A and 0x1A agree here
    device.SetRenderState(D3DRS_STENCILWRITEMASK, 0xF0);  // only the high half inverts
    device.Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0x5A);
    DrawScreenRect(device, 0, 0, 4, 4, 0.5f, 0xFFFFFFFF);
    std::vector<BYTE> stencil;
    device.ReadBackStencil(stencil);
    EXPECT_EQ(stencil[0], 0xAA);
}

// Default culling drops counter-clockwise triangles; both windings under all three modes,
// with transformed and pre-transformed vertices.
TEST(DevicePixels, CullingByWinding) {
    IDirect3DDevice8 device(8, 8);
    Unlit(device);
    // Clockwise on screen: top left, top right, bottom left (y up before projection).
    const ColourVertex clockwise[3] = {{-1, 1, 0.5f, 0xFFFFFFFF},
                                       {1, 1, 0.5f, 0xFFFFFFFF},
                                       {-1, -1, 0.5f, 0xFFFFFFFF}};
    const ScreenVertex clockwiseScreen[3] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF},
                                             {7.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF},
                                             {-0.5f, 7.5f, 0.5f, 1, 0xFFFFFFFF}};
    struct Case {
        DWORD cull;
        bool clockwiseDrawn, counterClockwiseDrawn;
    };
    const Case cases[] = {{D3DCULL_CCW, true, false},
                          {D3DCULL_CW, false, true},
                          {D3DCULL_NONE, true, true}};
    DWORD defaultCull = 0;
    device.GetRenderState(D3DRS_CULLMODE, &defaultCull);
    EXPECT_EQ(defaultCull, DWORD{D3DCULL_CCW});
    for (bool screen : {false, true})
        for (const Case& c : cases)
            for (bool reversed : {false, true}) {
                device.SetRenderState(D3DRS_CULLMODE, c.cull);
                device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
                HRESULT hr;
                if (screen) {
                    ScreenVertex v[3] = {clockwiseScreen[0], clockwiseScreen[1],
                                         clockwiseScreen[2]};
                    if (reversed) std::swap(v[1], v[2]);
                    device.SetVertexShader(kScreenFvf);
                    hr = device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex));
                } else {
                    ColourVertex v[3] = {clockwise[0], clockwise[1], clockwise[2]};
                    if (reversed) std::swap(v[1], v[2]);
                    device.SetVertexShader(kColourFvf);
                    hr = device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ColourVertex));
                }
                ASSERT_EQ(hr, D3D_OK);
                const bool drawn = Rgb(Colours(device)[8 + 1]) != 0;  // pixel (1, 1)
                EXPECT_EQ(drawn, reversed ? c.counterClockwiseDrawn : c.clockwiseDrawn)
                    << "cull " << c.cull << (reversed ? " counter-clockwise" : " clockwise")
                    << (screen ? " pre-transformed" : "");
            }
}
