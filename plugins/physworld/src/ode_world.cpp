#include "physworld/ode_world.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "physbody/ode_body.h"
#include "physworld/ode_bounds.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_ODE_World,
                       (ChannelTypeInfo{"ODE World", type_guids::kPhysicsWorld, type_guids::kPhysicsWorld, 0, 1}))

namespace {

constexpr int kMaxContacts = 6;
constexpr dReal kVariableStep = 0.05;  // variable mode always steps this long

// ---- the collision-object geometry class ----
// Its class data is one pointer: the body that owns the geometry.

Kco_ODE_BodyCollision* OwnerOf(dGeomID collisionObject) {
    return *static_cast<Kco_ODE_BodyCollision**>(dGeomGetClassData(collisionObject));
}

int CollideWithSphere(dGeomID o1, dGeomID o2, int flags, dContactGeom* contact, int skip) {
    Kco_ODE_BodyCollision* owner = OwnerOf(o1);
    if (!owner) return 0;
    return int(owner->CollideSphere(o2, (unsigned long)flags, contact, (unsigned long)skip));
}

int CollideWithBox(dGeomID o1, dGeomID o2, int flags, dContactGeom* contact, int skip) {
    Kco_ODE_BodyCollision* owner = OwnerOf(o1);
    if (!owner) return 0;
    return int(owner->CollideBox(o2, (unsigned long)flags, contact, (unsigned long)skip, o1));
}

// Meshes meet spheres and boxes only; planes, capsules, rays and other meshes pass by.
dColliderFn* SelectCollider(int otherClass) {
    if (otherClass == dSphereClass) return &CollideWithSphere;
    if (otherClass == dBoxClass) return &CollideWithBox;
    return nullptr;
}

// Unbounded, so the hash space pairs the mesh with every other geometry.
void InfiniteBounds(dGeomID, dReal aabb[6]) {
    const dReal inf = std::numeric_limits<dReal>::infinity();
    aabb[0] = aabb[2] = aabb[4] = -inf;
    aabb[1] = aabb[3] = aabb[5] = inf;
}

// ODE is initialised once per process and never closed: other libraries of the process
// may use it after the last world is gone.
void InitODEOnce() {
    static const bool done = [] {
        dInitODE2(0);
        dAllocateODEDataForThread(dAllocateMaskAll);
        return true;
    }();
    (void)done;
}

// ODE keeps four user classes per process and aborts the process on a fifth, so the
// class is registered by the first world and shared by all later ones. The library is
// linked with -z nodelete, so the class's functions stay valid as long as ODE holds them.
int RegisterCollisionObjectClass() {
    static const int classNumber = [] {
        InitODEOnce();
        dGeomClass descriptor{};
        descriptor.bytes = int(sizeof(Kco_ODE_BodyCollision*));
        descriptor.collider = &SelectCollider;
        descriptor.aabb = &InfiniteBounds;
        descriptor.aabb_test = nullptr;
        descriptor.dtor = nullptr;
        return dCreateGeomClass(&descriptor);
    }();
    return classNumber;
}

bool Within(const dReal* v, int n, double bound) {
    for (int i = 0; i < n; ++i)
        if (!(std::fabs(v[i]) <= bound)) return false;  // also false for NaN
    return true;
}

bool IsDefined(const dReal* v, int n) { return Within(v, n, std::numeric_limits<dReal>::max()); }

// The state ODE stops the process on in the next collision or step: a position beyond what
// the hash space indexes, an undefined pose or force, a speed whose step overflows.
bool IsRunaway(dBodyID body) {
    return !Within(dBodyGetPosition(body), 3, ode_bounds::kMaxCoordinate) || !IsDefined(dBodyGetQuaternion(body), 4) ||
           !Within(dBodyGetLinearVel(body), 3, ode_bounds::kMaxSpeed) ||
           !Within(dBodyGetAngularVel(body), 3, ode_bounds::kMaxSpeed) || !IsDefined(dBodyGetForce(body), 3) ||
           !IsDefined(dBodyGetTorque(body), 3);
}

// Held at the bound it crossed (an undefined coordinate at 0), at rest and disabled: it no
// longer moves unless a joint to a moving body wakes it, and then it is held again.
void Hold(dBodyID body) {
    const dReal* p = dBodyGetPosition(body);
    const double c = ode_bounds::kMaxCoordinate;
    dBodySetPosition(body, ode_bounds::Clamp(p[0], -c, c), ode_bounds::Clamp(p[1], -c, c),
                     ode_bounds::Clamp(p[2], -c, c));
    if (!IsDefined(dBodyGetQuaternion(body), 4)) {
        const dQuaternion identity = {1.0, 0.0, 0.0, 0.0};
        dBodySetQuaternion(body, identity);
    }
    dBodySetLinearVel(body, 0.0, 0.0, 0.0);
    dBodySetAngularVel(body, 0.0, 0.0, 0.0);
    dBodySetForce(body, 0.0, 0.0, 0.0);
    dBodySetTorque(body, 0.0, 0.0, 0.0);
    dBodyDisable(body);
}

// Every body with geometry is checked before each step, since anything between two steps
// (the step itself, a body's damping, a joint channel's force) may have driven it away.
// Bodies without geometry never reach the hash space and are left to their owners.
void HoldRunawayBodies(dSpaceID space) {
    const int count = dSpaceGetNumGeoms(space);
    for (int i = 0; i < count; ++i) {
        dBodyID body = dGeomGetBody(dSpaceGetGeom(space, i));
        if (body && IsRunaway(body)) Hold(body);
    }
}

// A contact computed from degenerate shapes may be undefined; ODE stops the process on it.
bool IsDefined(const dContactGeom& contact) {
    return IsDefined(contact.pos, 3) && IsDefined(contact.normal, 3) && std::isfinite(contact.depth);
}

}  // namespace

// ---- construction and destruction ----

Kco_ODE_World::Kco_ODE_World() {
    CreateOwned();
    SetChannelName("ODE World");
    frameTimeChannel.Take(engineInterface);
    collisionObjectClass = RegisterCollisionObjectClass();
}

Kco_ODE_World::Kco_ODE_World(const Kco_ODE_World& other) : Kel_Channel(other) {
    CreateOwned();
    frameTimeChannel.Take(engineInterface);
    collisionObjectClass = RegisterCollisionObjectClass();
    CopySettings(other);
}

Kco_ODE_World& Kco_ODE_World::operator=(const Kco_ODE_World& other) {
    if (this == &other) return *this;
    Kel_Channel::operator=(other);
    CopySettings(other);
    return *this;
}

Kco_ODE_World::~Kco_ODE_World() { DestroyOwned(); }

void Kco_ODE_World::CreateOwned() {
    InitODEOnce();
    worldID = dWorldCreate();
    spaceID = dHashSpaceCreate(nullptr);
    contactGroupID = dJointGroupCreate(0);
    dWorldSetGravity(worldID, 0.0, -9.81, 0.0);
    dWorldSetCFM(worldID, 0.00001);
}

void Kco_ODE_World::DestroyOwned() {
    if (contactGroupID) dJointGroupDestroy(contactGroupID);
    if (spaceID) dSpaceDestroy(spaceID);
    if (worldID) dWorldDestroy(worldID);
    contactGroupID = nullptr;
    spaceID = nullptr;
    worldID = nullptr;
    if (engineInterface) engineInterface->RemoveChannelFromEvent(this, 0);
    frameTimeChannel.Drop();
}

// The ODE world's own gravity and ERP/CFM are not readable back through this channel's
// operations, so a copy starts from the constructor's world settings.
void Kco_ODE_World::CopySettings(const Kco_ODE_World& other) {
    timeFrameStep = other.timeFrameStep;
    frameFrequency = other.frameFrequency;
    timeAccumulator = other.timeAccumulator;
    softERP = other.softERP;
    softCFM = other.softCFM;
    frameResolution = other.frameResolution;
    frameCalculateCount = other.frameCalculateCount;
    quickStepIterations = other.quickStepIterations;
}

int Kco_ODE_World::CollisionObjectClass() { return RegisterCollisionObjectClass(); }

// ---- channel operations ----

void Kco_ODE_World::OneTimeInitialize() {
    if (engineInterface) engineInterface->AddChannelToEvent(this, 0);
}

void Kco_ODE_World::DoEvent(int event, unsigned long) {
    if (event == 0) CallChannel();
}

void Kco_ODE_World::StepOnce(dReal seconds) {
    stepLength = seconds;
    HoldRunawayBodies(spaceID);
    dSpaceCollide(spaceID, this, &Kco_ODE_World::NearCallback);
    if (quickStepIterations > 0) {
        dWorldSetQuickStepNumIterations(worldID, quickStepIterations);
        dWorldQuickStep(worldID, seconds);
    } else {
        dWorldStep(worldID, seconds);
    }
    dJointGroupEmpty(contactGroupID);
}

void Kco_ODE_World::CallChannel() {
    const float t = frameTimeChannel.Ticks();
    if (frameFrequency == 0) {
        frameResolution = t * timeFrameStep;
        StepOnce(kVariableStep);
        frameCalculateCount = 1;
        return;
    }
    const float d = 1.0f / float(frameFrequency);
    timeAccumulator += t * FrameClock::kSecondsPerTick;
    if (timeAccumulator > 2.0f) timeAccumulator = 2.0f;  // at most 2 s of backlog
    frameCalculateCount = 0;
    while (timeAccumulator > d) {
        timeAccumulator -= d;
        // ODE stops the process on a step that is not positive (a time scale of 0 or below)
        // or infinite; beyond the bound a step only multiplies rounding. Bodies are told the
        // length actually simulated.
        const float step = d * timeFrameStep * 25.0f;
        frameResolution = step > 0.0f ? std::fmin(step, float(ode_bounds::kMaxStep)) : 0.0f;
        if (frameResolution > 0.0f) StepOnce(dReal(frameResolution));
        ++frameCalculateCount;
    }
}

// ---- the contact rule ----

namespace {

// An item's surface values as ODE takes them. Stored values keep their meaning: an infinite
// friction never slips (ODE's dInfinity), other infinite values saturate at the largest
// value ODE takes (ode_bounds.h) or the largest finite float. Undefined values count as 0; a
// negative friction or bounce, which has no meaning, counts as 0.
float Saturated(float v) { return std::isnan(v) ? 0.0f : std::fmax(-FLT_MAX, std::fmin(FLT_MAX, v)); }

struct Surface {
    explicit Surface(const ODE_GeometryItem& item)
        : bounce(float(ode_bounds::Clamp(item.bounce, 0.0, ode_bounds::kMaxBounce))),
          bounceVelocity(Saturated(item.bounceVelocity)),
          friction(item.friction == std::numeric_limits<float>::infinity() ? dInfinity
                                                                           : std::fmax(Saturated(item.friction), 0.0f)),
          slip(float(ode_bounds::Clamp(item.slip, -ode_bounds::kMaxSlip, ode_bounds::kMaxSlip,
                                       item.slip > 0.0f ? ode_bounds::kMaxSlip : 0.0))) {}
    float bounce, bounceVelocity;
    dReal friction;
    float slip;
};

}  // namespace

dSurfaceParameters Kco_ODE_World::ComposeContactSurface(const ODE_GeometryItem& i1, const ODE_GeometryItem& i2,
                                                        float erp, float cfm) {
    const Surface a(i1), b(i2);
    erp = Saturated(erp);
    cfm = Saturated(cfm);
    dSurfaceParameters s{};
    s.mode = dContactApprox1_1 | dContactApprox1_2;
    if (a.slip > 0.0f && b.slip > 0.0f) s.mode |= dContactSlip1 | dContactSlip2;
    float bounce = 0.0f;
    float bounceVelocity = 0.0f;
    if (i1.bounceEnabled == 1) {
        s.mode |= dContactBounce;
        bounce = a.bounce;
        bounceVelocity = a.bounceVelocity;
        if (i2.bounceEnabled == 1) {
            bounce = (bounce + b.bounce) * 0.5f;
            bounceVelocity = (bounceVelocity + b.bounceVelocity) * 0.5f;
        }
    } else if (i2.bounceEnabled == 1) {
        s.mode |= dContactBounce;
        bounce = b.bounce;
        bounceVelocity = b.bounceVelocity;
    } else if (erp != 0.0f && cfm != 0.0f) {
        s.mode |= dContactSoftERP | dContactSoftCFM;
    }
    s.mu = std::min(a.friction, b.friction);
    s.mu2 = 0.0;
    s.soft_erp = erp;
    s.soft_cfm = cfm;
    s.slip1 = s.slip2 = std::fmax(a.slip, b.slip);
    s.bounce = bounce;
    s.bounce_vel = bounceVelocity;
    return s;
}

// Performance contract: nothing is allocated per pair but ODE's contact joints, which
// the step frees in bulk.
void Kco_ODE_World::NearCallback(void* data, dGeomID o1, dGeomID o2) {
    auto* world = static_cast<Kco_ODE_World*>(data);
    auto* i1 = static_cast<ODE_GeometryItem*>(dGeomGetData(o1));
    auto* i2 = static_cast<ODE_GeometryItem*>(dGeomGetData(o2));
    dBodyID b1 = dGeomGetBody(o1);
    dBodyID b2 = dGeomGetBody(o2);
    if (b1 && b2 && dAreConnected(b1, b2)) return;
    if (!i1 || !i2) return;
    // The items' surface values are read after the collision: fetch them meanwhile (a body's
    // item is seldom in cache when its pair comes up).
    __builtin_prefetch(&i1->bounceEnabled);
    __builtin_prefetch(&i2->bounceEnabled);
    __builtin_prefetch(&i1->owner);
    __builtin_prefetch(&i2->owner);

    dContact contacts[kMaxContacts];
    const int n = dCollide(o1, o2, kMaxContacts, &contacts[0].geom, int(sizeof(dContact)));
    if (n <= 0) return;

    const float erp = world->GetSoftERP();
    const float cfm = world->GetSoftCFM();
    const dSurfaceParameters surface = ComposeContactSurface(*i1, *i2, erp, cfm);
    for (int i = 0; i < n; ++i) {
        dContact& contact = contacts[i];
        if (!IsDefined(contact.geom)) continue;
        contact.surface = surface;
        if (contact.geom.depth < 0.0) {
            // A contact ahead of a fast body (the mesh colliders' sweep): the body is still
            // -depth away along the normal, so it may close that gap within the step and no
            // more. It touches at the step's end, where the next step's contact bounces it.
            contact.surface.mode = (contact.surface.mode | dContactMotionN) & ~dContactBounce;
            contact.surface.motionN = contact.geom.depth / world->GetStepLength();
        }
        if (contact.geom.depth > 0.0) {
            const float depth = float(contact.geom.depth);
            if (i1->owner) i1->owner->SetPenetrationOfBody(depth);
            if (i2->owner) i2->owner->SetPenetrationOfBody(depth);
        }
        dJointID joint = dJointCreateContact(world->GetWorldID(), world->GetContactGroupID(), &contact);
        dJointAttach(joint, b1, b2);
    }
}

// ---- world and geometry services ----

dBodyID Kco_ODE_World::GetNewBody() { return dBodyCreate(worldID); }
dSpaceID Kco_ODE_World::GetSpaceID() { return spaceID; }
dWorldID Kco_ODE_World::GetWorldID() { return worldID; }
dJointGroupID Kco_ODE_World::GetContactGroupID() { return contactGroupID; }
dGeomID Kco_ODE_World::CreateGeomTransform() { return dCreateGeomTransform(spaceID); }

dGeomID Kco_ODE_World::CreateBox(float lx, float ly, float lz, bool addToSpace) {
    return dCreateBox(addToSpace ? spaceID : nullptr, lx, ly, lz);
}

dGeomID Kco_ODE_World::CreateSphere(float radius, bool addToSpace) {
    if (radius == 0.0f) radius = 1.0f;
    return dCreateSphere(addToSpace ? spaceID : nullptr, radius);
}

dGeomID Kco_ODE_World::CreatePlane(float a, float b, float c, float d) { return dCreatePlane(spaceID, a, b, c, d); }

dGeomID Kco_ODE_World::CreateCollisionObject(Kco_ODE_BodyCollision* owner) {
    dGeomID geom = dCreateGeom(collisionObjectClass);
    *static_cast<Kco_ODE_BodyCollision**>(dGeomGetClassData(geom)) = owner;
    dSpaceAdd(spaceID, geom);
    return geom;
}

// ---- settings ----

void Kco_ODE_World::SetTimeFrameStep(float step) { timeFrameStep = step; }
// An undefined setting is ignored: the world keeps the last defined one.
void Kco_ODE_World::SetGravityVector(D3DXVECTOR3 g) {
    if (!std::isfinite(g.x) || !std::isfinite(g.y) || !std::isfinite(g.z)) return;
    const double m = ode_bounds::kMaxGravity;
    dWorldSetGravity(worldID, ode_bounds::Clamp(g.x, -m, m), ode_bounds::Clamp(g.y, -m, m),
                     ode_bounds::Clamp(g.z, -m, m));
}

void Kco_ODE_World::SetFrameFrequency(int frequency) {
    frameFrequency = frequency < 0 ? 0 : frequency > 200 ? 200 : frequency;
}

void Kco_ODE_World::SetSoftERP(float erp) { softERP = erp; }
float Kco_ODE_World::GetSoftERP() { return softERP; }
void Kco_ODE_World::SetSoftCFM(float cfm) { softCFM = cfm; }
float Kco_ODE_World::GetSoftCFM() { return softCFM; }
void Kco_ODE_World::SetWorldERP(float erp) {
    if (std::isfinite(erp)) dWorldSetERP(worldID, erp);
}
void Kco_ODE_World::SetWorldCFM(float cfm) {
    if (std::isfinite(cfm)) dWorldSetCFM(worldID, cfm);
}

// ---- joints ----

void Kco_ODE_World::JointDestroy(dJointID j) {
    if (j) dJointDestroy(j);
}
void Kco_ODE_World::JointSetSliderParam(dJointID j, int parameter, double value) {
    if (j) dJointSetSliderParam(j, parameter, value);
}
void Kco_ODE_World::JointSetHinge2Param(dJointID j, int parameter, double value) {
    if (j) dJointSetHinge2Param(j, parameter, value);
}
void Kco_ODE_World::JointSetBallAnchor(dJointID j, double x, double y, double z) {
    if (j) dJointSetBallAnchor(j, x, y, z);
}
void Kco_ODE_World::JointSetSliderAxis(dJointID j, double x, double y, double z) {
    if (j) dJointSetSliderAxis(j, x, y, z);
}
void Kco_ODE_World::JointSetHingeAxis(dJointID j, double x, double y, double z) {
    if (j) dJointSetHingeAxis(j, x, y, z);
}
void Kco_ODE_World::JointSetHinge2Anchor(dJointID j, double x, double y, double z) {
    if (j) dJointSetHinge2Anchor(j, x, y, z);
}
void Kco_ODE_World::JointSetHinge2Axis1(dJointID j, double x, double y, double z) {
    if (j) dJointSetHinge2Axis1(j, x, y, z);
}
void Kco_ODE_World::JointSetHinge2Axis2(dJointID j, double x, double y, double z) {
    if (j) dJointSetHinge2Axis2(j, x, y, z);
}
void Kco_ODE_World::JointAttach(dJointID j, dBodyID b1, dBodyID b2) {
    if (j) dJointAttach(j, b1, b2);
}
void Kco_ODE_World::JointSetHingeAnchor(dJointID j, double x, double y, double z) {
    if (j) dJointSetHingeAnchor(j, x, y, z);
}
dJointID Kco_ODE_World::JointCreateHinge2(dWorldID w, dJointGroupID g) { return dJointCreateHinge2(w, g); }
dJointID Kco_ODE_World::JointCreateSlider(dWorldID w, dJointGroupID g) { return dJointCreateSlider(w, g); }
dJointID Kco_ODE_World::JointCreateHinge(dWorldID w, dJointGroupID g) { return dJointCreateHinge(w, g); }
dJointID Kco_ODE_World::JointCreateBall(dWorldID, dJointGroupID) { return dJointCreateBall(worldID, nullptr); }
void Kco_ODE_World::JointSetHingeParam(dJointID j, int parameter, double value) {
    if (j) dJointSetHingeParam(j, parameter, value);
}
void Kco_ODE_World::JointGetHingeAxis(dJointID j, dVector3 r) {
    if (j) dJointGetHingeAxis(j, r);
}
void Kco_ODE_World::JointGetHingeAnchor(dJointID j, dVector3 r) {
    if (j) dJointGetHingeAnchor(j, r);
}
void Kco_ODE_World::JointGetBallAnchor(dJointID j, dVector3 r) {
    if (j) dJointGetBallAnchor(j, r);
}
void Kco_ODE_World::JointGetSliderAxis(dJointID j, dVector3 r) {
    if (j) dJointGetSliderAxis(j, r);
}
void Kco_ODE_World::JointGetHinge2Axis2(dJointID j, dVector3 r) {
    if (j) dJointGetHinge2Axis2(j, r);
}
void Kco_ODE_World::JointGetHinge2Axis1(dJointID j, dVector3 r) {
    if (j) dJointGetHinge2Axis1(j, r);
}
void Kco_ODE_World::JointGetHinge2Anchor(dJointID j, dVector3 r) {
    if (j) dJointGetHinge2Anchor(j, r);
}
double Kco_ODE_World::JointGetHinge2Angle1(dJointID j) { return j ? dJointGetHinge2Angle1(j) : 0.0; }
double Kco_ODE_World::JointGetHinge2Angle1Rate(dJointID j) { return j ? dJointGetHinge2Angle1Rate(j) : 0.0; }
double Kco_ODE_World::JointGetHinge2Angle2Rate(dJointID j) { return j ? dJointGetHinge2Angle2Rate(j) : 0.0; }

int Kco_ODE_World::GetFrameCalculateCount() { return frameCalculateCount; }
float Kco_ODE_World::GetFrameResolution() { return frameResolution; }
