// Static shapes far larger than the bodies on them: a ground a million units wide holds a
// box anywhere on it, and no static size, up to the largest float, stops the process.

#include <cfloat>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "physics_scene.h"

namespace {

class LargeShapes : public PhysicsScene {
protected:
    // A static box of the given sides, its top face at y = 0.
    Kco_ODE_BodyCollision* StaticBox(float wide, float thick) {
        Kco_ODE_BodyCollision* ground = NewBody("ground");
        ODE_GeometryItem item;
        item.kind = ODE_GeometryItem::kBox;
        item.size = {wide, thick, wide};
        ground->SetGeometryItem(item, 0);
        ground->SetIfUseDynamics(false);
        StartAt(ground, 0.0f, -0.5f * thick, 0.0f);
        return ground;
    }
    Kco_ODE_BodyCollision* Resting(uint8_t kind, float x, float z) {
        Kco_ODE_BodyCollision* body = NewBody("resting");
        ODE_GeometryItem item;
        item.kind = kind;
        item.radius = 0.5f;
        body->SetGeometryItem(item, 0);
        StartAt(body, x, 0.6f, z);
        return body;
    }
};

float Height(Kco_ODE_BodyCollision* body) { return body->GetOldMatrix().m[3][1]; }

// A ground 1e6 wide is 1e6 wide: a box 4e5 from its middle (beyond the 1e5 that static
// sizes were once cut to) rests on it instead of falling off.
TEST_F(LargeShapes, AGroundAMillionWideHoldsBodiesNearItsEdge) {
    StaticBox(1e6f, 1.0f);
    Kco_ODE_BodyCollision* far = Resting(ODE_GeometryItem::kBox, 4e5f, -3e5f);
    Kco_ODE_BodyCollision* near = Resting(ODE_GeometryItem::kSphere, 2.0f, 0.0f);
    for (int frame = 0; frame < 60; ++frame) Frame();
    EXPECT_NEAR(Height(far), 0.5f, 0.05f);
    EXPECT_NEAR(Height(near), 0.5f, 0.05f);
}

void StopWithODEsMessage(int number, const char* message, va_list arguments) {
    std::fprintf(stderr, "ODE error %d: ", number);
    std::vfprintf(stderr, message, arguments);
    std::fprintf(stderr, "\n");
    std::abort();
}

// Static boxes from 1e5 to the largest float, flat grounds and cubes (a body then starts
// deep inside), under a box and a ball: each in a child process, so a size that stopped the
// process is reported by size and the others still run.
TEST_F(LargeShapes, NoStaticSizeStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const float sizes[] = {1e5f, 1e6f, 1e7f, 1e8f, 1e10f, 1e15f, 1e20f, 1e30f, FLT_MAX};
    for (const float size : sizes)
        for (const bool cube : {false, true}) {
            EXPECT_EXIT(
                {
                    dSetErrorHandler(&StopWithODEsMessage);
                    dSetDebugHandler(&StopWithODEsMessage);
                    StaticBox(size, cube ? size : 1.0f);
                    Resting(ODE_GeometryItem::kBox, 3.0f, 1.0f);
                    Resting(ODE_GeometryItem::kSphere, -2.0f, 0.5f);
                    for (int frame = 0; frame < 40; ++frame) Frame();
                    std::_Exit(0);
                },
                ::testing::ExitedWithCode(0), "")
                << "a static box " << size << (cube ? " on every side" : " wide") << " stopped the process";
        }
}

}  // namespace
