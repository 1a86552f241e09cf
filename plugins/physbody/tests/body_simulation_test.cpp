// Bodies simulated through engine frames with the real world and body plug-in files.
#include <cmath>
#include <limits>

#include <os/tick_count.h>

#include "physics_scene.h"

namespace {

class BodySimulation : public PhysicsScene {
protected:
    ~BodySimulation() override { os::SetTickCountSourceForTesting({}); }
};

float Height(Kco_ODE_BodyCollision* body) { return body->GetOldMatrix().m[3][1]; }

TEST_F(BodySimulation, BoxFallsBouncesAndComesToRestOnThePlane) {
    Ground();
    Kco_ODE_BodyCollision* box = NewBody("box");
    StartAt(box, 0.0f, 3.0f, 0.0f);

    Frame();
    ASSERT_NE(box->GetBodyID(), nullptr);
    float previous = Height(box);
    float lowest = previous;
    bool fell = false, bounced = false;
    for (int frame = 0; frame < 300; ++frame) {
        Frame();
        const float y = Height(box);
        if (y < previous - 1e-4f) fell = true;
        if (lowest < 0.55f && y > 0.75f) bounced = true;  // up again well clear of the plane
        lowest = std::fmin(lowest, y);
        previous = y;
    }
    EXPECT_TRUE(fell);
    EXPECT_TRUE(bounced);
    EXPECT_NEAR(0.5f, Height(box), 0.02f);  // half the unit box above the plane
    D3DXVECTOR3 v = box->GetLinearVelocityVector();
    EXPECT_LT(D3DXVec3Length(&v), 0.05f);
}

// Soft contacts (the default 0.1 / 0.1) let a box sink and push it back up; with them
// off as well, nothing lifts the box once it is down.
TEST_F(BodySimulation, WithoutBounceOrSoftnessTheBoxNeverRisesAgain) {
    Kco_ODE_BodyCollision* ground = Ground();
    world->SetSoftERP(0.0f);
    world->SetSoftCFM(0.0f);
    ground->GetGeometryItem(0)->bounceEnabled = 0;
    Kco_ODE_BodyCollision* box = NewBody("box");
    box->GetGeometryItem(0)->bounceEnabled = 0;
    StartAt(box, 0.0f, 3.0f, 0.0f);
    bool touched = false;
    for (int frame = 0; frame < 120; ++frame) {
        Frame();
        if (touched) {
            EXPECT_LT(Height(box), 0.51f) << "frame " << frame;
        }
        touched = touched || Height(box) < 0.55f;
    }
    EXPECT_TRUE(touched);
}

// The clock moves 40 ms per frame; the rest timer must run past 1000 ms of calm contact
// frames before the body is held.
TEST_F(BodySimulation, RestRuleHoldsOnlyAfterMoreThanASecondOfRest) {
    uint32_t clock = 5000;
    os::SetTickCountSourceForTesting([&clock] { return clock; });
    Ground();
    Kco_ODE_BodyCollision* box = NewBody("box");
    box->SetIfDynamicDisableForces(true);
    StartAt(box, 0.0f, 2.0f, 0.0f);

    bool sawMotion = false;
    bool held = false;
    for (int frame = 0; frame < 400 && !held; ++frame) {
        clock += 40;
        const bool wasResting = box->GetRestFlag();
        Frame();
        if (!box->GetRestFlag()) sawMotion = true;
        if (sawMotion && !wasResting && box->GetRestFlag()) {
            held = true;
            EXPECT_GT(clock - box->GetRestTick(), 1000u);
            EXPECT_LE(clock - 40 - box->GetRestTick(), 1000u + 40u);
            D3DXVECTOR3 v = box->GetLinearVelocityVector();
            EXPECT_EQ(0.0f, D3DXVec3Length(&v));
        }
    }
    ASSERT_TRUE(held);
    EXPECT_NEAR(0.5f, Height(box), 0.02f);

    // Held, the body stays where it was last frame.
    const D3DXMATRIX before = box->GetOldMatrix();
    for (int frame = 0; frame < 20; ++frame) {
        clock += 40;
        Frame();
    }
    EXPECT_NEAR(before.m[3][1], Height(box), 1e-3f);
    EXPECT_TRUE(box->GetRestFlag());
}

TEST_F(BodySimulation, RestRuleNeverHoldsWhileTheClockStands) {
    os::SetTickCountSourceForTesting([] { return 777u; });
    Ground();
    Kco_ODE_BodyCollision* box = NewBody("box");
    box->SetIfDynamicDisableForces(true);
    StartAt(box, 0.0f, 2.0f, 0.0f);
    bool sawMotion = false;
    for (int frame = 0; frame < 300; ++frame) {
        Frame();
        if (!box->GetRestFlag()) sawMotion = true;
        if (sawMotion) {
            ASSERT_FALSE(box->GetRestFlag()) << "frame " << frame;
        }
    }
    EXPECT_TRUE(sawMotion);
}

TEST_F(BodySimulation, SphereRollsDownASlope) {
    D3DXMATRIX tilt;
    D3DXMatrixRotationZ(&tilt, 0.3f);  // plane normal (-sin, cos, 0): downhill is -X
    Ground(&tilt);
    Kco_ODE_BodyCollision* ball = NewBody("ball");
    ODE_GeometryItem sphere;
    sphere.kind = ODE_GeometryItem::kSphere;
    sphere.radius = 0.5f;
    sphere.bounceEnabled = 0;
    sphere.slip = 0.0f;  // no force-dependent slip: the contact grips
    ball->SetGeometryItem(sphere, 0);
    StartAt(ball, 0.0f, 1.0f, 0.0f);
    for (int frame = 0; frame < 60; ++frame) Frame();
    EXPECT_LT(ball->GetOldMatrix().m[3][0], -1.0f);
    // Rolling towards -X about +Z, not sliding.
    D3DXVECTOR3 w = ball->GetAngularVelocityVector();
    D3DXVECTOR3 v = ball->GetLinearVelocityVector();
    EXPECT_GT(w.z, 1.0f);
    EXPECT_NEAR(D3DXVec3Length(&v), w.z * 0.5f, 0.25f * D3DXVec3Length(&v));
}

TEST_F(BodySimulation, DisabledBodyFollowsItsStartAndIsRebuiltThere) {
    Ground();
    Kco_ODE_BodyCollision* box = NewBody("box");
    Kco_MatrixChannel* start = StartAt(box, 1.0f, 4.0f, 2.0f);
    Kco_FloatChannel* enable = EnableWith(box, 1.0f);
    for (int frame = 0; frame < 10; ++frame) Frame();
    EXPECT_LT(Height(box), 3.9f);
    EXPECT_TRUE(box->GetIfRunningDynamics());

    enable->SetFloat(0.5f);
    D3DXMATRIX moved;
    D3DXMatrixTranslation(&moved, -3.0f, 6.0f, 0.0f);
    start->SetMatrix(moved);
    Frame();
    EXPECT_EQ(moved, box->GetOldMatrix());
    EXPECT_EQ(nullptr, box->GetBodyID());
    EXPECT_EQ(nullptr, box->GetGeometryItem(0)->geom);
    EXPECT_FALSE(box->GetIfInitialized());
    EXPECT_FALSE(box->GetIfRunningDynamics());

    enable->SetFloat(1.0f);
    Frame();
    ASSERT_NE(nullptr, box->GetBodyID());
    const dReal* p = dBodyGetPosition(box->GetBodyID());
    EXPECT_NEAR(-3.0, p[0], 1e-3);
    EXPECT_NEAR(6.0, p[1], 0.1);  // one step of falling at most
}

TEST_F(BodySimulation, DisableForcesPinsTheBodyToItsStart) {
    Kco_ODE_BodyCollision* box = NewBody("box");
    box->SetIfDisableForces(true);
    StartAt(box, 0.0f, 5.0f, 0.0f);
    for (int frame = 0; frame < 20; ++frame) Frame();
    EXPECT_NEAR(5.0f, Height(box), 0.05f);
}

TEST_F(BodySimulation, StartMatrixScaledToNothingKeepsTheBodyRotation) {
    // ODE would stop the process on the zero rotation rows such a start matrix gives.
    Kco_ODE_BodyCollision* box = NewBody("box");
    box->SetIfDisableForces(true);
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1.0f, 0.0f, 1.0f);
    flat._42 = 5.0f;
    Kco_MatrixChannel* start = StartAt(box, flat);
    for (int frame = 0; frame < 3; ++frame) Frame();
    ASSERT_NE(nullptr, box->GetBodyID());
    EXPECT_NEAR(5.0, dBodyGetPosition(box->GetBodyID())[1], 1e-6);
    EXPECT_EQ(1.0, dBodyGetRotation(box->GetBodyID())[5]);
    EXPECT_EQ(0.0f, box->GetMatrix()._22);  // the start's scale is put back

    D3DXMATRIX gone;
    D3DXMatrixScaling(&gone, 0.0f, 0.0f, 0.0f);
    gone._41 = 2.0f;
    start->SetMatrix(gone);
    Frame();
    EXPECT_NEAR(2.0, dBodyGetPosition(box->GetBodyID())[0], 1e-6);
    EXPECT_EQ(D3DXVECTOR3(0.0f, 0.0f, 0.0f), box->GetScale());
}

TEST_F(BodySimulation, StaticShapesScaledToNothingKeepTheirOwnRotation) {
    // A static box turned by a start matrix with a zero row has a flat axis: its contacts
    // have no normal, and ODE's step failed on the box that fell onto it.
    Ground();
    Kco_ODE_BodyCollision* shelf = NewBody("shelf");
    ODE_GeometryItem box, plane;
    plane.kind = ODE_GeometryItem::kPlane;  // also makes the body static
    shelf->SetGeometryItem(box, 0);
    shelf->SetGeometryItem(plane, 1);
    D3DXMATRIX thin;
    D3DXMatrixScaling(&thin, 1.0f, 1.0f, 0.0f);
    thin._42 = 0.5f;
    Kco_MatrixChannel* start = StartAt(shelf, thin);
    Kco_ODE_BodyCollision* falling = NewBody("falling");
    StartAt(falling, 0.2f, 2.0f, 0.0f);
    for (int frame = 0; frame < 20; ++frame) Frame();
    const dReal* r = dGeomGetRotation(shelf->GetGeometryItem(0)->geom);
    EXPECT_EQ(1.0, r[0]);
    EXPECT_EQ(1.0, r[5]);
    EXPECT_EQ(1.0, r[10]);
    dVector3 sides;
    dGeomBoxGetLengths(shelf->GetGeometryItem(0)->geom, sides);
    EXPECT_NEAR(sides[2], 1e-3, 1e-9);  // still as thin as the matrix makes it
    const dReal* q = dBodyGetQuaternion(falling->GetBodyID());
    EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-9);
    // Flattened along its normal, the plane stays as it was.
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1.0f, 0.0f, 1.0f);
    flat._42 = 0.25f;
    start->SetMatrix(flat);
    Frame();
    dVector4 params;
    dGeomPlaneGetParams(shelf->GetGeometryItem(1)->geom, params);
    EXPECT_EQ(0.0, params[0]);
    EXPECT_EQ(1.0, params[1]);
}

TEST_F(BodySimulation, AngularDampingScalesSpinByTheFrameTime) {
    Kco_ODE_BodyCollision* box = NewBody("box");
    box->SetAngularVelocityDampenValue(0.5f);
    Frame();
    dBodySetAngularVel(box->GetBodyID(), 0.0, 4.0, 0.0);
    Frame(1.0f);  // t = 1 multiplies w by k
    EXPECT_NEAR(2.0f, box->GetAngularVelocityVector().y, 1e-4f);
    Frame(0.0f);  // no frame time, no damping
    EXPECT_NEAR(2.0f, box->GetAngularVelocityVector().y, 1e-4f);
    // An undefined factor (a damaged file) damps nothing rather than making the spin undefined.
    box->SetAngularVelocityDampenValue(std::numeric_limits<float>::quiet_NaN());
    Frame(1.0f);
    EXPECT_NEAR(2.0f, box->GetAngularVelocityVector().y, 1e-4f);
}

// A factor of 1e9 (a damaged file) spun a body with a far shape until ODE's step failed and
// stopped the process: the spin stops where the far shape moves at the speed bound.
TEST_F(BodySimulation, AFactorFarAboveOneSpinsABodyNoFasterThanItsReachAllows) {
    Kco_ODE_BodyCollision* arm = NewBody("arm");
    arm->GetGeometryItem(0)->offset = D3DXVECTOR3(1000.0f, 0.0f, 0.0f);
    arm->SetAngularVelocityDampenValue(1e9f);
    Frame();
    dBodySetAngularVel(arm->GetBodyID(), 0.0, 1.0, 0.0);
    for (int frame = 0; frame < 5; ++frame) Frame(1.0f);
    const float reach = 1000.0f + 0.5f * std::sqrt(3.0f);
    EXPECT_NEAR(1e6f / reach, std::fabs(arm->GetAngularVelocityVector().y), 1.0f);
}

TEST_F(BodySimulation, StaticGeometryMovesOnlyWhenTheStartMatrixChanges) {
    Kco_ODE_BodyCollision* block = NewBody("block");
    block->SetIfUseDynamics(false);
    Kco_MatrixChannel* start = StartAt(block, 1.0f, 2.0f, 3.0f);
    Frame();
    dGeomID geom = block->GetGeometryItem(0)->geom;
    ASSERT_NE(nullptr, geom);
    EXPECT_EQ(nullptr, dGeomGetBody(geom));
    EXPECT_DOUBLE_EQ(2.0, dGeomGetPosition(geom)[1]);

    dGeomSetPosition(geom, 9.0, 9.0, 9.0);  // a marker: only a re-placement moves it back
    Frame();
    EXPECT_DOUBLE_EQ(9.0, dGeomGetPosition(geom)[1]);

    D3DXMATRIX m = start->GetMatrix();
    m._42 = std::nextafter(m._42, 3.0f);  // one bit
    start->SetMatrix(m);
    Frame();
    EXPECT_FLOAT_EQ(2.0f, float(dGeomGetPosition(geom)[1]));
    EXPECT_DOUBLE_EQ(1.0, dGeomGetPosition(geom)[0]);
}

TEST_F(BodySimulation, JoinedBodiesGetNoContactsButStaticGeometryDoes) {
    Kco_ODE_BodyCollision* a = NewBody("a");
    Kco_ODE_BodyCollision* b = NewBody("b");
    Kco_ODE_BodyCollision* block = NewBody("block");
    block->SetIfUseDynamics(false);
    StartAt(a, 0.0f, 0.0f, 0.0f);
    StartAt(b, 0.5f, 0.0f, 0.0f);  // overlapping unit boxes
    StartAt(block, 0.0f, 0.0f, 0.6f);
    for (Kco_ODE_BodyCollision* body : bodies) body->InitializeBody();

    dJointID ball = world->JointCreateBall(nullptr, nullptr);
    world->JointAttach(ball, a->GetBodyID(), b->GetBodyID());
    dSpaceCollide(world->GetSpaceID(), world, &Kco_ODE_World::NearCallback);
    // Between a and b only the ball joint; a still gets contacts with the static block.
    int contactsA = 0;
    for (int i = 0; i < dBodyGetNumJoints(a->GetBodyID()); ++i) {
        dJointID j = dBodyGetJoint(a->GetBodyID(), i);
        const bool toB = dJointGetBody(j, 0) == b->GetBodyID() || dJointGetBody(j, 1) == b->GetBodyID();
        if (toB) {
            EXPECT_EQ(dJointTypeBall, dJointGetType(j));
        }
        if (dJointGetType(j) == dJointTypeContact) ++contactsA;
    }
    EXPECT_GT(contactsA, 0);
    EXPECT_GT(a->GetPenetration(), 0.0f);
    EXPECT_GT(block->GetPenetration(), 0.0f);
    dJointGroupEmpty(world->GetContactGroupID());

    world->JointDestroy(ball);
    dSpaceCollide(world->GetSpaceID(), world, &Kco_ODE_World::NearCallback);
    bool abContact = false;
    for (int i = 0; i < dBodyGetNumJoints(a->GetBodyID()); ++i) {
        dJointID j = dBodyGetJoint(a->GetBodyID(), i);
        if (dJointGetBody(j, 0) == b->GetBodyID() || dJointGetBody(j, 1) == b->GetBodyID()) abContact = true;
    }
    EXPECT_TRUE(abContact);
    dJointGroupEmpty(world->GetContactGroupID());
}

}  // namespace
