// Direct3D's drawing rules checked pixel by pixel against values worked out by hand, on
// the device's off-screen context and in a window's.
#include "target_context.h"

#include <algorithm>
#include <cmath>

using namespace d3d8_test;

namespace {

int Red(D3DCOLOR c) { return static_cast<int>((c >> 16) & 0xFF); }

struct Point {
    float x, y;
};

// Direct3D's top-left rule for a triangle clockwise on screen: a pixel centre is inside
// when it is strictly inside every edge, or exactly on an edge that is a top edge (flat,
// running right) or a left edge (running up), and strictly inside the others.
bool TopLeftCovers(const Point (&t)[3], float px, float py) {
    for (int i = 0; i < 3; ++i) {
        const Point a = t[i], b = t[(i + 1) % 3];
        const float e = (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
        if (e < 0) return false;
        if (e == 0) {
            const bool top = a.y == b.y && b.x > a.x, left = b.y < a.y;
            if (!top && !left) return false;
        }
    }
    return true;
}

struct LitVertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE
    float x, y, z, nx, ny, nz;
    D3DCOLOR colour;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;

// The whole target covered by a quad at z 0.5 facing the viewer (normal -z), identity
// transforms: object x, y -1..1 span the target. Left corners take one colour, right ones
// another.
void DrawLitQuad(IDirect3DDevice8& device, D3DCOLOR left, D3DCOLOR right) {
    const LitVertex quad[4] = {{-1, 1, 0.5f, 0, 0, -1, left},
                               {1, 1, 0.5f, 0, 0, -1, right},
                               {-1, -1, 0.5f, 0, 0, -1, left},
                               {1, -1, 0.5f, 0, 0, -1, right}};
    device.SetRenderState(D3DRS_LIGHTING, TRUE);
    device.SetVertexShader(kLitFvf);
    ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(LitVertex)), D3D_OK);
}

D3DMATERIAL8 Material(float diffuse, float specular, float power) {
    D3DMATERIAL8 m{};
    m.Diffuse = {diffuse, diffuse, diffuse, 1.0f};
    m.Specular = {specular, specular, specular, 1.0f};
    m.Power = power;
    return m;
}

// A light 2 in front of the quad's centre, on its axis: every corner is sqrt(6) away, in
// direction (+-1, +-1, 2) / sqrt(6), where N.L = 2 / sqrt(6).
D3DLIGHT8 LightInFront(D3DLIGHTTYPE type) {
    D3DLIGHT8 light{};
    light.Type = type;
    light.Diffuse = {1, 1, 1, 1};
    light.Position = {0.0f, 0.0f, -1.5f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    light.Attenuation0 = 1.0f;
    light.Range = 100.0f;
    return light;
}

const float kCornerFacing = 2.0f / std::sqrt(6.0f);

}  // namespace

INSTANTIATE_TEST_SUITE_P(Targets, OnEachTarget,
                         testing::Values(Target::OffScreen, Target::Window), TargetName);

// Rectangles, a sliver half a pixel high on a row of centres, a triangle lying between
// rows of centres and slanted triangles with centres on their edges, every pixel compared
// with the top-left rule worked out here.
TEST_P(OnEachTarget, FillRuleIsTopLeft) {
    IDirect3DDevice8& device = *device_;
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const Point shapes[][3] = {
        {{2, 3}, {6, 3}, {2, 8}}, {{6, 3}, {6, 8}, {2, 8}},      // rectangle 2..6 x 3..8
        {{8, 5}, {16, 5}, {8, 5.5f}}, {{16, 5}, {16, 5.5f}, {8, 5.5f}},  // sliver on row 5
        {{18, 2.5f}, {22, 3}, {18, 3}},                         // covers no centre
        {{24, 2}, {30, 5}, {24, 8}}, {{20, 10}, {26, 13}, {20, 16}},
        {{4, 12}, {10, 20}, {2, 22}}, {{12, 20}, {20, 12}, {28, 20}},
    };
    std::vector<bool> expected(kWidth * kHeight, false);
    device.SetVertexShader(kScreenFvf);
    for (const auto& t : shapes) {
        ASSERT_GT((t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[1].y - t[0].y) * (t[2].x - t[0].x), 0)
            << "shapes are listed clockwise on screen";
        const ScreenVertex v[3] = {{t[0].x, t[0].y, 0.5f, 1, 0xFFFFFFFF},
                                   {t[1].x, t[1].y, 0.5f, 1, 0xFFFFFFFF},
                                   {t[2].x, t[2].y, 0.5f, 1, 0xFFFFFFFF}};
        ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3D_OK);
        for (UINT y = 0; y < kHeight; ++y)
            for (UINT x = 0; x < kWidth; ++x)
                if (TopLeftCovers(t, float(x), float(y))) expected[y * kWidth + x] = true;
    }
    const std::vector<D3DCOLOR> colours = Colours(device);
    int wrong = 0;
    for (UINT y = 0; y < kHeight; ++y)
        for (UINT x = 0; x < kWidth; ++x)
            if ((Rgb(colours[y * kWidth + x]) != 0) != expected[y * kWidth + x]) {
                ++wrong;
                ADD_FAILURE() << "pixel " << x << "," << y << " should be "
                              << (expected[y * kWidth + x] ? "drawn" : "empty");
            }
    EXPECT_EQ(wrong, 0);
}

// No point light beyond its range: each corner is sqrt(6) = 2.449 from the light.
TEST_P(OnEachTarget, PointLightRange) {
    IDirect3DDevice8& device = *device_;
    const D3DMATERIAL8 material = Material(1.0f, 0.0f, 0.0f);
    device.SetMaterial(&material);
    for (const float range : {2.4f, 2.5f}) {
        D3DLIGHT8 light = LightInFront(D3DLIGHT_POINT);
        light.Range = range;
        device.SetLight(0, &light);
        device.LightEnable(0, TRUE);
        DrawLitQuad(device, 0xFFFFFFFF, 0xFFFFFFFF);  // white diffuse, from the vertices
        const float lit = range > std::sqrt(6.0f) ? kCornerFacing : 0.0f;
        EXPECT_NEAR(Red(Pixel(16, 12)), lit * 255, 1.5) << "range " << range;
    }
}

// Diffuse and specular are clamped and interpolated apart, then added. The vertex colour
// is the diffuse material (white on the left, black on the right); specular 0.5 everywhere
// (power 0, so N.H does not matter). At centre x the diffuse is 1 - x / 32.
TEST_P(OnEachTarget, SpecularIsInterpolatedApartFromDiffuse) {
    IDirect3DDevice8& device = *device_;
    const D3DMATERIAL8 material = Material(0.0f, 0.5f, 0.0f);
    device.SetMaterial(&material);
    D3DLIGHT8 light = LightInFront(D3DLIGHT_DIRECTIONAL);
    light.Specular = {1, 1, 1, 1};
    device.SetLight(0, &light);
    device.LightEnable(0, TRUE);
    device.SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    DrawLitQuad(device, 0xFFFFFFFF, 0xFF000000);
    for (int x : {4, 10, 16, 20, 26}) {
        const float diffuse = 1.0f - float(x) / float(kWidth);
        EXPECT_NEAR(Red(Pixel(x, 12)), std::min(1.0f, diffuse + 0.5f) * 255, 2.0) << "x " << x;
    }
}

// Without a local viewer the eye looks along +z: H = norm((0, 0, -1) + L). The light comes
// from up and in front, L = (0, 0.6, -0.8), so N.H = 1.8 / sqrt(3.6).
TEST_P(OnEachTarget, NonLocalViewerLooksAlongZ) {
    IDirect3DDevice8& device = *device_;
    const D3DMATERIAL8 material = Material(0.0f, 1.0f, 4.0f);
    device.SetMaterial(&material);
    D3DLIGHT8 light = LightInFront(D3DLIGHT_DIRECTIONAL);
    light.Direction = {0.0f, -0.6f, 0.8f};
    light.Specular = {0.5f, 0.5f, 0.5f, 1};
    device.SetLight(0, &light);
    device.LightEnable(0, TRUE);
    device.SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device.SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    DrawLitQuad(device, 0, 0);  // black diffuse: only the specular light shows
    const float nh = 1.8f / std::sqrt(3.6f);
    EXPECT_NEAR(Red(Pixel(16, 12)), 0.5f * std::pow(nh, 4.0f) * 255, 1.5);
}

// The emissive colour taken from the vertex's diffuse colour, with no light at all; and
// the same colour as diffuse and emissive at once.
TEST_P(OnEachTarget, EmissiveMaterialSource) {
    IDirect3DDevice8& device = *device_;
    const D3DMATERIAL8 material = Material(0.0f, 0.0f, 0.0f);
    device.SetMaterial(&material);
    device.SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device.SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
    DrawLitQuad(device, 0xFF204080, 0xFF204080);
    EXPECT_EQ(Pixel(16, 12), 0x204080u);

    D3DLIGHT8 light = LightInFront(D3DLIGHT_DIRECTIONAL);  // N.L = 1
    device.SetLight(0, &light);
    device.LightEnable(0, TRUE);
    device.SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    DrawLitQuad(device, 0xFF204060, 0xFF204060);
    EXPECT_EQ(Pixel(16, 12), 0x4080C0u);  // twice the colour
}

// A spot light on the quad's axis: every corner is 35.26 degrees off it (cos = 2/sqrt(6)).
// Inside the inner cone it is full, outside the outer none, and between them
// ((rho - cos(phi/2)) / (cos(theta/2) - cos(phi/2))) ^ falloff.
TEST_P(OnEachTarget, SpotLightSoftEdge) {
    IDirect3DDevice8& device = *device_;
    const D3DMATERIAL8 material = Material(1.0f, 0.0f, 0.0f);
    device.SetMaterial(&material);
    const float degree = 3.14159265f / 180.0f, rho = kCornerFacing;
    struct Case {
        float theta, phi, falloff;
    };
    for (const Case c : {Case{80, 100, 1}, Case{40, 100, 2}, Case{40, 100, 0.5f},
                         Case{20, 60, 1}}) {
        D3DLIGHT8 light = LightInFront(D3DLIGHT_SPOT);
        light.Theta = c.theta * degree;
        light.Phi = c.phi * degree;
        light.Falloff = c.falloff;
        device.SetLight(0, &light);
        device.LightEnable(0, TRUE);
        DrawLitQuad(device, 0xFFFFFFFF, 0xFFFFFFFF);
        const float inner = std::cos(c.theta * degree / 2), outer = std::cos(c.phi * degree / 2);
        const float spot = rho > inner    ? 1.0f
                           : rho <= outer ? 0.0f
                                          : std::pow((rho - outer) / (inner - outer), c.falloff);
        EXPECT_NEAR(Red(Pixel(16, 12)), kCornerFacing * spot * 255, 1.5)
            << "theta " << c.theta << " phi " << c.phi << " falloff " << c.falloff;
    }
}

// Pre-transformed vertices are clipped to the viewport's rectangle.
TEST_P(OnEachTarget, PreTransformedClippedToViewport) {
    IDirect3DDevice8& device = *device_;
    const D3DVIEWPORT8 viewport{4, 6, 10, 8, 0.0f, 1.0f};
    ASSERT_EQ(device.SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(DrawScreenRect(device, 0, 0, float(kWidth), float(kHeight), 0.5f, 0xFFFFFFFF),
              D3D_OK);
    const std::vector<D3DCOLOR> colours = Colours(device);
    for (UINT y = 0; y < kHeight; ++y)
        for (UINT x = 0; x < kWidth; ++x)
            EXPECT_EQ(Rgb(colours[y * kWidth + x]) != 0, x >= 4 && x < 14 && y >= 6 && y < 14)
                << x << "," << y;
}

// A one-pixel point covers [x - 0.5, x + 0.5) under the top-left rule: the pixel
// ceil(x - 0.5), the left or upper one on halves.
TEST_P(OnEachTarget, PointsOnHalfPixels) {
    IDirect3DDevice8& device = *device_;
    const Point points[] = {{2.5f, 3.5f}, {5, 6}, {7.5f, 1}, {9.25f, 4.75f}, {12.5f, 10.5f}};
    std::vector<bool> expected(kWidth * kHeight, false);
    std::vector<ScreenVertex> v;
    for (const Point p : points) {
        v.push_back({p.x, p.y, 0.5f, 1, 0xFFFFFFFF});
        expected[std::size_t(std::ceil(p.y - 0.5f)) * kWidth + std::size_t(std::ceil(p.x - 0.5f))] =
            true;
    }
    device.SetVertexShader(kScreenFvf);
    ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_POINTLIST, UINT(v.size()), v.data(), sizeof(ScreenVertex)),
              D3D_OK);
    const std::vector<D3DCOLOR> colours = Colours(device);
    for (UINT y = 0; y < kHeight; ++y)
        for (UINT x = 0; x < kWidth; ++x)
            EXPECT_EQ(Rgb(colours[y * kWidth + x]) != 0, expected[y * kWidth + x]) << x << "," << y;
}

// Lines from pixel centre to pixel centre: the end pixel is drawn with D3DRS_LASTPIXEL
// on (the default), not with it off; a strip ends once, a list's lines each end.
TEST_P(OnEachTarget, LastPixelOfLines) {
    IDirect3DDevice8& device = *device_;
    device.SetVertexShader(kScreenFvf);
    const ScreenVertex list[4] = {{2, 3, 0.5f, 1, 0xFFFFFFFF}, {8, 3, 0.5f, 1, 0xFFFFFFFF},
                                  {20, 2, 0.5f, 1, 0xFFFFFFFF}, {20, 9, 0.5f, 1, 0xFFFFFFFF}};
    const ScreenVertex strip[3] = {{2, 12, 0.5f, 1, 0xFFFFFFFF}, {9, 12, 0.5f, 1, 0xFFFFFFFF},
                                   {9, 20, 0.5f, 1, 0xFFFFFFFF}};
    const WORD reversed[4] = {3, 2, 1, 0};  // indexed: (20, 9) to (20, 2), (8, 3) to (2, 3)
    for (const bool lastPixel : {true, false}) {
        for (const bool indexed : {false, true}) {
            device.Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
            device.SetRenderState(D3DRS_LASTPIXEL, lastPixel);
            if (indexed)
                ASSERT_EQ(device.DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, 4, 2, reversed,
                                                        D3DFMT_INDEX16, list, sizeof(ScreenVertex)),
                          D3D_OK);
            else
                ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_LINELIST, 2, list, sizeof(ScreenVertex)), D3D_OK);
            ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_LINESTRIP, 2, strip, sizeof(ScreenVertex)), D3D_OK);
            SCOPED_TRACE(testing::Message() << "last pixel " << lastPixel << " indexed " << indexed);
            const auto lit = [&](int x, int y) { return Pixel(x, y) != 0; };
            // First pixels always, the ones between always, last pixels only with the state.
            const int listEnd[2][2] = {{8, 3}, {20, 9}}, listEndIndexed[2][2] = {{20, 2}, {2, 3}};
            const auto& ends = indexed ? listEndIndexed : listEnd;
            EXPECT_TRUE(lit(indexed ? 8 : 2, 3));
            EXPECT_TRUE(lit(5, 3));
            EXPECT_TRUE(lit(20, 5));
            EXPECT_TRUE(lit(9, 12));  // the strip's corner: the second line's first pixel
            for (const auto& end : ends) EXPECT_EQ(lit(end[0], end[1]), lastPixel) << end[0] << "," << end[1];
            EXPECT_EQ(lit(9, 20), lastPixel);
            EXPECT_FALSE(lit(9, 21));
        }
    }
}

// Where Direct3D 8 leaves the outcome open, the device's choice holds: an alpha equal to
// the reference passes the comparisons that admit equality; normals are used as
// transformed, unnormalised unless asked; colours of pre-transformed vertices interpolate
// linearly on screen whatever their RHW.
TEST_P(OnEachTarget, OpenCasesKeepTheirChoice) {
    IDirect3DDevice8& device = *device_;
    device.SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device.SetRenderState(D3DRS_ALPHAREF, 0x80);
    const struct {
        DWORD function;
        bool passes;
    } tests[] = {{D3DCMP_EQUAL, true},   {D3DCMP_LESSEQUAL, true}, {D3DCMP_GREATEREQUAL, true},
                 {D3DCMP_LESS, false},   {D3DCMP_GREATER, false},  {D3DCMP_NOTEQUAL, false}};
    for (const auto& t : tests) {
        device.Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        device.SetRenderState(D3DRS_ALPHAFUNC, t.function);
        ASSERT_EQ(DrawScreenRect(device, 0, 0, float(kWidth), float(kHeight), 0.5f, 0x80FFFFFF),
                  D3D_OK);
        EXPECT_EQ(Pixel(16, 12) != 0, t.passes) << "alpha function " << t.function;
    }
    device.SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);

    // A normal of length 2 doubles the diffuse light: 0.25 white lit head-on gives 0.5.
    const D3DMATERIAL8 material = Material(0.25f, 0.0f, 0.0f);
    device.SetMaterial(&material);
    D3DLIGHT8 light = LightInFront(D3DLIGHT_DIRECTIONAL);
    device.SetLight(0, &light);
    device.LightEnable(0, TRUE);
    device.SetRenderState(D3DRS_COLORVERTEX, FALSE);
    const LitVertex quad[4] = {{-1, 1, 0.5f, 0, 0, -2, 0}, {1, 1, 0.5f, 0, 0, -2, 0},
                               {-1, -1, 0.5f, 0, 0, -2, 0}, {1, -1, 0.5f, 0, 0, -2, 0}};
    device.SetRenderState(D3DRS_LIGHTING, TRUE);
    device.SetVertexShader(kLitFvf);
    for (const bool normalize : {false, true}) {
        device.SetRenderState(D3DRS_NORMALIZENORMALS, normalize);
        ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(LitVertex)), D3D_OK);
        EXPECT_NEAR(Red(Pixel(16, 12)), (normalize ? 0.25f : 0.5f) * 255, 1.5)
            << "normalized " << normalize;
    }
    device.SetRenderState(D3DRS_LIGHTING, FALSE);

    // Left edge black with RHW 1, right edge white with RHW 0.1: at centre x the colour is
    // x / 31 of the way, as on screen.
    const ScreenVertex ramp[4] = {{0, -1, 0.5f, 1.0f, 0xFF000000}, {31, -1, 0.5f, 0.1f, 0xFFFFFFFF},
                                  {0, 30, 0.5f, 1.0f, 0xFF000000}, {31, 30, 0.5f, 0.1f, 0xFFFFFFFF}};
    device.SetVertexShader(kScreenFvf);
    ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, ramp, sizeof(ScreenVertex)), D3D_OK);
    for (int x : {4, 15, 27}) EXPECT_NEAR(Red(Pixel(x, 12)), x / 31.0f * 255, 1.5) << "x " << x;
}
