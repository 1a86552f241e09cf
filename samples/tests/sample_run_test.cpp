// The sample project run as the viewer runs it, checked by numbers: the bodies come to rest
// on the triangulated ground, every shadow on the ground lies where the light's rays meet a
// caster (and nowhere else), and the title's letters are on screen. Frames are read back
// through the device host's calls, so the same checks hold for the system's d3d8.dll.
#include <gtest/gtest.h>

#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine_host.h"
#include "frame_renderer.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/point_light_channel.h"
#include "plugin_frame/siblings/stencil_shadow.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "plugin_frame/type_guids.h"
#include "start_file.h"

namespace {

constexpr unsigned kWidth = 640, kHeight = 480;
// The light's rays are tested against casters shrunk or grown by this much: pixels between
// the two are left out, where the tessellation and the pixel grid decide.
constexpr float kMargin = 0.06f;

struct Caster {
    std::string name;
    D3DXMATRIX world;    // the caster's placement (rotation and position, no scale)
    D3DXVECTOR3 half;    // half extents of a box; x is the radius of a ball
    bool ball = false;
};

// Whether the segment from p to q passes through the caster grown by `grow` (negative: shrunk).
bool SegmentMeets(const Caster& c, const D3DXVECTOR3& p, const D3DXVECTOR3& q, float grow) {
    const D3DXVECTOR3 centre(c.world._41, c.world._42, c.world._43);
    if (c.ball) {
        const D3DXVECTOR3 d = q - p, w = centre - p;
        const float t = std::clamp(D3DXVec3Dot(&w, &d) / D3DXVec3Dot(&d, &d), 0.0f, 1.0f);
        const D3DXVECTOR3 nearest = p + d * t - centre;
        return D3DXVec3Length(&nearest) < c.half.x + grow;
    }
    D3DXMATRIX inverse;
    D3DXMatrixInverse(&inverse, nullptr, &c.world);
    D3DXVECTOR3 a, b;
    D3DXVec3TransformCoord(&a, &p, &inverse);
    D3DXVec3TransformCoord(&b, &q, &inverse);
    float enter = 0.0f, leave = 1.0f;
    for (int axis = 0; axis < 3; ++axis) {
        const float from = (&a.x)[axis], step = (&b.x)[axis] - from, h = (&c.half.x)[axis] + grow;
        if (std::fabs(step) < 1e-9f) {
            if (std::fabs(from) > h) return false;
            continue;
        }
        float t0 = (-h - from) / step, t1 = (h - from) / step;
        if (t0 > t1) std::swap(t0, t1);
        enter = std::max(enter, t0);
        leave = std::min(leave, t1);
        if (enter > leave) return false;
    }
    return true;
}

bool Inside(const Caster& c, const D3DXVECTOR3& p, float grow) { return SegmentMeets(c, p, p, grow); }

float Luminance(D3DCOLOR c) { return 0.3f * ((c >> 16) & 0xFF) + 0.59f * ((c >> 8) & 0xFF) + 0.11f * (c & 0xFF); }

// Ground pixels of the frame as drawn now, sorted by what the light's rays meet.
struct ShadowCount {
    std::vector<unsigned> expected, darker;  // per caster: pixels surely in its shadow, and how many are darker
    unsigned ground = 0, lit = 0, darkWhereLit = 0;
};

// The sample loaded from the project folder the build made, run frame by frame off screen.
class SampleRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_.Load(std::string(SAMPLE_PROJECT_DIR) + "/start.cgr"));
        std::ifstream in(std::string(SAMPLE_PROJECT_DIR) + "/VtlStart.vtl", std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::optional<StartFile> start = ReadStartFile(bytes);
        ASSERT_TRUE(start);
        frameTime_ = start->frameTime;
        ASSERT_TRUE(scene::ResizeScene(host_.Engine(), kWidth, kHeight));
    }

    // Steps and draws frames until `frame` frames have run, as the viewer does.
    void RunTo(unsigned frame) {
        for (; frames_ < frame; ++frames_) {
            host_.Step(frameTime_, 1);
            ASSERT_TRUE(scene::RenderFrame(host_.Engine(), host_.Group()));
        }
    }

    template <typename T>
    T* Named(const char* name) {
        Kel_Channel* c = host_.Group().FindChannel(name);
        EXPECT_NE(c, nullptr) << name;
        return static_cast<T*>(c);
    }

    std::vector<Caster> Casters() {
        std::vector<Caster> out;
        for (const char* name : {"box", "box 2", "box 3", "ball", "ball 2", "ball 3"}) {
            const bool ball = std::string(name).rfind("ball", 0) == 0;
            out.push_back({name, Named<Kco_MatrixChannel>(name)->GetMatrix(), D3DXVECTOR3(0.5f, 0.5f, 0.5f), ball});
        }
        out.push_back({"block", Named<Kco_DX8_ObjectChannel>("block")->GetObjectMatrix(), D3DXVECTOR3(1.2f, 0.15f, 0.15f)});
        return out;
    }

    // The frame drawn again with the shadow darkness given, read back.
    void Draw(float darkness, std::vector<D3DCOLOR>& colour) {
        auto* shadows = Named<Kco_DX8_StencilShadow>("shadows");
        const float kept = shadows->GetShadowDarkness();
        shadows->SetShadowDarkness(darkness);
        ASSERT_TRUE(scene::RenderFrame(host_.Engine(), host_.Group()));
        shadows->SetShadowDarkness(kept);
        ASSERT_EQ(d3d8host::ReadBackColor(scene::SceneDevice(host_.Engine()), colour), D3D_OK);
        ASSERT_EQ(colour.size(), size_t(kWidth) * kHeight);
    }

    // Which pixels show the ground: those that change when the ground is drawn black.
    std::vector<bool> GroundInSight(const std::vector<D3DCOLOR>& plain) {
        auto* ground = Named<Kco_DX8_SurfaceChannel>("ground surface");
        const D3DXVECTOR4 kept = ground->GetMaterialColor();
        ground->SetMaterialColor({0.0f, 0.0f, 0.0f, kept.w});
        std::vector<D3DCOLOR> black;
        Draw(0.0f, black);
        ground->SetMaterialColor(kept);
        std::vector<bool> seen(plain.size());
        for (size_t i = 0; i < plain.size() && i < black.size(); ++i) seen[i] = plain[i] != black[i];
        return seen;
    }

    // View times projection as the device has it (after a drawn frame).
    D3DXMATRIX ViewProjection() {
        IDirect3DDevice8* device = scene::SceneDevice(host_.Engine());
        D3DXMATRIX view, projection;
        device->GetTransform(D3DTS_VIEW, &view);
        device->GetTransform(D3DTS_PROJECTION, &projection);
        return view * projection;
    }

    ShadowCount CountShadows() {
        std::vector<D3DCOLOR> shaded, plain;
        Draw(0.0f, plain);
        Draw(Named<Kco_DX8_StencilShadow>("shadows")->GetShadowDarkness(), shaded);
        const std::vector<bool> ground = GroundInSight(plain);
        D3DXMATRIX toWorld;
        const D3DXMATRIX viewProjection = ViewProjection();
        D3DXMatrixInverse(&toWorld, nullptr, &viewProjection);
        const D3DXVECTOR3 light = Named<Kco_DX8_PointLight>("lamp")->GetLightPosition();
        const std::vector<Caster> casters = Casters();
        ShadowCount n;
        n.expected.assign(casters.size(), 0);
        n.darker.assign(casters.size(), 0);
        for (unsigned y = 0; y < kHeight && ground.size() == size_t(kWidth) * kHeight; ++y)
            for (unsigned x = 0; x < kWidth; ++x) {
                const size_t i = size_t(y) * kWidth + x;
                if (!ground[i]) continue;
                // The ground is the plane y = 0: the pixel's ray meets it there.
                const float sx = (x + 0.5f) / kWidth * 2.0f - 1.0f, sy = 1.0f - (y + 0.5f) / kHeight * 2.0f;
                D3DXVECTOR3 front(sx, sy, 0.0f), back(sx, sy, 1.0f);
                D3DXVec3TransformCoord(&front, &front, &toWorld);
                D3DXVec3TransformCoord(&back, &back, &toWorld);
                if (!(front.y > 0.0f && back.y < front.y)) continue;
                const D3DXVECTOR3 p = front + (back - front) * (front.y / (front.y - back.y));
                // Ground pixels only: on the grid, and not on (or touching) a caster.
                if (std::fabs(p.x) > 6.9f || std::fabs(p.z) > 6.9f) continue;
                if (std::any_of(casters.begin(), casters.end(), [&](const Caster& c) { return Inside(c, p, 0.1f); }))
                    continue;
                ++n.ground;
                // The shadow takes 60% of the light away; a quarter counts as darker.
                const bool dark = Luminance(shaded[i]) < 0.75f * Luminance(plain[i]);
                bool nearCaster = false;
                for (size_t k = 0; k < casters.size(); ++k) {
                    if (SegmentMeets(casters[k], p, light, -kMargin)) {
                        ++n.expected[k];
                        n.darker[k] += dark;
                    }
                    nearCaster = nearCaster || SegmentMeets(casters[k], p, light, kMargin);
                }
                if (!nearCaster) {
                    ++n.lit;
                    n.darkWhereLit += dark;
                }
            }
        return n;
    }

    EngineHost host_{CHANNELS_DIR};
    float frameTime_ = 1.0f;
    unsigned frames_ = 0;
};

TEST_F(SampleRun, BodiesComeToRestOnTheMeshGround) {
    RunTo(150);  // six seconds: every body has landed and settled
    std::vector<D3DXVECTOR3> before;
    for (const Caster& c : Casters()) before.push_back({c.world._41, c.world._42, c.world._43});
    RunTo(160);
    const std::vector<Caster> after = Casters();
    for (size_t i = 0; i + 1 < after.size(); ++i) {  // the block is carried, not simulated
        const Caster& c = after[i];
        // A unit box resting on a face and a ball of radius 0.5 both hold their centre 0.5 up.
        EXPECT_NEAR(c.world._42, 0.5f, 0.02f) << c.name;
        EXPECT_LT(std::max(std::fabs(c.world._41), std::fabs(c.world._43)), 6.5f) << c.name << " left the ground";
        const D3DXVECTOR3 moved = D3DXVECTOR3(c.world._41, c.world._42, c.world._43) - before[i];
        EXPECT_LT(D3DXVec3Length(&moved), 0.01f) << c.name << " still moves";
        if (!c.ball) {  // resting on a face: one of its axes stands upright
            const float upright = std::max({std::fabs(c.world._12), std::fabs(c.world._22), std::fabs(c.world._32)});
            EXPECT_GT(upright, 0.999f) << c.name;
        }
    }
    EXPECT_NEAR(Named<Kco_FloatChannel>("height")->GetFloat(), 0.5f, 0.02f);
}

TEST_F(SampleRun, ShadowsLieWhereTheLightsRaysMeetACaster) {
    // Two moments of the light's turn: a shadow hidden behind its caster at one is in
    // sight at the other.
    std::vector<unsigned> bestSeen;
    for (int moment = 0; moment < 2; ++moment) {
        RunTo(moment == 0 ? 160 : 210);
        const ShadowCount n = CountShadows();
        const std::vector<Caster> casters = Casters();
        ASSERT_GT(n.ground, kWidth * kHeight / 4) << "the ground should fill much of the frame";
        bestSeen.resize(casters.size());
        for (size_t k = 0; k < casters.size(); ++k) {
            bestSeen[k] = std::max(bestSeen[k], n.expected[k]);
            EXPECT_GE(n.darker[k], n.expected[k] * 0.97)
                << casters[k].name << ", moment " << moment << ": " << n.darker[k] << " of " << n.expected[k]
                << " pixels in its shadow are darker";
        }
        EXPECT_LE(n.darkWhereLit, n.lit / 500)
            << "moment " << moment << ": " << n.darkWhereLit << " of " << n.lit << " lit ground pixels are darker";
    }
    const std::vector<Caster> casters = Casters();
    for (size_t k = 0; k < casters.size(); ++k)
        EXPECT_GT(bestSeen[k], 40u) << casters[k].name << ": its shadow should be in sight";
}

// The block hangs higher than the bodies, with the light far from the origin: its volume
// must reach the ground (at frame 150, the block turned to 2.72 and the light at
// (-1.14, 4.5, -4.87), too short a volume left part of its shadow out with depth-pass and
// all of it with depth-fail, whose far cap then hung above the ground).
TEST_F(SampleRun, SpinningBlockShadowIsWholeAtFrame150) {
    RunTo(150);
    const size_t block = Casters().size() - 1;
    auto* shadows = Named<Kco_DX8_StencilShadow>("shadows");
    for (int method : {shadows->GetShadowMethod(), int(kShadowMethodDepthFail)}) {
        shadows->SetShadowMethod(method);
        const ShadowCount n = CountShadows();
        EXPECT_GT(n.expected[block], 40u);
        EXPECT_GE(n.darker[block], n.expected[block] * 0.97)
            << "method " << method << ": " << n.darker[block] << " of " << n.expected[block];
        EXPECT_LE(n.darkWhereLit, n.lit / 500) << "method " << method;
    }
}

TEST_F(SampleRun, TitleLettersAreVisible) {
    RunTo(150);
    EXPECT_FLOAT_EQ(Named<Kco_FloatChannel>("title complexity")->GetFloat(), 1.0f);
    std::vector<D3DCOLOR> colour;
    Draw(0.0f, colour);
    D3DXVECTOR3 low, high;
    Named<Kco_DX8_ObjectChannel>("title")->GetBoundingBoxMinMax(&low, &high);
    const D3DXMATRIX viewProjection = ViewProjection();
    float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 p(corner & 1 ? high.x : low.x, corner & 2 ? high.y : low.y, corner & 4 ? high.z : low.z);
        D3DXVECTOR3 s;
        D3DXVec3TransformCoord(&s, &p, &viewProjection);
        left = std::min(left, (s.x + 1.0f) * 0.5f * kWidth);
        right = std::max(right, (s.x + 1.0f) * 0.5f * kWidth);
        top = std::min(top, (1.0f - s.y) * 0.5f * kHeight);
        bottom = std::max(bottom, (1.0f - s.y) * 0.5f * kHeight);
    }
    ASSERT_GT(right - left, 100.0f);
    ASSERT_TRUE(left >= 0 && top >= 0 && right <= kWidth && bottom <= kHeight) << "the title should be whole on screen";
    // The title's gold: red strong, green a good part of it, little blue.
    const auto gold = [&](unsigned x, unsigned y) {
        const D3DCOLOR c = colour[size_t(y) * kWidth + x];
        const float r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
        return r > 60.0f && g > 0.6f * r && g < 0.9f * r && b < 0.45f * r;
    };
    unsigned inBox = 0, area = 0;
    for (unsigned y = unsigned(top); y < unsigned(bottom); ++y)
        for (unsigned x = unsigned(left); x < unsigned(right); ++x, ++area) inBox += gold(x, y);
    EXPECT_GT(inBox, area / 10) << "gold pixels in the title's box";
    EXPECT_LT(inBox, area * 7 / 10) << "letters leave gaps";
    // Across the middle of the box, the letters are separate runs of gold.
    unsigned runs = 0;
    const unsigned middle = unsigned((top + bottom) * 0.5f);
    for (unsigned x = unsigned(left) + 1; x < unsigned(right); ++x) runs += gold(x, middle) && !gold(x - 1, middle);
    EXPECT_GE(runs, 5u);
}

}  // namespace

// A box dropped tilted onto the triangulated ground rests 0.5 up, as on a ground plane
// ("box 2" turned 0.5 about y and 0.35 about x once came to rest 0.08 deep in the ground).
TEST_F(SampleRun, TiltedBoxRestsOnTheMeshGround) {
    auto* start = Named<Kco_MatrixChannel>("box 2 start");
    D3DXMATRIX turn, m = start->GetMatrix();
    D3DXMatrixRotationYawPitchRoll(&turn, 0.5f, 0.35f, 0.0f);
    turn._41 = m._41, turn._42 = m._42, turn._43 = m._43;
    start->SetMatrix(turn);
    RunTo(160);
    EXPECT_NEAR(Named<Kco_MatrixChannel>("box 2")->GetMatrix()._42, 0.5f, 0.02f);
}
