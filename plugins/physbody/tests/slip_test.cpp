// Force-dependent slip. Where both items' slip is above 0, a contact lets its surfaces pass
// each other at slip (m/s per N) times the friction force it carries, in the same way on
// the world's plane and on a mesh, whatever the step: a box holding itself on a slope
// creeps down it however rough it is. The default item's slip is 1, so a default 5 kg box
// on a slope of 0.05 creeps at some 0.6 m/s. The rest rule watches depth and turning, not
// speed along the surface, so it still holds such a box once it stops turning.
#include <cmath>
#include <string>

#include "mesh_scene.h"

namespace {

constexpr float kSlope = 0.05f;
constexpr float kGravity = 9.81f;
constexpr float kGroundSlip = 0.25f;

struct SlopeScene {
    bool mesh;
    int frequency;  // 0: the world's variable step of 0.05 s
};
void PrintTo(const SlopeScene& s, std::ostream* out) { *out << (s.mesh ? "mesh" : "plane") << " " << s.frequency; }

class ForceDependentSlip : public MeshScene, public testing::WithParamInterface<SlopeScene> {
protected:
    // A slope of kSlope along x through the origin, on the world's plane or a mesh, whose
    // item slips by kGroundSlip.
    void Slope() {
        D3DXMATRIX tilt;
        D3DXMatrixRotationZ(&tilt, -std::atan(kSlope));
        if (GetParam().mesh)
            MeshGround(HeightGrid(24, [](float x, float) { return -kSlope * x; }));
        else
            Ground(&tilt);
        bodies.back()->GetGeometryItem(0)->slip = kGroundSlip;
        if (GetParam().frequency) World()->SetFrameFrequency(GetParam().frequency);
    }

    // A unit box of `mass` and `slip` laid on the slope at z, 0.05 above it.
    Kco_ODE_BodyCollision* Box(float mass, float slip, float z, float above = 0.05f) {
        Kco_ODE_BodyCollision* box = NewBody("box");
        ODE_GeometryItem item;
        item.kind = ODE_GeometryItem::kBox;
        item.mass = mass;
        item.slip = slip;
        box->SetGeometryItem(item, 0);
        D3DXMATRIX start;
        D3DXMatrixRotationZ(&start, -std::atan(kSlope));
        start._42 = 0.5f + above, start._43 = z;
        StartAt(box, start);
        return box;
    }

    // The friction force a box of `mass` needs to hold itself on the slope.
    static float Downhill(float mass) { return mass * kGravity * std::sin(std::atan(kSlope)); }
};

// A slipping contact behaves as a damper: the creep reaches its steady speed within some
// mass x slip / contacts seconds (1.25 s for 5 kg on four contacts), so it is measured
// over the ninth second.
TEST_P(ForceDependentSlip, BoxesCreepAtSlipTimesTheForceEachContactCarries) {
    Slope();
    Kco_ODE_BodyCollision* heavy = Box(5.0f, 1.0f, -8.0f);      // slips by the larger slip, 1
    Kco_ODE_BodyCollision* light = Box(1.0f, 1.0f, -4.0f);      // a fifth of the force
    Kco_ODE_BodyCollision* lowSlip = Box(5.0f, 0.1f, 0.0f);     // the larger slip is the ground's
    Kco_ODE_BodyCollision* noSlip = Box(5.0f, 0.0f, 4.0f);      // one item without slip: none
    // Dropped under the rest rule: at the variable step the landing restarts its rest timer.
    Kco_ODE_BodyCollision* held = Box(5.0f, 1.0f, 8.0f, 0.3f);
    held->SetIfDynamicDisableForces(true);
    for (int frame = 0; frame < 160; ++frame) Step();  // 8 s
    Kco_ODE_BodyCollision* boxes[] = {heavy, light, lowSlip, noSlip, held};
    D3DXVECTOR3 from[5];
    for (int i = 0; i < 5; ++i) from[i] = Position(boxes[i]);
    for (int frame = 0; frame < 20; ++frame) Step();  // 1 s
    float creep[5];
    for (int i = 0; i < 5; ++i) {
        const D3DXVECTOR3 moved = Position(boxes[i]) - from[i];
        creep[i] = D3DXVec3Length(&moved);
    }
    const float perContact = creep[0] / Downhill(5.0f);  // 1 / contacts
    if (GetParam().mesh)  // a box lying on a grid touches it at four to six points
        EXPECT_TRUE(perContact > 1.0f / 6.0f && perContact < 0.25f + 1e-3f) << creep[0] << " m/s";
    else  // four corners on the plane
        EXPECT_NEAR(creep[0], Downhill(5.0f) / 4.0f, 0.01f);
    EXPECT_NEAR(creep[1], creep[0] / 5.0f, 0.01f) << "creep follows the force";
    EXPECT_NEAR(creep[2], kGroundSlip / 1.0f * creep[0], 0.01f) << "creep follows the larger slip";
    EXPECT_LT(creep[3], 1e-4f) << "friction of 1 holds a box on a slope of 0.05";
    EXPECT_TRUE(held->GetRestFlag());
    EXPECT_LT(creep[4], 1e-4f) << "a creeping box that does not turn is held";
}

INSTANTIATE_TEST_SUITE_P(OnThePlaneAndAMeshAtEveryStep, ForceDependentSlip,
                         testing::Values(SlopeScene{false, 0}, SlopeScene{true, 0}, SlopeScene{false, 100},
                                         SlopeScene{true, 100}),
                         [](const testing::TestParamInfo<SlopeScene>& info) {
                             return std::string(info.param.mesh ? "Mesh" : "Plane") +
                                    (info.param.frequency ? "At100StepsPerSecond" : "AtTheVariableStep");
                         });

}  // namespace
