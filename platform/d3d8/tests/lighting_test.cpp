#include "test_frame.h"

#include <png.h>

#include <cmath>
#include <filesystem>

using namespace d3d8_test;

namespace {

struct LitVertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE
    float x, y, z, nx, ny, nz;
    D3DCOLOR colour;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;

// The centre pixel of an 8x8 target after a full-screen quad at z 0.5 facing the viewer.
D3DCOLOR CentreOfLitQuad(IDirect3DDevice8& device, DWORD fvf, D3DCOLOR vertexColour) {
    const LitVertex quad[4] = {{-1, 1, 0.5f, 0, 0, -1, vertexColour},
                               {1, 1, 0.5f, 0, 0, -1, vertexColour},
                               {-1, -1, 0.5f, 0, 0, -1, vertexColour},
                               {1, -1, 0.5f, 0, 0, -1, vertexColour}};
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device.SetVertexShader(fvf);
    EXPECT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(LitVertex)), D3D_OK);
    return Colours(device)[4 * 8 + 4];
}

int Channel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

}  // namespace

// The fixed-function diffuse rule: material diffuse times light diffuse times N.L (never
// below 0) times attenuation, plus material ambient times the ambient render state, with
// the diffuse material taken from the vertex colour when the vertex has one.
TEST(DeviceLighting, DiffuseRule) {
    IDirect3DDevice8 device(8, 8);
    ASSERT_TRUE(device.HasGL());
    D3DMATERIAL8 material{};
    material.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    material.Ambient = {0.4f, 0.4f, 0.4f, 1.0f};
    ASSERT_EQ(device.SetMaterial(&material), D3D_OK);
    device.SetRenderState(D3DRS_AMBIENT, 0xFF404040);  // a quarter, roughly
    const float ambient = 0.4f * (64.0f / 255.0f);

    struct Case {
        D3DLIGHTTYPE type;
        float angle;          // directional: between the light and the normal, degrees
        float attenuation;    // point: how much of its light reaches the quad's corners
        DWORD fvf;
        bool colourVertex;
        float red, green, blue;  // the diffuse colour lit
    };
    const Case cases[] = {
        {D3DLIGHT_DIRECTIONAL, 0, 1, kLitFvf, false, 1.0f, 0.5f, 0.25f},
        {D3DLIGHT_DIRECTIONAL, 60, 1, kLitFvf, false, 1.0f, 0.5f, 0.25f},
        {D3DLIGHT_DIRECTIONAL, 100, 1, kLitFvf, false, 1.0f, 0.5f, 0.25f},  // from behind
        // Lit per vertex: each corner is sqrt(6) from the light, N.L = 2 / sqrt(6).
        {D3DLIGHT_POINT, 0, 1.0f / 3.0f, kLitFvf, false, 1.0f, 0.5f, 0.25f},
        // Vertex colour 0x8000FF80 stands in for the diffuse material.
        {D3DLIGHT_DIRECTIONAL, 60, 1, kLitFvf, true, 0.0f, 1.0f, 128 / 255.0f},
        // Without a normal only ambient light arrives.
        {D3DLIGHT_DIRECTIONAL, 0, 0, D3DFVF_XYZ | D3DFVF_DIFFUSE, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        D3DLIGHT8 light{};
        light.Type = c.type;
        light.Diffuse = {1, 1, 1, 1};
        const float radians = c.angle * 3.14159265f / 180.0f;
        // The quad faces -z; the light travels into +z, tilted by the angle.
        light.Direction = {std::sin(radians), 0.0f, std::cos(radians)};
        light.Position = {0.0f, 0.0f, -1.5f};  // 2 in front of the quad's centre
        light.Attenuation1 = 1.0f;             // 1 / distance
        light.Range = 100.0f;
        ASSERT_EQ(device.SetLight(3, &light), D3D_OK);
        ASSERT_EQ(device.LightEnable(3, TRUE), D3D_OK);
        device.SetRenderState(D3DRS_COLORVERTEX, c.colourVertex);
        const float facing = c.type == D3DLIGHT_POINT
                                 ? c.attenuation
                                 : std::max(0.0f, std::cos(radians)) * c.attenuation;
        const D3DCOLOR got = CentreOfLitQuad(device, c.fvf, 0x8000FF80);
        const float expected[3] = {c.red, c.green, c.blue};
        for (int k = 0; k < 3; ++k) {
            const float value = std::min(1.0f, expected[k] * facing + ambient);
            EXPECT_NEAR(Channel(got, 16 - 8 * k), value * 255.0f, 2.0f)
                << "type " << c.type << " angle " << c.angle << " channel " << k;
        }
    }
    // Lit nothing but ambient once the light is off.
    ASSERT_EQ(device.LightEnable(3, FALSE), D3D_OK);
    device.SetRenderState(D3DRS_COLORVERTEX, FALSE);
    EXPECT_NEAR(Channel(CentreOfLitQuad(device, kLitFvf, 0), 8), ambient * 255.0f, 2.0f);

    // Light and material state read back; a light never set is enabled as the default.
    BOOL enabled = FALSE;
    ASSERT_EQ(device.LightEnable(9, TRUE), D3D_OK);
    ASSERT_EQ(device.GetLightEnable(9, &enabled), D3D_OK);
    EXPECT_TRUE(enabled);
    D3DLIGHT8 fallback{};
    ASSERT_EQ(device.GetLight(9, &fallback), D3D_OK);
    EXPECT_EQ(fallback.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(fallback.Direction.z, 1.0f);
    EXPECT_EQ(device.GetLight(10, &fallback), D3DERR_INVALIDCALL);
    for (DWORD i = 20; i < 27; ++i) EXPECT_EQ(device.LightEnable(i, TRUE), D3D_OK);
    EXPECT_EQ(device.LightEnable(27, TRUE), D3DERR_INVALIDCALL);  // a ninth active light
    D3DMATERIAL8 back{};
    ASSERT_EQ(device.GetMaterial(&back), D3D_OK);
    EXPECT_EQ(back.Diffuse.g, 0.5f);
}

// The darkening pass of a stencil shadow: a half-transparent black rectangle blended over
// white, only where the stencil is set, with colour writes limited to some channels.
TEST(DeviceBlending, DarkenStencilledPixelsAndMaskChannels) {
    IDirect3DDevice8 device(8, 8);
    Unlit(device);
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFFFFFFFF,
                 1.0f, 0);
    const D3DRECT left{0, 0, 4, 8};
    ASSERT_EQ(device.Clear(1, &left, D3DCLEAR_STENCIL, 0, 1.0f, 1), D3D_OK);
    device.SetRenderState(D3DRS_ZENABLE, FALSE);
    device.SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device.SetRenderState(D3DRS_STENCILFUNC, D3DCMP_LESSEQUAL);
    device.SetRenderState(D3DRS_STENCILREF, 1);
    device.SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    ASSERT_EQ(DrawScreenRect(device, 0, 0, 8, 8, 0, 0x80000000), D3D_OK);
    std::vector<D3DCOLOR> c = Colours(device);
    EXPECT_NEAR(Channel(c[3 * 8 + 1], 8), 127, 1);  // stencilled: halved
    EXPECT_EQ(Rgb(c[3 * 8 + 6]), 0xFFFFFFu);       // not stencilled: untouched

    device.SetRenderState(D3DRS_STENCILENABLE, FALSE);
    device.SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device.SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED);
    ASSERT_EQ(DrawScreenRect(device, 0, 0, 8, 8, 0, 0xFF000000), D3D_OK);
    c = Colours(device);
    EXPECT_EQ(Rgb(c[3 * 8 + 6]), 0x00FFFFu);  // red cleared, green and blue kept
    // Clear ignores the colour-write state.
    device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0);
    EXPECT_EQ(Rgb(Colours(device)[0]), 0x102030u);
}

// Flat shading takes the first vertex's colour; the frame saved as PNG reads back the same.
TEST(DeviceFrames, FlatShadingAndPng) {
    IDirect3DDevice8 device(8, 8);
    Unlit(device);
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device.SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    const ScreenVertex v[3] = {{-0.5f, -0.5f, 0, 1, 0xFF336699},
                               {7.5f, -0.5f, 0, 1, 0xFFFF0000},
                               {-0.5f, 7.5f, 0, 1, 0xFF00FF00}};
    device.SetVertexShader(kScreenFvf);
    ASSERT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3D_OK);
    const std::vector<D3DCOLOR> before = Colours(device);
    EXPECT_EQ(Rgb(before[1 * 8 + 1]), 0x336699u);
    EXPECT_EQ(Rgb(before[2 * 8 + 3]), 0x336699u);
    EXPECT_EQ(Rgb(before[7 * 8 + 7]), 0u);

    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "d3d8_device_frame_test.png";
    ASSERT_EQ(device.SaveBackBufferPng(path.string().c_str()), D3D_OK);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, path.string().c_str()), 0);
    ASSERT_EQ(image.width, 8u);
    ASSERT_EQ(image.height, 8u);
    image.format = PNG_FORMAT_BGRA;  // the bytes of a D3DCOLOR
    std::vector<D3DCOLOR> after(64);
    ASSERT_NE(png_image_finish_read(&image, nullptr, after.data(), 0, nullptr), 0);
    std::filesystem::remove(path);
    EXPECT_EQ(after, before);
    EXPECT_EQ(IDirect3DDevice8::WritePng("/nonexistent-folder/x.png", 8, 8, after.data()), E_FAIL);
}
