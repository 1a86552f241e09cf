// Frames drawn through the device by the frame renderer, checked pixel by pixel against
// hand-computed projections: a lit sphere over a plane, and stencil shadows of the render
// channel with a test shadow object whose volume is known.
#include <gtest/gtest.h>

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

#include "engine_host.h"
#include "frame_renderer.h"
#include "plugin_frame/siblings/camera_channel.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/primitive_mesh.h"
#include "plugin_frame/siblings/skinned_object_data.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "plugin_frame/siblings/stencil_shadow.h"
#include "plugin_frame/type_guids.h"
#include "scene_builder.h"
#include "volume_caster.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kWidth = 320, kHeight = 240;

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

struct Frame {
    std::vector<D3DCOLOR> pixels;
    D3DCOLOR At(int x, int y) const { return pixels[size_t(y) * kWidth + size_t(x)]; }
    static int Red(D3DCOLOR c) { return int((c >> 16) & 0xFF); }
    static int Green(D3DCOLOR c) { return int((c >> 8) & 0xFF); }
    static int Blue(D3DCOLOR c) { return int(c & 0xFF); }
};

class SceneImage : public ::testing::Test {
protected:
    void SetUp() override {
        device = scene::SceneDevice(host.Engine());
        if (!device || !device->HasGL()) GTEST_SKIP() << "no off-screen GL context";
        ASSERT_TRUE(scene::ResizeScene(host.Engine(), kWidth, kHeight));
    }

    Frame Render() {
        Frame frame;
        EXPECT_TRUE(scene::RenderFrame(host.Engine(), host.Group()));
        EXPECT_EQ(device->ReadBackColor(frame.pixels), D3D_OK);
        EXPECT_EQ(frame.pixels.size(), size_t(kWidth) * kHeight);
        return frame;
    }

    // Where a world point lands, in pixels (x right, y down), by the camera's matrices.
    D3DXVECTOR3 Project(Kco_DX8_Camera* camera, const D3DXVECTOR3& p) {
        D3DXMATRIX view = camera->GetViewMatrix(), projection;
        D3DXMatrixPerspectiveFovLH(&projection, camera->GetFieldOfView(), float(kWidth) / kHeight, camera->GetNearClip(),
                                   camera->GetFarClip());
        D3DXMATRIX m = view * projection;
        D3DXVECTOR3 clip;
        D3DXVec3TransformCoord(&clip, &p, &m);
        return D3DXVECTOR3((clip.x + 1.0f) * 0.5f * kWidth - 0.5f, (1.0f - clip.y) * 0.5f * kHeight - 0.5f, clip.z);
    }

    // The point of the plane y = 0 seen at pixel (x, y).
    D3DXVECTOR3 GroundAt(Kco_DX8_Camera* camera, float x, float y) {
        D3DXMATRIX view = camera->GetViewMatrix(), projection, inverse;
        D3DXMatrixPerspectiveFovLH(&projection, camera->GetFieldOfView(), float(kWidth) / kHeight, camera->GetNearClip(),
                                   camera->GetFarClip());
        D3DXMATRIX m = view * projection;
        D3DXMatrixInverse(&inverse, nullptr, &m);
        const float cx = (x + 0.5f) / kWidth * 2.0f - 1.0f, cy = 1.0f - (y + 0.5f) / kHeight * 2.0f;
        D3DXVECTOR3 a(cx, cy, 0.0f), b(cx, cy, 1.0f);
        D3DXVec3TransformCoord(&a, &a, &inverse);
        D3DXVec3TransformCoord(&b, &b, &inverse);
        const float t = a.y / (a.y - b.y);
        return a + (b - a) * t;
    }

    EngineHost host{CHANNELS_DIR};
    scene::SceneBuilder builder{host};
    IDirect3DDevice8* device = nullptr;
};

}  // namespace

// A red sphere of radius 1 resting on a blue plane, lit from above and in front: its
// outline is where the projection puts it, its lit top is brighter than its underside, and
// the plane is brighter under the light than far from it.
TEST_F(SceneImage, LitSphereOverPlane) {
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    ASSERT_NE(builder.AddPrimitive("ground", kPrimitivePlane, {40, 0, 40}, 48, 48, {0.2f, 0.3f, 1.0f, 1}, identity), nullptr);
    const D3DXVECTOR3 centre(0, 1, 0);
    ASSERT_NE(builder.AddPrimitive("ball", kPrimitiveSphere, {1, 1, 1}, 48, 24, {1.0f, 0.15f, 0.1f, 1},
                                   Translation(centre.x, centre.y, centre.z)),
              nullptr);
    ASSERT_NE(builder.AddPointLight("lamp", {0, 6, -3}, {1, 1, 1, 1}), nullptr);
    Kco_DX8_Camera* camera = builder.AddCamera("eye", {0, 2, -7}, {0, 0.8f, 0}, 0.8f, 0.5f, 100.0f);
    ASSERT_NE(camera, nullptr);

    const Frame frame = Render();
    const fs::path png = fs::temp_directory_path() / ("scene_image_" + std::to_string(::getpid()) + ".png");
    ASSERT_EQ(device->SaveBackBufferPng(png.string().c_str()), D3D_OK);
    EXPECT_GT(fs::file_size(png), 1000u);
    fs::remove(png);

    // Silhouette: red-dominant pixels form a disc around the projected centre whose radius
    // is the sphere's angular radius on screen.
    const D3DXVECTOR3 c = Project(camera, centre);
    const D3DXVECTOR3 eye(0, 2, -7);
    const D3DXVECTOR3 toCentre = centre - eye;
    const float distance = D3DXVec3Length(&toCentre);
    const float expectedRadius = std::tan(std::asin(1.0f / distance)) / std::tan(0.4f) * (kHeight * 0.5f);
    double count = 0, sumX = 0, sumY = 0;
    for (int y = 0; y < int(kHeight); ++y)
        for (int x = 0; x < int(kWidth); ++x) {
            const D3DCOLOR p = frame.At(x, y);
            if (Frame::Red(p) > 2 * Frame::Blue(p) + 10) ++count, sumX += x, sumY += y;
        }
    ASSERT_GT(count, 0);
    // The silhouette of a sphere off the view axis is a slightly stretched ellipse.
    EXPECT_NEAR(count, 3.14159 * expectedRadius * expectedRadius, 0.08 * count);
    EXPECT_NEAR(sumX / count, c.x, 1.5);
    EXPECT_NEAR(sumY / count, c.y, 3.0);

    // Shading: the part facing the light is brighter than the underside, and lit at all.
    const D3DCOLOR top = frame.At(int(c.x), int(c.y - 0.6f * expectedRadius));
    const D3DCOLOR bottom = frame.At(int(c.x), int(c.y + 0.6f * expectedRadius));
    EXPECT_GT(Frame::Red(top), 150);
    EXPECT_GT(Frame::Red(top), Frame::Red(bottom) + 60);
    // The plane: near the light's foot against far off to the side.
    const D3DXVECTOR3 near = Project(camera, {1.8f, 0, -1.5f}), far = Project(camera, {14, 0, 20});
    ASSERT_GE(far.x, 0.0f);
    ASSERT_LT(far.x, float(kWidth));
    EXPECT_GT(Frame::Blue(frame.At(int(near.x), int(near.y))), Frame::Blue(frame.At(int(far.x), int(far.y))) + 40);
}

// The render channel darkens exactly the ground inside the test object's volume, with
// depth-pass and depth-fail alike when the camera is outside, and with depth-fail (chosen
// by itself) when the camera stands inside the volume.
TEST_F(SceneImage, StencilShadowDarkensWhatLiesInsideTheVolume) {
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    ASSERT_NE(builder.AddPrimitive("ground", kPrimitivePlane, {40, 0, 40}, 16, 16, {0.9f, 0.9f, 0.9f, 1}, identity), nullptr);
    Kco_DX8_ObjectChannel* box =
        builder.AddPrimitive("box", kPrimitiveBox, {2, 2, 2}, 1, 1, {0.9f, 0.9f, 0.2f, 1}, Translation(0, 3, 0));
    Kco_DX8_PointLight* lamp = builder.AddPointLight("lamp", {0, 20, 0}, {1, 1, 1, 1});
    Kco_DX8_StencilShadow* shadows = builder.AddShadowRenderer("shadows", {lamp});
    ASSERT_NE(shadows, nullptr);
    auto* caster = static_cast<TestVolumeCaster*>(builder.AddShadowCaster(shadows, kTestVolumeCasterGuid, box));
    ASSERT_NE(caster, nullptr);
    Kco_DX8_Camera* camera = builder.AddCamera("eye", {6, 7, -9}, {0, 0, 0}, 0.9f, 0.5f, 200.0f);

    // Pixels of open ground, classified by whether their ground point lies in the box's
    // footprint (|x|, |z| < 1), keeping clear of the edges and of the box itself.
    auto check = [&](const char* what, const Frame& lit, const Frame& shaded) {
        int inside = 0, outside = 0;
        for (int y = 0; y < int(kHeight); y += 3)
            for (int x = 0; x < int(kWidth); x += 3) {
                const D3DCOLOR before = lit.At(x, y);
                if (Frame::Blue(before) < 40 || Frame::Blue(before) * 2 < Frame::Red(before)) continue;  // box or sky
                const D3DXVECTOR3 g = GroundAt(camera, float(x), float(y));
                const float edge = std::max(std::fabs(g.x), std::fabs(g.z));
                if (std::fabs(edge - 1.0f) < 0.15f) continue;
                const int a = Frame::Green(before), b = Frame::Green(shaded.At(x, y));
                if (edge < 1.0f) {
                    ++inside;
                    ASSERT_NEAR(b, a / 2, 4) << what << " inside at " << x << "," << y;
                } else {
                    ++outside;
                    ASSERT_NEAR(b, a, 2) << what << " outside at " << x << "," << y;
                }
            }
        EXPECT_GT(inside, 20) << what;
        EXPECT_GT(outside, 200) << what;
    };

    shadows->SetShadowDarkness(0.0f);
    const Frame lit = Render();
    shadows->SetShadowDarkness(0.5f);
    for (int method : {kShadowMethodAuto, kShadowMethodDepthPass, kShadowMethodDepthFail}) {
        shadows->SetShadowMethod(method);
        caster->calls.clear();
        const Frame shaded = Render();
        ASSERT_EQ(caster->calls.size(), 1u);
        EXPECT_EQ(caster->calls[0].light, D3DXVECTOR3(0, 20, 0));
        EXPECT_EQ(caster->calls[0].extrusion, -1.0f);
        EXPECT_EQ(caster->calls[0].caps, method == kShadowMethodDepthFail);
        check(method == kShadowMethodAuto ? "auto" : method == kShadowMethodDepthPass ? "depth-pass" : "depth-fail", lit,
              shaded);
    }

    // The camera under the box, inside the volume, looking down past the footprint's edge.
    camera->SetLookAt({0, 1.5f, -0.3f}, {0, 0, 1.6f}, {0, 1, 0});
    shadows->SetShadowDarkness(0.0f);
    const Frame litInside = Render();
    shadows->SetShadowDarkness(0.5f);
    shadows->SetShadowMethod(kShadowMethodAuto);
    caster->calls.clear();
    const Frame shadedInside = Render();
    ASSERT_EQ(caster->calls.size(), 1u);
    EXPECT_TRUE(caster->calls[0].caps);
    check("camera inside", litInside, shadedInside);
}

// A skinned mesh is drawn where its bones put it: a white quad whose vertices follow
// bone 0 (a matrix channel moved 2 to the right) is seen there, not at its own place.
TEST_F(SceneImage, SkinnedMeshIsDrawnWhereItsBonesPutIt) {
    auto* object = host.Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel);
    auto* surface = host.Create<Kco_DX8_SurfaceChannel>(type_guids::kSurfaceChannel);
    auto* skin = host.Create<Kco_DX8_SkinnedObjectData>(type_guids::kSkinnedObjectData);
    auto* bone = host.Create<Kco_MatrixChannel>(type_guids::kMatrixChannel);
    ASSERT_TRUE(object && surface && skin && bone);
    ASSERT_TRUE(host.Link(surface, skin, 0));
    ASSERT_TRUE(host.Link(object, surface, 0));
    ASSERT_TRUE(host.Link(skin, bone, 2));
    surface->SetMaterialColor({1, 1, 1, 1});
    // A unit quad in the x-y plane facing the camera (-z), clockwise seen from there.
    const D3DXVECTOR3 quad[4] = {{-0.5f, -0.5f, 0}, {-0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, -0.5f, 0}};
    skin->SetVertexCount(4);
    for (int i = 0; i < 4; ++i) {
        skin->SetVertexPosition(quad[i], i);
        skin->SetVertexNormal(D3DXVECTOR3(0, 0, -1), i);
        skin->SetVertexBlend(VertexBlend{{0.3f, 0.3f, 0.3f}, 0x01010100u}, i);
    }
    const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    skin->SetIndexCount(6);
    for (int i = 0; i < 6; ++i) skin->SetIndex(indices[i], i);
    skin->SetBlendWeightCount(1);
    skin->SetBlendMatrix(1, Translation(0, 50, 0));  // named by the vertices, but not in use
    bone->SetMatrix(Translation(2, 0, 0));
    // The object's own matrix does not move skinned vertices.
    object->SetObjectMatrix(Translation(-2, 0, 0));
    ASSERT_NE(builder.AddPointLight("lamp", {0, 0, -5}, {1, 1, 1, 1}), nullptr);
    Kco_DX8_Camera* camera = builder.AddCamera("eye", {0, 0, -6}, {0, 0, 0}, 0.8f, 0.5f, 100.0f);

    const Frame frame = Render();
    const D3DXVECTOR3 moved = Project(camera, {2, 0, 0}), home = Project(camera, {0, 0, 0}),
                      other = Project(camera, {-2, 0, 0});
    EXPECT_GT(Frame::Green(frame.At(int(moved.x), int(moved.y))), 100);
    EXPECT_EQ(Frame::Green(frame.At(int(home.x), int(home.y))), 0);
    EXPECT_EQ(Frame::Green(frame.At(int(other.x), int(other.y))), 0);
}
