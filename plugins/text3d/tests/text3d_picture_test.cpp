// "Vantrel" in 3D text on a 3D object, lit and drawn through the device, saved as a PNG
// and measured: each letter's pixels fill the box its glyph metrics and the pen advances
// put it in, as the camera projects it, and nothing is drawn outside those boxes.
#include <gtest/gtest.h>

#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engine_host.h"
#include "frame_renderer.h"
#include "plugin_frame/siblings/camera_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/string_channel.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "plugin_frame/type_guids.h"
#include "scene_builder.h"
#include "text3d/d3dx_text.h"
#include "text3d/text3d_channel.h"

namespace {

constexpr unsigned kWidth = 640, kHeight = 240;
constexpr char kText[] = "Vantrel";
constexpr int kLetters = sizeof kText - 1;

struct PixelBox {
    float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
    void Add(float x, float y) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
};

TEST(TextPicture, VantrelLitAndWhereTheAdvancesPutIt) {
    EngineHost host{CHANNELS_DIR};
    IDirect3DDevice8* device = scene::SceneDevice(host.Engine());
    if (!d3d8host::CanDraw(device)) GTEST_SKIP() << "no device to draw with";
    ASSERT_TRUE(scene::ResizeScene(host.Engine(), kWidth, kHeight));

    auto* object = host.Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel, "title");
    auto* surface = host.Create<Kco_DX8_SurfaceChannel>(type_guids::kSurfaceChannel);
    auto* text3d = host.Create<Kco_DX8_3DText>(type_guids::k3DText);
    ASSERT_TRUE(object && surface && text3d);
    static_cast<Kco_StringChannel*>(text3d->GetChildFromLinkPosition(2, 0))->SetString(kText);
    surface->SetMaterialColor({1.0f, 0.6f, 0.1f, 1.0f});
    ASSERT_TRUE(host.Link(surface, text3d, 0));
    ASSERT_TRUE(host.Link(object, surface, 0));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    object->SetObjectMatrix(identity);

    // The glyph boxes from D3DXCreateText itself, for the channel's default font.
    GLYPHMETRICSFLOAT metrics[kLetters];
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontA(0, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 4, 2, "Arial");
    HGDIOBJ previous = SelectObject(dc, font);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateText(device, dc, kText, 0.005f, 0.15f, &mesh, nullptr, metrics), D3D_OK);
    mesh->Release();
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(font);
    float width = 0;
    for (const GLYPHMETRICSFLOAT& m : metrics) width += m.gmfCellIncX;

    // Seen from the extruded side, lit from beside the camera.
    scene::SceneBuilder builder(host);
    const D3DXVECTOR3 centre(width / 2, 0.35f, 0.0f);
    Kco_DX8_Camera* camera = builder.AddCamera("eye", centre + D3DXVECTOR3(0.4f, 0.9f, -3.2f), centre, 0.9f, 0.5f, 50.0f);
    ASSERT_NE(builder.AddPointLight("lamp", centre + D3DXVECTOR3(-1, 2, -5), {1, 1, 1, 1}), nullptr);
    ASSERT_NE(camera, nullptr);

    std::vector<D3DCOLOR> pixels;
    ASSERT_TRUE(scene::RenderFrame(host.Engine(), host.Group()));
    ASSERT_EQ(d3d8host::ReadBackColor(device, pixels), D3D_OK);
    ASSERT_EQ(pixels.size(), size_t(kWidth) * kHeight);
    const std::filesystem::path png = std::filesystem::current_path() / "vantrel_3dtext.png";
    ASSERT_EQ(d3d8host::SaveBackBufferPng(device, png.string().c_str()), D3D_OK);
    EXPECT_GT(std::filesystem::file_size(png), 1000u);

    D3DXMATRIX view = camera->GetViewMatrix(), projection;
    D3DXMatrixPerspectiveFovLH(&projection, camera->GetFieldOfView(), float(kWidth) / kHeight, camera->GetNearClip(),
                               camera->GetFarClip());
    const D3DXMATRIX viewProjection = view * projection;
    auto project = [&](float x, float y, float z) {
        D3DXVECTOR3 clip, p(x, y, z);
        D3DXVec3TransformCoord(&clip, &p, &viewProjection);
        return D3DXVECTOR2{(clip.x + 1.0f) * 0.5f * kWidth - 0.5f, (1.0f - clip.y) * 0.5f * kHeight - 0.5f};
    };
    PixelBox expected[kLetters];
    float pen = 0;
    for (int i = 0; i < kLetters; ++i) {
        const GLYPHMETRICSFLOAT& m = metrics[i];
        for (float x : {pen + m.gmfptGlyphOrigin.x, pen + m.gmfptGlyphOrigin.x + m.gmfBlackBoxX})
            for (float y : {m.gmfptGlyphOrigin.y, m.gmfptGlyphOrigin.y - m.gmfBlackBoxY})
                for (float z : {0.0f, -0.15f}) {
                    D3DXVECTOR2 p = project(x, y, z);
                    expected[i].Add(p.x, p.y);
                }
        pen += m.gmfCellIncX;
    }

    // Text pixels: anything clearly above the black background. None may lie outside the
    // letters' boxes (one pixel of slack for the black-box rounding). Neighbouring boxes
    // overlap a little where perspective widens them, so each letter is measured over the
    // columns no other box reaches, and its side is checked only where it has no neighbour.
    auto inside = [&](const PixelBox& box, float x, float y) {
        return x >= box.left - 1.5f && x <= box.right + 1.5f && y >= box.top - 1.5f && y <= box.bottom + 1.5f;
    };
    PixelBox seen[kLetters];
    int stray = 0, lit = 0, count = 0;
    for (unsigned y = 0; y < kHeight; ++y)
        for (unsigned x = 0; x < kWidth; ++x) {
            D3DCOLOR c = pixels[size_t(y) * kWidth + x];
            int r = int((c >> 16) & 0xFF), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
            if (r + g + b < 40) continue;
            ++count;
            lit += r > 120;
            int owners = 0, owner = -1;
            for (int i = 0; i < kLetters; ++i)
                if (inside(expected[i], float(x), float(y))) ++owners, owner = i;
            if (owners == 0) ++stray;
            if (owners == 1) seen[owner].Add(float(x), float(y));
        }
    EXPECT_GT(count, 5000);
    EXPECT_EQ(stray, 0) << "pixels outside every letter's box";
    EXPECT_GT(lit, count / 2) << "the lit faces are bright";
    int sidesChecked = 0;
    for (int i = 0; i < kLetters; ++i) {
        SCOPED_TRACE(std::string("letter ") + kText[i]);
        bool leftFree = i == 0 || expected[i - 1].right + 3 < expected[i].left;
        bool rightFree = i + 1 == kLetters || expected[i].right + 3 < expected[i + 1].left;
        sidesChecked += leftFree + rightFree;
        if (leftFree) {
            EXPECT_NEAR(seen[i].left, expected[i].left, 2.5f);
        }
        if (rightFree) {
            EXPECT_NEAR(seen[i].right, expected[i].right, 2.5f);
        }
        EXPECT_NEAR(seen[i].top, expected[i].top, 2.5f);
        EXPECT_NEAR(seen[i].bottom, expected[i].bottom, 2.5f);
        EXPECT_GT(seen[i].right - seen[i].left, (expected[i].right - expected[i].left) * 0.5f);
    }
    EXPECT_GE(sidesChecked, 6) << "most letters stand apart";
}

}  // namespace
