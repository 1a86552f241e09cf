// What callers and runaway bodies can hand to ODE through the world: settings out of range,
// steps of any length, a body falling for ever. ODE aborts the process on much of it,
// which would kill this test binary.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "physworld/ode_bounds.h"
#include "physworld/ode_world.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/type_guids.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class WorldBounds : public ::testing::Test {
protected:
    void SetUp() override {
        engine.SetChannelsFolder(CHANNELS_DIR);
        world = static_cast<Kco_ODE_World*>(engine.InitChannelFromType(type_guids::kPhysicsWorld, nullptr, false));
        ASSERT_NE(world, nullptr);
        world->OneTimeInitialize();
    }
    void TearDown() override { delete world; }

    // A free body with a small box (the hash space's finest cells, 1/8 unit wide, give it
    // the nearest coordinate limit) and a second box, so the space has pairs to sort.
    dBodyID FallingBody() {
        dBodyID body = world->GetNewBody();
        dGeomSetBody(world->CreateBox(0.01f, 0.01f, 0.01f, true), body);
        world->CreateBox(1.0f, 1.0f, 1.0f, true);
        return body;
    }

    dVector3 gravity{};
    const dReal* Gravity() {
        dWorldGetGravity(world->GetWorldID(), gravity);
        return gravity;
    }

    EngineInterface engine;
    Kco_ODE_World* world = nullptr;
};

TEST_F(WorldBounds, UndefinedSettingsAreIgnoredAndOthersKept) {
    dWorldID id = world->GetWorldID();
    world->SetGravityVector(D3DXVECTOR3(0.0f, kNaN, 0.0f));
    EXPECT_EQ(-9.81, Gravity()[1]);
    world->SetGravityVector(D3DXVECTOR3(kInf, -3.0f, 0.0f));
    EXPECT_EQ(-9.81, Gravity()[1]);
    world->SetGravityVector(D3DXVECTOR3(1e30f, -1e30f, 2.5f));
    EXPECT_EQ(ode_bounds::kMaxGravity, Gravity()[0]);
    EXPECT_EQ(-ode_bounds::kMaxGravity, Gravity()[1]);
    EXPECT_EQ(2.5, Gravity()[2]);

    world->SetWorldERP(0.5f);
    EXPECT_FLOAT_EQ(0.5f, float(dWorldGetERP(id)));
    world->SetWorldERP(kNaN);
    EXPECT_FLOAT_EQ(0.5f, float(dWorldGetERP(id)));
    // Outside 0..1 ODE steps on (over-correcting, or softer), so such values are kept.
    world->SetWorldERP(5.0f);
    EXPECT_EQ(5.0, dWorldGetERP(id));
    world->SetWorldERP(-1.0f);
    EXPECT_EQ(-1.0, dWorldGetERP(id));

    EXPECT_FLOAT_EQ(0.00001f, float(dWorldGetCFM(id)));
    world->SetWorldCFM(-kInf);
    EXPECT_FLOAT_EQ(0.00001f, float(dWorldGetCFM(id)));
    world->SetWorldCFM(-1.0f);
    EXPECT_EQ(-1.0, dWorldGetCFM(id));
    world->SetWorldCFM(1e30f);
    EXPECT_FLOAT_EQ(1e30f, float(dWorldGetCFM(id)));
}

TEST_F(WorldBounds, AStepIsAtMostTenSecondsLong) {
    dBodyID body = world->GetNewBody();
    world->SetFrameFrequency(1);
    world->SetTimeFrameStep(kInf);  // an infinite step would stop the process
    engine.BeginFrame(2.0f);        // 0.08 s of backlog: no step yet
    for (int frame = 0; frame < 12; ++frame) engine.BeginFrame(2.0f);
    ASSERT_EQ(1, world->GetFrameCalculateCount());
    EXPECT_NEAR(9.81 * ode_bounds::kMaxStep, -dBodyGetLinearVel(body)[1], 1e-9);
    EXPECT_EQ(float(ode_bounds::kMaxStep), world->GetFrameResolution());  // what was simulated
}

// Falling for ever: ODE of this build stops the process once the small box passes about
// 2.7e8 units, which long steps reach within a few frames. The body is held at the bound.
TEST_F(WorldBounds, ABodyFallingForEverIsHeldAtTheBound) {
    dBodyID body = FallingBody();
    world->SetFrameFrequency(200);
    world->SetTimeFrameStep(80.0f);  // 10 s steps, 16 a frame
    int frames = 0;
    while (dBodyIsEnabled(body) && frames < 100) {
        engine.BeginFrame(2.0f);
        ++frames;
    }
    ASSERT_FALSE(dBodyIsEnabled(body));
    EXPECT_EQ(-ode_bounds::kMaxCoordinate, dBodyGetPosition(body)[1]);
    EXPECT_EQ(0.0, dBodyGetPosition(body)[0]);
    EXPECT_EQ(0.0, dBodyGetLinearVel(body)[1]);

    for (int frame = 0; frame < 200; ++frame) engine.BeginFrame(2.0f);  // 32000 s more
    EXPECT_EQ(-ode_bounds::kMaxCoordinate, dBodyGetPosition(body)[1]);
}

TEST_F(WorldBounds, BodiesInsideTheBoundMoveOn) {
    dBodyID body = FallingBody();
    dBodySetPosition(body, 0.0, ode_bounds::kMaxCoordinate - 1.0, 0.0);
    dBodySetLinearVel(body, 0.0, ode_bounds::kMaxSpeed, 0.0);
    engine.BeginFrame(1.0f);
    EXPECT_TRUE(dBodyIsEnabled(body));  // at the bounds, not past them: simulated
    EXPECT_GT(dBodyGetPosition(body)[1], ode_bounds::kMaxCoordinate);
    engine.BeginFrame(1.0f);  // the step that would index it is not made
    EXPECT_FALSE(dBodyIsEnabled(body));
    EXPECT_EQ(ode_bounds::kMaxCoordinate, dBodyGetPosition(body)[1]);
}

TEST_F(WorldBounds, UndefinedOrRunawayMotionIsStoppedBeforeTheStep) {
    dBodyID spinning = FallingBody();
    dBodySetAngularVel(spinning, 1e300, 0.0, 0.0);  // its rotation would overflow in the step
    dBodyID undefined = FallingBody();
    dBodySetPosition(undefined, 3.0, 0.0, 0.0);
    dBodySetLinearVel(undefined, kNaN, 0.0, 0.0);
    dBodyID pushed = FallingBody();
    dBodyAddTorque(pushed, 0.0, kInf, 0.0);
    engine.BeginFrame(1.0f);
    for (dBodyID body : {spinning, undefined, pushed}) {
        EXPECT_FALSE(dBodyIsEnabled(body));
        EXPECT_EQ(0.0, dBodyGetAngularVel(body)[0]);
        EXPECT_EQ(0.0, dBodyGetLinearVel(body)[0]);
    }
    EXPECT_EQ(3.0, dBodyGetPosition(undefined)[0]);  // a defined coordinate stays
}

}  // namespace
