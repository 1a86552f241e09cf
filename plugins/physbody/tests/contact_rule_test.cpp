// The contact rule between two geometry items, and the world's collision-object class
// reaching the owning body's colliders.
#include <limits>

#include "physics_scene.h"

namespace {

ODE_GeometryItem Item(uint8_t bounceEnabled, float bounce, float bounceVelocity, float friction, float slip) {
    ODE_GeometryItem item;
    item.bounceEnabled = bounceEnabled;
    item.bounce = bounce;
    item.bounceVelocity = bounceVelocity;
    item.friction = friction;
    item.slip = slip;
    return item;
}

constexpr int kApprox = dContactApprox1_1 | dContactApprox1_2;
constexpr int kSlip = dContactSlip1 | dContactSlip2;
constexpr int kSoft = dContactSoftERP | dContactSoftCFM;

TEST(ContactRule, TwoBouncingItemsAverageTheirValues) {
    const dSurfaceParameters s =
        Kco_ODE_World::ComposeContactSurface(Item(1, 0.2f, 0.1f, 1.0f, 1.0f), Item(1, 0.6f, 0.3f, 0.4f, 2.0f), 0.1f, 0.1f);
    EXPECT_EQ(kApprox | kSlip | dContactBounce, s.mode);
    EXPECT_FLOAT_EQ(0.4f, float(s.bounce));
    EXPECT_FLOAT_EQ(0.2f, float(s.bounce_vel));
    EXPECT_FLOAT_EQ(0.4f, float(s.mu));  // the smaller friction
    EXPECT_EQ(0.0, s.mu2);
    EXPECT_FLOAT_EQ(2.0f, float(s.slip1));  // the larger slip
    EXPECT_FLOAT_EQ(2.0f, float(s.slip2));
}

TEST(ContactRule, OneBouncingItemGivesItsOwnValuesWhicheverSideItIs) {
    const ODE_GeometryItem bouncing = Item(1, 0.7f, 0.25f, 1.0f, 1.0f);
    const ODE_GeometryItem dull = Item(0, 0.1f, 0.9f, 1.0f, 1.0f);
    for (const auto& [a, b] : {std::pair{&bouncing, &dull}, std::pair{&dull, &bouncing}}) {
        const dSurfaceParameters s = Kco_ODE_World::ComposeContactSurface(*a, *b, 0.1f, 0.1f);
        EXPECT_TRUE(s.mode & dContactBounce);
        EXPECT_FALSE(s.mode & kSoft);
        EXPECT_FLOAT_EQ(0.7f, float(s.bounce));
        EXPECT_FLOAT_EQ(0.25f, float(s.bounce_vel));
    }
    // Only the byte value 1 enables bounce.
    const dSurfaceParameters s = Kco_ODE_World::ComposeContactSurface(Item(2, 0.7f, 0.2f, 1, 1), dull, 0.1f, 0.1f);
    EXPECT_FALSE(s.mode & dContactBounce);
}

TEST(ContactRule, SoftContactsOnlyWithoutBounceAndWithBothSoftValues) {
    const ODE_GeometryItem a = Item(0, 0.5f, 0.1f, 1.0f, 1.0f);
    const ODE_GeometryItem b = Item(0, 0.5f, 0.1f, 1.0f, 1.0f);
    dSurfaceParameters s = Kco_ODE_World::ComposeContactSurface(a, b, 0.3f, 0.02f);
    EXPECT_EQ(kApprox | kSlip | kSoft, s.mode);
    EXPECT_FLOAT_EQ(0.3f, float(s.soft_erp));
    EXPECT_FLOAT_EQ(0.02f, float(s.soft_cfm));
    EXPECT_EQ(0.0, s.bounce);
    EXPECT_EQ(0.0, s.bounce_vel);

    s = Kco_ODE_World::ComposeContactSurface(a, b, 0.0f, 0.02f);
    EXPECT_FALSE(s.mode & kSoft);
    EXPECT_FLOAT_EQ(0.02f, float(s.soft_cfm));  // written even when unused
    s = Kco_ODE_World::ComposeContactSurface(a, b, 0.3f, 0.0f);
    EXPECT_FALSE(s.mode & kSoft);
}

TEST(ContactRule, SlipFlagsOnlyWhenBothSlipsArePositive) {
    dSurfaceParameters s =
        Kco_ODE_World::ComposeContactSurface(Item(0, 0, 0, 1, 0.0f), Item(0, 0, 0, 1, 3.0f), 0.0f, 0.0f);
    EXPECT_EQ(kApprox, s.mode);
    EXPECT_FLOAT_EQ(3.0f, float(s.slip1));
    s = Kco_ODE_World::ComposeContactSurface(Item(0, 0, 0, 1, 0.5f), Item(0, 0, 0, 1, 0.25f), 0.0f, 0.0f);
    EXPECT_EQ(kApprox | kSlip, s.mode);
    EXPECT_FLOAT_EQ(0.5f, float(s.slip2));
}

// Surface values keep what stored projects mean by them: an infinite friction never slips,
// a bounce above 1 and soft values outside 0..1 are used as they are. Only what stops ODE
// is bounded (a bounce above 1e3, a slip above 1e6, where an infinite slip saturates), and
// undefined values count as 0.
TEST(ContactRule, SurfaceValuesKeepTheirMeaning) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    dSurfaceParameters s = Kco_ODE_World::ComposeContactSurface(Item(1, 1e30f, -5.0f, nan, inf),
                                                                Item(1, 1.5f, 1e30f, 2.0f, 1.0f), 0.1f, 0.1f);
    EXPECT_EQ(kApprox | dContactBounce | kSlip, s.mode);
    EXPECT_FLOAT_EQ((1e3f + 1.5f) / 2, float(s.bounce));
    EXPECT_FLOAT_EQ((1e30f - 5.0f) / 2, float(s.bounce_vel));
    EXPECT_EQ(0.0, s.mu);  // an undefined friction is none
    EXPECT_EQ(1e6, s.slip1);

    s = Kco_ODE_World::ComposeContactSurface(Item(0, 0, 0, inf, 3e30f), Item(0, 0, 0, inf, 1.0f), 5.0f, 1e30f);
    EXPECT_EQ(kApprox | kSlip | kSoft, s.mode);
    EXPECT_EQ(dInfinity, s.mu);
    EXPECT_EQ(1e6, s.slip2);
    EXPECT_EQ(5.0, s.soft_erp);
    EXPECT_FLOAT_EQ(1e30f, float(s.soft_cfm));
    s = Kco_ODE_World::ComposeContactSurface(Item(0, 0, 0, 1e30f, 1), Item(0, 0, 0, inf, 1), -0.5f, 0.1f);
    EXPECT_FLOAT_EQ(1e30f, float(s.mu));
    EXPECT_TRUE(s.mode & kSoft);  // any non-zero soft values switch the soft flags on
    EXPECT_FLOAT_EQ(-0.5f, float(s.soft_erp));
    // Undefined soft values are 0, which leaves the contact to the world's ERP and CFM.
    s = Kco_ODE_World::ComposeContactSurface(Item(0, 0, 0, 1, 1), Item(0, 0, 0, 1, 1), nan, 0.1f);
    EXPECT_FALSE(s.mode & kSoft);
    EXPECT_EQ(0.0, s.soft_erp);
}

// A body that records what the collision-object class asks of it.
class RecordingBody : public Kco_ODE_BodyCollision {
public:
    unsigned long CollideSphere(dGeomID sphere, unsigned long flags, dContactGeom* contact,
                                unsigned long skip) override {
        ++sphereCalls;
        lastOther = sphere;
        contact->pos[0] = contact->pos[1] = contact->pos[2] = 0.0;
        contact->normal[0] = 0.0, contact->normal[1] = 1.0, contact->normal[2] = 0.0;
        contact->depth = 0.25;
        return 1;
    }
    unsigned long CollideBox(dGeomID box, unsigned long flags, dContactGeom*, unsigned long skip,
                             dGeomID collisionGeom) override {
        ++boxCalls;
        lastOther = box;
        lastCollisionGeom = collisionGeom;
        return 0;
    }
    int sphereCalls = 0;
    int boxCalls = 0;
    dGeomID lastOther = nullptr;
    dGeomID lastCollisionGeom = nullptr;
};

class CollisionObjectClass : public PhysicsScene {};

TEST_F(CollisionObjectClass, ReachesTheOwnerForSpheresAndBoxesOnly) {
    RecordingBody owner;  // constructed with this test's engine current
    dGeomID mesh = World()->CreateCollisionObject(&owner);
    dGeomID sphere = world->CreateSphere(1.0f, false);
    dGeomID box = world->CreateBox(1, 1, 1, false);
    dGeomID plane = dCreatePlane(nullptr, 0, 1, 0, 0);
    dGeomID capsule = dCreateCapsule(nullptr, 0.5, 1.0);
    dGeomID otherMesh = world->CreateCollisionObject(&owner);

    dContactGeom contacts[6];
    EXPECT_EQ(1, dCollide(mesh, sphere, 6, contacts, sizeof(dContactGeom)));
    EXPECT_EQ(sphere, owner.lastOther);
    // ODE swaps the pair and turns the normal round when the mesh comes second.
    EXPECT_EQ(1, dCollide(sphere, mesh, 6, contacts, sizeof(dContactGeom)));
    EXPECT_EQ(-1.0, contacts[0].normal[1]);
    EXPECT_EQ(2, owner.sphereCalls);

    EXPECT_EQ(0, dCollide(box, mesh, 6, contacts, sizeof(dContactGeom)));
    EXPECT_EQ(1, owner.boxCalls);
    EXPECT_EQ(box, owner.lastOther);
    EXPECT_EQ(mesh, owner.lastCollisionGeom);

    EXPECT_EQ(0, dCollide(mesh, plane, 6, contacts, sizeof(dContactGeom)));
    EXPECT_EQ(0, dCollide(mesh, capsule, 6, contacts, sizeof(dContactGeom)));
    EXPECT_EQ(0, dCollide(mesh, otherMesh, 6, contacts, sizeof(dContactGeom)));
    EXPECT_EQ(2, owner.sphereCalls);
    EXPECT_EQ(1, owner.boxCalls);

    // Unbounded: the space pairs it with everything.
    dReal aabb[6];
    dGeomGetAABB(mesh, aabb);
    EXPECT_TRUE(std::isinf(aabb[0]) && aabb[0] < 0);
    EXPECT_TRUE(std::isinf(aabb[5]) && aabb[5] > 0);

    for (dGeomID g : {sphere, box, plane, capsule, otherMesh, mesh}) dGeomDestroy(g);
}

TEST_F(CollisionObjectClass, MeshBodyWithoutCollisionObjectsGivesNoContacts) {
    Kco_ODE_BodyCollision* meshBody = NewBody("mesh");
    ODE_GeometryItem item;
    item.kind = ODE_GeometryItem::kCollisionObject;
    meshBody->SetGeometryItem(item, 0);
    Kco_ODE_BodyCollision* ball = NewBody("ball");
    item.kind = ODE_GeometryItem::kSphere;
    ball->SetGeometryItem(item, 0);
    for (int i = 0; i < 10; ++i) Frame();
    EXPECT_FALSE(meshBody->GetIfUseDynamics());
    EXPECT_LT(ball->GetOldMatrix().m[3][1], -1.0f);  // falls through: no mesh is linked
}

}  // namespace
