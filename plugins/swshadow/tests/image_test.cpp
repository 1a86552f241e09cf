// Shadows drawn through the device by the stencil shadow render channel with this shadow
// object, checked pixel by pixel against the analytic shadow on the ground: the convex
// hull of the caster's corners projected from the point light onto the plane y = 0.
#include <algorithm>
#include <cmath>

#include "plugin_frame/siblings/camera_channel.h"
#include "plugin_frame/siblings/point_light_channel.h"
#include "plugin_frame/siblings/primitive_mesh.h"
#include "plugin_frame/siblings/stencil_shadow.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "scene_builder.h"
#include "shadow_scene.h"

namespace {

constexpr unsigned kWidth = 320, kHeight = 240;

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

int Green(D3DCOLOR c) { return int((c >> 8) & 0xFF); }
int Blue(D3DCOLOR c) { return int(c & 0xFF); }
int Red(D3DCOLOR c) { return int((c >> 16) & 0xFF); }

struct Point2 {
    double x, z;
};

// Convex hull, counter-clockwise in (x, z).
std::vector<Point2> Hull(std::vector<Point2> p) {
    std::sort(p.begin(), p.end(), [](const Point2& a, const Point2& b) { return a.x < b.x || (a.x == b.x && a.z < b.z); });
    auto cross = [](const Point2& o, const Point2& a, const Point2& b) {
        return (a.x - o.x) * (b.z - o.z) - (a.z - o.z) * (b.x - o.x);
    };
    std::vector<Point2> h(2 * p.size());
    size_t k = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    for (size_t i = p.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    h.resize(k - 1);
    return h;
}

bool InsideHull(const std::vector<Point2>& h, const Point2& q) {
    for (size_t i = 0; i < h.size(); ++i) {
        const Point2 &a = h[i], &b = h[(i + 1) % h.size()];
        if ((b.x - a.x) * (q.z - a.z) - (b.z - a.z) * (q.x - a.x) < 0) return false;
    }
    return true;
}

class ShadowImage : public ShadowScene {
protected:
    void SetUp() override {
        ShadowScene::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(scene::ResizeScene(host.Engine(), kWidth, kHeight));
        lamp = builder.AddPointLight("lamp", light, {1, 1, 1, 1});
        shadows = builder.AddShadowRenderer("shadows", {lamp});
        ASSERT_NE(shadows, nullptr);
        // Far enough to reach the ground and well inside the far clipping distance, so that
        // depth-fail's far cap is drawn.
        shadows->SetExtrusion(6.0f);
        camera = builder.AddCamera("eye", {7, 9, -10}, {0, 0, 0}, 0.9f, 0.5f, 400.0f);
        ASSERT_NE(camera, nullptr);
    }

    // The receiver: a square of ground `size` wide, level at `height`, centred below `centre`.
    void AddGround(float size = 60.0f, const D3DXVECTOR3& centre = {0, 0, 0}) {
        groundY = centre.y;
        ASSERT_NE(builder.AddPrimitive("ground", kPrimitivePlane, {size, 0, size}, 24, 24, {0.9f, 0.9f, 0.9f, 1},
                                       Translation(centre.x, centre.y, centre.z)),
                  nullptr);
    }

    void MoveLight(const D3DXVECTOR3& position) {
        light = position;
        lamp->SetLightPosition(position);
    }

    std::vector<D3DCOLOR> Render(float darkness) {
        shadows->SetShadowDarkness(darkness);
        std::vector<D3DCOLOR> pixels;
        EXPECT_TRUE(scene::RenderFrame(host.Engine(), host.Group()));
        EXPECT_EQ(d3d8host::ReadBackColor(device, pixels), D3D_OK);
        return pixels;
    }

    // The ground point seen at the centre of pixel (x, y), or false when the ray misses it.
    bool GroundAt(const D3DXMATRIX& inverse, double x, double y, Point2* out) const {
        const float cx = float((x + 0.5) / kWidth * 2.0 - 1.0), cy = float(1.0 - (y + 0.5) / kHeight * 2.0);
        D3DXVECTOR3 a(cx, cy, 0.0f), b(cx, cy, 1.0f);
        D3DXVec3TransformCoord(&a, &a, &inverse);
        D3DXVec3TransformCoord(&b, &b, &inverse);
        if (!(a.y > groundY && b.y < a.y)) return false;
        const double t = (double(a.y) - groundY) / double(a.y - b.y);
        *out = {a.x + (b.x - a.x) * t, a.z + (b.z - a.z) * t};
        return true;
    }

    // The analytic shadow of a convex caster with these world-space corners.
    std::vector<Point2> ShadowOf(const std::vector<D3DXVECTOR3>& corners) const {
        std::vector<Point2> projected;
        for (const D3DXVECTOR3& c : corners) {
            const double t = (double(light.y) - groundY) / double(light.y - c.y);
            projected.push_back({light.x + (c.x - light.x) * t, light.z + (c.z - light.z) * t});
        }
        return Hull(projected);
    }

    // Every open-ground pixel is darkened exactly when its ground point lies in `inShadow`,
    // except where the answer changes within one pixel of it. Returns how many of the
    // pixels checked have their ground point in `count`.
    template <typename InShadow, typename Count>
    int ExpectShadowOutline(const char* what, const std::vector<D3DCOLOR>& lit, const std::vector<D3DCOLOR>& shaded,
                            InShadow inShadow, Count count) {
        D3DXMATRIX projection, inverse;
        D3DXMatrixPerspectiveFovLH(&projection, camera->GetFieldOfView(), float(kWidth) / kHeight,
                                   camera->GetNearClip(), camera->GetFarClip());
        D3DXMATRIX m = camera->GetViewMatrix() * projection;
        D3DXMatrixInverse(&inverse, nullptr, &m);
        int inside = 0, outside = 0, wrong = 0, counted = 0;
        for (int y = 1; y + 1 < int(kHeight); ++y)
            for (int x = 1; x + 1 < int(kWidth); ++x) {
                const D3DCOLOR before = lit[size_t(y) * kWidth + size_t(x)];
                if (Blue(before) < 40 || Red(before) > Blue(before) + 30) continue;  // sky or the caster
                int votes = 0, seen = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        Point2 g;
                        if (!GroundAt(inverse, x + dx, y + dy, &g)) continue;
                        ++seen;
                        votes += inShadow(g) ? 1 : 0;
                    }
                if (seen != 9 || (votes != 0 && votes != 9)) continue;  // within a pixel of the outline
                const bool expected = votes == 9;
                const bool darkened = Green(shaded[size_t(y) * kWidth + size_t(x)]) * 4 < Green(before) * 3;
                (expected ? inside : outside) += 1;
                Point2 centre{};
                GroundAt(inverse, x, y, &centre);
                counted += count(centre) ? 1 : 0;
                if (darkened != expected && ++wrong <= 5)
                    ADD_FAILURE() << what << ": pixel " << x << "," << y << (expected ? " should" : " should not")
                                  << " be in shadow";
            }
        EXPECT_EQ(wrong, 0) << what;
        EXPECT_GT(inside, 150) << what;
        EXPECT_GT(outside, 2000) << what;
        return counted;
    }
    template <typename InShadow>
    void ExpectShadowOutline(const char* what, const std::vector<D3DCOLOR>& lit, const std::vector<D3DCOLOR>& shaded,
                             InShadow inShadow) {
        ExpectShadowOutline(what, lit, shaded, inShadow, [](const Point2&) { return false; });
    }

    scene::SceneBuilder builder{host};
    D3DXVECTOR3 light{0.8f, 10.0f, 0.5f};
    float groundY = 0.0f;
    Kco_DX8_PointLight* lamp = nullptr;
    Kco_DX8_StencilShadow* shadows = nullptr;
    Kco_DX8_Camera* camera = nullptr;
};

std::vector<D3DXVECTOR3> BoxCorners(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi, const D3DXMATRIX& placement) {
    std::vector<D3DXVECTOR3> corners;
    for (int i = 0; i < 8; ++i) {
        D3DXVECTOR3 c(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z);
        D3DXVec3TransformCoord(&c, &c, &placement);
        corners.push_back(c);
    }
    return corners;
}

}  // namespace

// A cube above the ground: its shadow is the cube's projection from the light, with
// depth-pass and depth-fail, and with the camera standing inside the volume.
TEST_F(ShadowImage, CubeShadowIsItsProjectionFromTheLight) {
    AddGround();
    D3DXMATRIX placement;
    D3DXMatrixRotationY(&placement, 0.5f);
    placement *= Translation(0.3f, 3.0f, 0.2f);
    Kco_DX8_ObjectChannel* cube = builder.AddPrimitive("cube", kPrimitiveBox, {2, 2, 2}, 1, 1, {1, 0.1f, 0.1f, 1}, placement);
    ASSERT_NE(cube, nullptr);
    auto* caster = static_cast<Kco_DX8_SoftwareStencilShadowObject*>(
        builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, cube));
    ASSERT_NE(caster, nullptr);
    const std::vector<Point2> outline = ShadowOf(BoxCorners({-1, -1, -1}, {1, 1, 1}, placement));
    auto inShadow = [&](const Point2& g) { return InsideHull(outline, g); };

    const std::vector<D3DCOLOR> lit = Render(0.0f);
    for (int method : {kShadowMethodDepthPass, kShadowMethodDepthFail}) {
        shadows->SetShadowMethod(method);
        ExpectShadowOutline(method == kShadowMethodDepthPass ? "depth-pass" : "depth-fail", lit, Render(0.5f), inShadow);
    }
    EXPECT_EQ(caster->Geometry().vertexCount, 8);

    // The camera between the cube and the ground, inside the volume, looking past the
    // shadow's edge: the render channel picks depth-fail with caps by itself.
    camera->SetLookAt({0.4f, 1.2f, 0.1f}, {0.6f, 0.0f, 3.5f}, {0, 1, 0});
    shadows->SetShadowMethod(kShadowMethodAuto);
    const std::vector<D3DCOLOR> litInside = Render(0.0f);
    ASSERT_TRUE(shadows->GetIfCameraMayBeInsideVolume(light, caster));
    ExpectShadowOutline("camera inside", litInside, Render(0.5f), inShadow);
    EXPECT_TRUE(Messages().empty());
}

// A torus lying flat under the light: the ground below its hole stays lit inside a ring of
// shadow.
TEST_F(ShadowImage, TorusHoleShowsInItsShadow) {
    AddGround();
    const float ring = 2.0f, tube = 0.6f, height = 3.0f;
    Kco_DX8_ObjectChannel* torus = builder.AddPrimitive("torus", kPrimitiveTorus, {ring, tube, 0}, 48, 16,
                                                        {1, 0.1f, 0.1f, 1}, Translation(light.x, height, light.z));
    ASSERT_NE(builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, torus), nullptr);
    // The shadow is an annulus: in a vertical half-plane through the axis the light sees
    // the tube as a circle, and the two rays touching it bound the shadow on the ground.
    const double drop = light.y - height, toTube = std::atan2(ring, drop);
    const double spread = std::asin(tube / std::hypot(ring, drop));
    const double inner = light.y * std::tan(toTube - spread), outer = light.y * std::tan(toTube + spread);
    auto radius = [&](const Point2& g) { return std::hypot(g.x - light.x, g.z - light.z); };
    const std::vector<D3DCOLOR> lit = Render(0.0f);
    for (int method : {kShadowMethodDepthPass, kShadowMethodDepthFail}) {
        shadows->SetShadowMethod(method);
        const std::vector<D3DCOLOR> shaded = Render(0.5f);
        const int hole = ExpectShadowOutline(
            method == kShadowMethodDepthPass ? "torus, depth-pass" : "torus, depth-fail", lit, shaded,
            [&](const Point2& g) {
                const double r = radius(g);
                return r > inner && r < outer;
            },
            [&](const Point2& g) { return radius(g) < inner; });
        EXPECT_GT(hole, 30) << "lit ground seen through the hole";
    }
}

// An arm skinned to one bone: its shadow is the projection of the arm as the bone places
// it, before and after the bone turns.
TEST_F(ShadowImage, SkinnedArmShadowFollowsItsBone) {
    AddGround();
    const D3DXVECTOR3 lo(0, -0.3f, -0.3f), hi(3, 0.3f, 0.3f);
    test_meshes::Mesh arm = test_meshes::Box(lo, hi, true);
    auto* skin = static_cast<Kco_DX8_SkinnedObjectData*>(Mesh(arm, type_guids::kSkinnedObjectData));
    skin->SetBlendWeightCount(1);
    Kco_DX8_ObjectChannel* object = Object({skin});
    object->GetSurface(0)->SetMaterialColor({1, 0.1f, 0.1f, 1});
    auto* caster = static_cast<Kco_DX8_SoftwareStencilShadowObject*>(
        builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, object));
    ASSERT_NE(caster, nullptr);
    shadows->SetShadowMethod(kShadowMethodDepthFail);

    for (float angle : {0.0f, 1.2f}) {
        D3DXMATRIX bone;
        D3DXMatrixRotationY(&bone, angle);
        bone *= Translation(-0.5f, 3.0f, 0.0f);
        skin->SetBlendMatrix(0, bone);
        const std::vector<Point2> outline = ShadowOf(BoxCorners(lo, hi, bone));
        const std::vector<D3DCOLOR> lit = Render(0.0f);
        ExpectShadowOutline(angle == 0.0f ? "arm at rest" : "arm turned", lit, Render(0.5f),
                            [&](const Point2& g) { return InsideHull(outline, g); });
    }
    EXPECT_TRUE(caster->IsSkinned());
}

// The render channel's automatic extrusion (−1.0) for a cube close under the light, seen
// with a near far plane: the volume must reach the ground, and with depth-fail its far cap
// must stay in front of the far plane, or the shadow is lost.
TEST_F(ShadowImage, AutomaticExtrusionReachesTheGroundInsideTheFarPlane) {
    AddGround();
    camera->SetPerspective(0.9f, 0.5f, 30.0f);
    shadows->SetExtrusion(-1.0f);
    const D3DXMATRIX placement = Translation(0.5f, 7.2f, 0.2f);
    Kco_DX8_ObjectChannel* cube = builder.AddPrimitive("cube", kPrimitiveBox, {2, 2, 2}, 1, 1, {1, 0.1f, 0.1f, 1}, placement);
    ASSERT_NE(cube, nullptr);
    ASSERT_NE(builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, cube), nullptr);
    const std::vector<Point2> outline = ShadowOf(BoxCorners({-1, -1, -1}, {1, 1, 1}, placement));
    const std::vector<D3DCOLOR> lit = Render(0.0f);
    for (int method : {kShadowMethodDepthPass, kShadowMethodDepthFail}) {
        shadows->SetShadowMethod(method);
        ExpectShadowOutline(method == kShadowMethodDepthPass ? "automatic, depth-pass" : "automatic, depth-fail", lit,
                            Render(0.5f), [&](const Point2& g) { return InsideHull(outline, g); });
    }
}

// The sample's scene (its ground, spinning block, lamp and camera) moved 1,000 units from the
// world origin: the automatic extrusion still takes the block's volume to the ground.
TEST_F(ShadowImage, SampleSceneFarFromTheOriginKeepsItsShadow) {
    const D3DXVECTOR3 shift(600, 0, 800);
    AddGround(14.0f, shift);
    MoveLight(D3DXVECTOR3(5 * std::cos(0.3f), 4, 5 * std::sin(0.3f)) + shift);
    camera->SetLookAt(D3DXVECTOR3(0, 6, -11.5f) + shift, D3DXVECTOR3(0, 1.2f, 1) + shift, {0, 1, 0});
    camera->SetPerspective(0.75f, 0.5f, 100.0f);
    shadows->SetExtrusion(-1.0f);
    D3DXMATRIX placement;
    D3DXMatrixRotationY(&placement, 0.7f);
    placement *= Translation(3 + shift.x, 1.9f, 1.8f + shift.z);
    Kco_DX8_ObjectChannel* block =
        builder.AddPrimitive("block", kPrimitiveBox, {2.4f, 0.3f, 0.3f}, 1, 1, {1, 0.1f, 0.1f, 1}, placement);
    ASSERT_NE(block, nullptr);
    ASSERT_NE(builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, block), nullptr);
    const std::vector<Point2> outline = ShadowOf(BoxCorners({-1.2f, -0.15f, -0.15f}, {1.2f, 0.15f, 0.15f}, placement));
    const std::vector<D3DCOLOR> lit = Render(0.0f);
    for (int method : {kShadowMethodDepthPass, kShadowMethodDepthFail}) {
        shadows->SetShadowMethod(method);
        ExpectShadowOutline(method == kShadowMethodDepthPass ? "moved sample, depth-pass" : "moved sample, depth-fail",
                            lit, Render(0.5f), [&](const Point2& g) { return InsideHull(outline, g); });
    }
}

// A light at the world origin, the camera beside it looking along its ray past a cube to the
// ground in front of a near far plane: depth-fail keeps the far cap, and so the shadow.
TEST_F(ShadowImage, LightAtTheOriginKeepsTheFarCapInDepthFail) {
    AddGround(60.0f, {0, -10, 0});
    MoveLight({0, 0, 0});
    camera->SetLookAt({3, 0, 0}, {3, -10, 0}, {0, 0, 1});
    // The classic d / m would take the cube's far side 7 units past the far plane (y = -16).
    camera->SetPerspective(0.9f, 0.5f, 16.0f);
    shadows->SetExtrusion(-1.0f);
    const D3DXMATRIX placement = Translation(0, -6, 0);
    Kco_DX8_ObjectChannel* cube = builder.AddPrimitive("cube", kPrimitiveBox, {2, 2, 2}, 1, 1, {1, 0.1f, 0.1f, 1}, placement);
    ASSERT_NE(cube, nullptr);
    ASSERT_NE(builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, cube), nullptr);
    const std::vector<Point2> outline = ShadowOf(BoxCorners({-1, -1, -1}, {1, 1, 1}, placement));
    const std::vector<D3DCOLOR> lit = Render(0.0f);
    for (int method : {kShadowMethodDepthFail, kShadowMethodDepthPass}) {
        shadows->SetShadowMethod(method);
        ExpectShadowOutline(method == kShadowMethodDepthPass ? "light at origin, depth-pass" : "light at origin, depth-fail",
                            lit, Render(0.5f), [&](const Point2& g) { return InsideHull(outline, g); });
    }
}

// A 1 x 1 x 48 bar whose far end almost touches the far plane (60 away): it still casts its
// whole visible shadow.
TEST_F(ShadowImage, LongBarNearTheFarPlaneCastsItsShadow) {
    AddGround(140.0f, {0, 0, 30});
    camera->SetLookAt({6, 9, -12}, {0, 0, 20}, {0, 1, 0});
    camera->SetPerspective(0.9f, 0.5f, 60.0f);
    shadows->SetExtrusion(-1.0f);
    const D3DXMATRIX placement = Translation(0, 2.5f, 24);
    Kco_DX8_ObjectChannel* bar = builder.AddPrimitive("bar", kPrimitiveBox, {1, 1, 48}, 1, 1, {1, 0.1f, 0.1f, 1}, placement);
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, bar), nullptr);
    const std::vector<Point2> outline = ShadowOf(BoxCorners({-0.5f, -0.5f, -24}, {0.5f, 0.5f, 24}, placement));
    const std::vector<D3DCOLOR> lit = Render(0.0f);
    shadows->SetShadowMethod(kShadowMethodAuto);
    ExpectShadowOutline("long bar", lit, Render(0.5f), [&](const Point2& g) { return InsideHull(outline, g); });
}

// A closed torus of 40,000 welded vertices lying under the light: its volume needs 32-bit
// indices, and its shadow is the same annulus as the primitive torus casts.
TEST_F(ShadowImage, FortyThousandVertexTorusCastsThroughWideIndices) {
    AddGround();
    const float ring = 2.0f, tube = 0.6f, height = 3.0f;
    const test_meshes::Mesh torus = test_meshes::Torus(250, 160, ring, tube, {light.x, height, light.z});
    Kco_DX8_ObjectChannel* object = Object({Mesh(torus)});
    object->GetSurface(0)->SetMaterialColor({1, 0.1f, 0.1f, 1});
    auto* caster = static_cast<Kco_DX8_SoftwareStencilShadowObject*>(
        builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, object));
    ASSERT_NE(caster, nullptr);
    const double drop = light.y - height, toTube = std::atan2(ring, drop);
    const double spread = std::asin(tube / std::hypot(ring, drop));
    const double inner = light.y * std::tan(toTube - spread), outer = light.y * std::tan(toTube + spread);
    auto radius = [&](const Point2& g) { return std::hypot(g.x - light.x, g.z - light.z); };
    const std::vector<D3DCOLOR> lit = Render(0.0f);
    for (int method : {kShadowMethodDepthPass, kShadowMethodDepthFail}) {
        shadows->SetShadowMethod(method);
        ExpectShadowOutline(method == kShadowMethodDepthPass ? "40,000 vertices, depth-pass" : "40,000 vertices, depth-fail",
                            lit, Render(0.5f), [&](const Point2& g) {
                                const double r = radius(g);
                                return r > inner && r < outer;
                            });
    }
    EXPECT_EQ(caster->Geometry().vertexCount, 40000);
    EXPECT_TRUE(caster->Geometry().wideIndices);
    EXPECT_TRUE(Messages().empty());
}
