// The world loaded from its plug-in file and stepped through engine frames.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "physworld/ode_world.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"

namespace {

class WorldStepping : public ::testing::Test {
protected:
    void SetUp() override {
        engine.SetChannelsFolder(CHANNELS_DIR);
        world = static_cast<Kco_ODE_World*>(engine.InitChannelFromType(type_guids::kPhysicsWorld, nullptr, false));
        ASSERT_NE(world, nullptr);
        world->OneTimeInitialize();
        probe = world->GetNewBody();
    }
    void TearDown() override { delete world; }

    // Vertical velocity of a free body after the frames so far: gravity times simulated time.
    double FallSpeed() const { return -dBodyGetLinearVel(probe)[1]; }

    EngineInterface engine;
    Kco_ODE_World* world = nullptr;
    dBodyID probe = nullptr;
};

TEST_F(WorldStepping, TypeRecordAndName) {
    const ChannelType* type = engine.GetRegisteredType(type_guids::kPhysicsWorld);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ("ODE World", type->typeName);
    EXPECT_EQ(type_guids::kPhysicsWorld, type->baseTypeGuid);
    EXPECT_EQ(0, type->typeOption);
    EXPECT_EQ(1, type->typeFlags);
    EXPECT_STREQ("ODE World", world->GetChannelName());
}

TEST_F(WorldStepping, VariableModeStepsOnceByAConstantStepEvenWithoutFrameTime) {
    engine.BeginFrame(0.0f);
    EXPECT_EQ(1, world->GetFrameCalculateCount());
    EXPECT_FLOAT_EQ(0.0f, world->GetFrameResolution());
    EXPECT_NEAR(9.81 * 0.05, FallSpeed(), 1e-9);

    engine.BeginFrame(2.0f);
    EXPECT_EQ(1, world->GetFrameCalculateCount());
    EXPECT_FLOAT_EQ(0.1f, world->GetFrameResolution());  // reported, not stepped
    EXPECT_NEAR(9.81 * 0.10, FallSpeed(), 1e-9);
}

TEST_F(WorldStepping, FrequencyIsClampedToItsRange) {
    world->SetFrameFrequency(-5);  // variable mode
    engine.BeginFrame(0.0f);
    EXPECT_EQ(1, world->GetFrameCalculateCount());

    world->SetFrameFrequency(1000);  // 200 steps per second
    engine.BeginFrame(1.0f);
    EXPECT_FLOAT_EQ(0.005f * 0.05f * 25.0f, world->GetFrameResolution());
    EXPECT_GE(world->GetFrameCalculateCount(), 7);
    EXPECT_LE(world->GetFrameCalculateCount(), 8);
}

TEST_F(WorldStepping, FixedModeCarriesTheRemainderToTheNextFrame) {
    world->SetFrameFrequency(50);
    engine.BeginFrame(1.0f);  // 0.04 s: one step of 0.02 s frame time, 0.02 s left over
    EXPECT_EQ(1, world->GetFrameCalculateCount());
    EXPECT_FLOAT_EQ(0.025f, world->GetFrameResolution());
    EXPECT_NEAR(9.81 * 0.025, FallSpeed(), 1e-6);

    engine.BeginFrame(1.0f);  // 0.02 + 0.04 s
    EXPECT_EQ(2, world->GetFrameCalculateCount());
    EXPECT_NEAR(9.81 * 0.075, FallSpeed(), 1e-6);
}

TEST_F(WorldStepping, FixedModeWithoutFrameTimeMakesNoStep) {
    world->SetFrameFrequency(50);
    engine.BeginFrame(0.0f);
    EXPECT_EQ(0, world->GetFrameCalculateCount());
    EXPECT_EQ(0.0, FallSpeed());
}

TEST_F(WorldStepping, TimeFrameStepScalesTheFixedStep) {
    world->SetFrameFrequency(25);
    world->SetTimeFrameStep(0.04f);  // simulated time equals frame time
    engine.BeginFrame(2.0f);         // 0.08 s: one step of 0.04 s, the rest is not above d
    EXPECT_EQ(1, world->GetFrameCalculateCount());
    EXPECT_FLOAT_EQ(0.04f, world->GetFrameResolution());
}

TEST_F(WorldStepping, FixedStepsOfNoLengthSimulateNothing) {
    world->SetFrameFrequency(50);
    world->SetTimeFrameStep(0.0f);  // ODE would stop the process on a step of 0
    engine.BeginFrame(2.0f);  // 0.08 s of backlog: the steps are still counted
    EXPECT_GE(world->GetFrameCalculateCount(), 3);
    EXPECT_EQ(0.0f, world->GetFrameResolution());
    world->SetTimeFrameStep(-1.0f);
    engine.BeginFrame(2.0f);
    EXPECT_EQ(0.0, FallSpeed());
    EXPECT_EQ(0.0f, world->GetFrameResolution());  // nothing was simulated
    world->SetTimeFrameStep(0.05f);
    engine.BeginFrame(1.0f);
    EXPECT_GT(FallSpeed(), 0.0);
}

TEST_F(WorldStepping, RemovedFromTheEventListWhenDestroyed) {
    delete world;
    world = nullptr;
    engine.BeginFrame(1.0f);  // must not reach the freed world
    SUCCEED();
}

// The engine's frames never carry more than T = 2; a frame time of 100 comes from a
// replaced tick-count channel.
class BacklogWorld : public Kco_ODE_World {
public:
    void UseFrameTimeChannel(Kco_FloatChannel* channel) { frameTimeChannel.Adopt(channel); }
    float Backlog() const { return timeAccumulator; }
};

TEST_F(WorldStepping, BacklogIsClippedToTwoSeconds) {
    BacklogWorld backlog;
    auto* tick = static_cast<Kco_FloatChannel*>(engine.InitChannelFromType(type_guids::kFloatChannel, nullptr, false));
    ASSERT_NE(tick, nullptr);
    tick->SetFloat(100.0f);  // 4 s of frame time
    backlog.UseFrameTimeChannel(tick);
    backlog.SetFrameFrequency(4);
    backlog.CallChannel();
    // 2 s at d = 0.25: seven steps leave exactly d, which is not above d.
    EXPECT_EQ(7, backlog.GetFrameCalculateCount());
    EXPECT_FLOAT_EQ(0.25f, backlog.Backlog());
}

TEST_F(WorldStepping, SpheresOfRadiusZeroGetRadiusOne) {
    dGeomID sphere = world->CreateSphere(0.0f, false);
    EXPECT_EQ(1.0, dGeomSphereGetRadius(sphere));
    EXPECT_EQ(nullptr, dGeomGetSpace(sphere));
    dGeomDestroy(sphere);

    dGeomID inSpace = world->CreateSphere(0.5f, true);
    EXPECT_EQ(0.5, dGeomSphereGetRadius(inSpace));
    EXPECT_EQ(world->GetSpaceID(), dGeomGetSpace(inSpace));
}

TEST_F(WorldStepping, NullJointsAreIgnored) {
    dVector3 out = {7.0, 7.0, 7.0, 7.0};
    world->JointDestroy(nullptr);
    world->JointAttach(nullptr, probe, nullptr);
    world->JointSetHingeParam(nullptr, dParamLoStop, 1.0);
    world->JointSetSliderParam(nullptr, dParamLoStop, 1.0);
    world->JointSetHinge2Param(nullptr, dParamLoStop, 1.0);
    world->JointSetBallAnchor(nullptr, 1, 2, 3);
    world->JointSetHingeAxis(nullptr, 1, 0, 0);
    world->JointGetHingeAnchor(nullptr, out);
    world->JointGetHinge2Axis1(nullptr, out);
    EXPECT_EQ(7.0, out[0]);
    EXPECT_EQ(0.0, world->JointGetHinge2Angle1(nullptr));
    EXPECT_EQ(0.0, world->JointGetHinge2Angle1Rate(nullptr));
    EXPECT_EQ(0.0, world->JointGetHinge2Angle2Rate(nullptr));
}

TEST_F(WorldStepping, BallJointsAlwaysLiveInThisWorld) {
    dJointID ball = world->JointCreateBall(nullptr, nullptr);
    ASSERT_NE(ball, nullptr);
    world->JointAttach(ball, probe, nullptr);
    world->JointSetBallAnchor(ball, 0.0, 0.0, 0.0);  // the body's own centre
    dVector3 anchor = {9.0, 9.0, 9.0, 9.0};
    world->JointGetBallAnchor(ball, anchor);
    EXPECT_NEAR(0.0, anchor[1], 1e-12);
    // Pinned at its centre to the static environment, the body no longer falls.
    for (int i = 0; i < 10; ++i) engine.BeginFrame(1.0f);
    EXPECT_LT(FallSpeed(), 0.1);
    world->JointDestroy(ball);
}

// ODE holds four user geometry classes per process; more worlds than that share one.
TEST(WorldClass, ManyWorldsShareOneCollisionObjectClass) {
    EngineInterface engine;
    engine.SetChannelsFolder(CHANNELS_DIR);
    std::vector<std::unique_ptr<Kel_Channel>> worlds;
    for (int i = 0; i < 6; ++i) {
        worlds.emplace_back(engine.InitChannelFromType(type_guids::kPhysicsWorld, nullptr, false));
        ASSERT_NE(worlds.back(), nullptr);
    }
    const int cls = Kco_ODE_World::CollisionObjectClass();
    EXPECT_GE(cls, int(dFirstUserClass));
    EXPECT_LE(cls, int(dLastUserClass));
    auto* last = static_cast<Kco_ODE_World*>(worlds.back().get());
    dGeomID geom = last->CreateCollisionObject(nullptr);
    EXPECT_EQ(cls, dGeomGetClass(geom));
    EXPECT_EQ(last->GetSpaceID(), dGeomGetSpace(geom));
    worlds.clear();
}

TEST(WorldCopy, ACopyOwnsItsOwnSimulation) {
    EngineInterface engine;
    engine.SetChannelsFolder(CHANNELS_DIR);
    std::unique_ptr<Kco_ODE_World> world(
        static_cast<Kco_ODE_World*>(engine.InitChannelFromType(type_guids::kPhysicsWorld, nullptr, false)));
    ASSERT_NE(world, nullptr);
    world->SetFrameFrequency(50);
    world->SetSoftERP(0.3f);
    auto copy = std::make_unique<Kco_ODE_World>(*world);
    EXPECT_NE(world->GetWorldID(), copy->GetWorldID());
    EXPECT_NE(world->GetSpaceID(), copy->GetSpaceID());
    EXPECT_FLOAT_EQ(0.3f, copy->GetSoftERP());
    copy.reset();
    world->CallChannel();  // the original's ODE objects survived the copy's destruction
    EXPECT_EQ(0, world->GetFrameCalculateCount());
}

}  // namespace
