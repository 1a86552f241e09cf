#include "physbody/ode_body.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include <os/tick_count.h>
#include <vecmath/d3dx_math.h>

#include "physworld/ode_bounds.h"
#include "physworld/ode_world.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_ODE_BodyCollision,
                       (ChannelTypeInfo{"ODE Body", type_guids::kPhysicsBody, type_guids::kMatrixChannel, 0}))

namespace {

constexpr int kStartLink = 0;
constexpr int kEnableLink = 1;
constexpr int kCollisionObjectLink = 2;

// Least inertia of a body on any axis, in units of mass x reach^2 (see InitializeBody).
constexpr double kInertiaFloor = 1e-6;

// The rest rule (GetMatrix). A body is a resting candidate while it touches something
// (penetration above 0) and both products below stay small; once it has been one for more
// than kRestHoldMs without a break it is held where it was the frame before.
constexpr float kRestSinkLimit = 0.001f;  // frame resolution (s) x deepest contact depth (units)
constexpr float kRestTurnLimit = 0.01f;   // frame resolution (s) x angular speed (rad/s): radians a frame
constexpr uint32_t kRestHoldMs = 1000u;   // continuous candidacy before the hold, in ms

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

float RowLength(const D3DXMATRIX& m, int row) {
    return std::sqrt(m.m[row][0] * m.m[row][0] + m.m[row][1] * m.m[row][1] + m.m[row][2] * m.m[row][2]);
}

D3DXVECTOR3 ToVector(const dReal* v) { return D3DXVECTOR3(float(v[0]), float(v[1]), float(v[2])); }

// A length of an item as ODE takes it: undefined or negative lengths (a damaged file) count
// as 0, on which ODE would stop the process; longer ones are taken at the bound.
float Length(float v, double bound) { return float(ode_bounds::Clamp(v, 0.0, bound)); }

double Coordinate(float v) {
    return ode_bounds::Clamp(v, -ode_bounds::kMaxCoordinate, ode_bounds::kMaxCoordinate);
}

bool IsDefined(const D3DXMATRIX& m) {
    for (const auto& row : m.m)
        for (float v : row)
            if (!std::isfinite(v)) return false;
    return true;
}

D3DXMATRIX ShapeRotation(ODE_GeometryItem& item) {
    const D3DXMATRIX r = item.GetRotationMatrix();
    return IsDefined(r) ? r : Identity();
}

// ODE stops the process on a body rotation that gives a quaternion of zero length: a row
// that is zero or undefined (a start matrix scaled to 0 on an axis), but also rows that are
// unit long and point the same way, as a damaged file's matrix may. The rows are made
// orthonormal (Gram-Schmidt, the third the cross product of the first two), so what ODE
// gets is a proper rotation; without two independent rows there is none.
bool MakeUsableRotation(const D3DXMATRIX& r, D3DXMATRIX& out) {
    double x[3], y[3];
    for (int c = 0; c < 3; ++c) {
        x[c] = r.m[0][c];
        y[c] = r.m[1][c];
    }
    const double xLength = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    if (!(xLength > 0.5)) return false;  // also false for NaN
    for (double& v : x) v /= xLength;
    const double along = x[0] * y[0] + x[1] * y[1] + x[2] * y[2];
    for (int c = 0; c < 3; ++c) y[c] -= along * x[c];
    const double yLength = std::sqrt(y[0] * y[0] + y[1] * y[1] + y[2] * y[2]);
    if (!(yLength > 0.1) || !(RowLength(r, 2) > 0.5f)) return false;
    for (double& v : y) v /= yLength;
    const double z[3] = {x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
    out = r;
    for (int c = 0; c < 3; ++c) {
        out.m[0][c] = float(x[c]);
        out.m[1][c] = float(y[c]);
        out.m[2][c] = float(z[c]);
    }
    return true;
}

}  // namespace

// An item's values as ODE takes them, checked once where they enter ODE: by
// InitializeBody and UpdateGeometryPositions, whatever a file or a caller put in the item.
Kco_ODE_BodyCollision::Shape Kco_ODE_BodyCollision::CheckedShape(ODE_GeometryItem& item) const {
    Shape shape;
    const double bound = useDynamics ? ode_bounds::kMaxDynamicLength : ode_bounds::kMaxStaticLength;
    const float lengths[3] = {Length(item.size.x * scale.x, bound), Length(item.size.y * scale.y, bound),
                              Length(item.size.z * scale.z, bound)};
    shape.solid = lengths[0] > 0.0f && lengths[1] > 0.0f && lengths[2] > 0.0f;
    // A box collides at least kMinLength thick, and at least kMinAspect of its longest
    // side: flatter boxes (a side of 0, a rod a million times longer than thick) give
    // contacts on which ODE's solver breaks down and stops the process.
    const float floor = std::fmax(float(ode_bounds::kMinLength),
                                  float(ode_bounds::kMinAspect) * std::fmax(lengths[0], std::fmax(lengths[1], lengths[2])));
    shape.sides = D3DXVECTOR3(std::fmax(lengths[0], floor), std::fmax(lengths[1], floor), std::fmax(lengths[2], floor));
    const float radius = Length(item.radius, bound);
    shape.radius = radius > 0.0f ? std::fmax(radius, float(ode_bounds::kMinLength)) : 0.0f;  // 0: the world makes 1
    shape.mass = float(ode_bounds::Clamp(item.mass, 0.0, ode_bounds::kMaxMass));
    const double m = bound;
    shape.offset = D3DXVECTOR3(float(ode_bounds::Clamp(item.offset.x, -m, m)), float(ode_bounds::Clamp(item.offset.y, -m, m)),
                               float(ode_bounds::Clamp(item.offset.z, -m, m)));
    shape.rotation = ShapeRotation(item);
    return shape;
}

namespace {

// A flag byte from a file may hold any value; only 0 is false.
void LoadFlag(KelFileLoader& loader, const char* tag, bool& flag) {
    uint8_t byte = flag ? 1 : 0;
    if (LoadField(loader, tag, byte)) flag = byte != 0;
}

}  // namespace

// ---- construction, copying, destruction ----

Kco_ODE_BodyCollision::Kco_ODE_BodyCollision() {
    SetChannelName("ODE Body");
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, kStartLink, false, "Start position"),
                       kStartLink);
    SetChildCreateType(MakeChildCreation("Value", type_guids::kFloatChannel, kEnableLink, false, "Enable Body"),
                       kEnableLink);
    SetChildCreateType(MakeChildCreation("DX8 CollisionObject", type_guids::kCollisionObject, -1, false,
                                         "Collision object"),
                       kCollisionObjectLink);
    if (engineInterface)
        world = static_cast<Kco_ODE_World*>(engineInterface->GetUniqueChannel(type_guids::kPhysicsWorld, nullptr));
    auto* item = new ODE_GeometryItem;
    item->owner = this;
    geometryItems.AddItem(item);
    D3DXMatrixIdentity(&oldMatrix);
    scale = D3DXVECTOR3(1.0f, 1.0f, 1.0f);
    frameTimeChannel.Take(engineInterface);
}

Kco_ODE_BodyCollision::Kco_ODE_BodyCollision(const Kco_ODE_BodyCollision& other)
    : Kco_MatrixChannel(other),
      world(other.world),
      oldMatrix(other.oldMatrix),
      useDynamics(other.useDynamics),
      boundsMin(other.boundsMin),
      boundsMax(other.boundsMax),
      angularVelocityDampenValue(other.angularVelocityDampenValue),
      disableForces(other.disableForces),
      scale(other.scale),
      dynamicDisableForces(other.dynamicDisableForces),
      penetration(other.penetration),
      restFlag(other.restFlag),
      restTick(other.restTick) {
    CopyItemsFrom(other);
    frameTimeChannel.Take(engineInterface);
}

Kco_ODE_BodyCollision& Kco_ODE_BodyCollision::operator=(const Kco_ODE_BodyCollision& other) {
    if (this == &other) return *this;
    Kco_MatrixChannel::operator=(other);
    Release();
    DeleteItems();
    world = other.world;
    CopyItemsFrom(other);
    oldMatrix = other.oldMatrix;
    useDynamics = other.useDynamics;
    boundsMin = other.boundsMin;
    boundsMax = other.boundsMax;
    angularVelocityDampenValue = other.angularVelocityDampenValue;
    disableForces = other.disableForces;
    scale = other.scale;
    dynamicDisableForces = other.dynamicDisableForces;
    penetration = other.penetration;
    restFlag = other.restFlag;
    restTick = other.restTick;
    return *this;
}

Kco_ODE_BodyCollision::~Kco_ODE_BodyCollision() {
    if (bodyID) dBodyDestroy(bodyID);
    bodyID = nullptr;
    DeleteItems();
    frameTimeChannel.Drop();
}

void Kco_ODE_BodyCollision::DeleteItems() {
    for (int i = 0; i < geometryItems.GetItemCount(); ++i)
        delete static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
    geometryItems.ReleaseItems();
    initialized = false;
}

void Kco_ODE_BodyCollision::CopyItemsFrom(const Kco_ODE_BodyCollision& other) {
    for (int i = 0; i < other.geometryItems.GetItemCount(); ++i) {
        auto* source = static_cast<ODE_GeometryItem*>(other.geometryItems.GetItem(i));
        ODE_GeometryItem* copy = source ? new ODE_GeometryItem(*source) : nullptr;
        if (copy) copy->owner = this;
        geometryItems.AddItem(copy);
    }
}

// ---- links ----

Kel_Channel* Kco_ODE_BodyCollision::StartChannel() const { return GetChildFromLinkPosition(kStartLink, 0); }
Kel_Channel* Kco_ODE_BodyCollision::EnableChannel() const { return GetChildFromLinkPosition(kEnableLink, 0); }

D3DXMATRIX Kco_ODE_BodyCollision::StartMatrix() const {
    Kel_Channel* start = StartChannel();
    return start ? static_cast<Kco_MatrixChannel*>(start)->GetMatrix() : Identity();
}

// ---- channel operations ----

void Kco_ODE_BodyCollision::CallChannel() { GetMatrix(); }

void Kco_ODE_BodyCollision::DoDependencyInit(Kel_List* list) {
    AddChannelGuidDepend(type_guids::kPhysicsWorld, list);
}

D3DXMATRIX Kco_ODE_BodyCollision::GetMatrix() {
    Kel_Channel* enable = EnableChannel();
    Kel_Channel* start = StartChannel();
    if (!CheckRenderCount()) return oldMatrix;

    const D3DXMATRIX m = StartMatrix();

    if (useDynamics && enable) {
        if (static_cast<Kco_FloatChannel*>(enable)->GetFloat() < 1.0f) {
            // A disabled body follows its start position without simulation.
            if (initialized) Release();
            restFlag = true;
            oldMatrix = m;
            return m;
        }
        if (!initialized) InitializeBody();
    }

    if (disableForces) {
        if (bodyID) {
            dBodySetLinearVel(bodyID, 0.0, 0.0, 0.0);
            dBodySetAngularVel(bodyID, 0.0, 0.0, 0.0);
        }
        SetBodyPositionFromMatrix();
    }

    if (dynamicDisableForces) {
        const D3DXVECTOR3 w = GetAngularVelocityVector();
        if (bodyID) {
            const float resolution = world ? world->GetFrameResolution() : 0.0f;
            if (penetration > 0.0f && resolution * penetration < kRestSinkLimit &&
                D3DXVec3Length(&w) * resolution <= kRestTurnLimit) {
                if (!restFlag) restFlag = uint32_t(os::GetTickCount() - restTick) > kRestHoldMs;
                if (restFlag) {
                    dBodySetLinearVel(bodyID, 0.0, 0.0, 0.0);
                    dBodySetAngularVel(bodyID, 0.0, 0.0, 0.0);
                    SetBodyPositionFromOldMatrix();
                }
            } else if (penetration != 0.0f) {
                // A body in free flight neither starts nor stops resting.
                restFlag = false;
                restTick = os::GetTickCount();
            }
        }
    }

    penetration = 0.0f;  // the world's next step refills it

    // An undefined factor (a damaged "BDAV") would make the spin undefined, on which ODE
    // stops the process: it turns damping off like 0.
    if (angularVelocityDampenValue != 0.0f && std::isfinite(angularVelocityDampenValue) && bodyID) {
        const float k = angularVelocityDampenValue;
        const float t = frameTimeChannel.Ticks();
        const dReal* w = dBodyGetAngularVel(bodyID);
        dReal damped[3], fastest = 0.0;
        for (int i = 0; i < 3; ++i) {
            damped[i] = w[i] + t * (k * w[i] - w[i]);
            fastest = std::fmax(fastest, std::fabs(damped[i]));
        }
        // A factor far above 1 (a damaged "BDAV" of 1e9) spins the body up within a frame
        // until the points at its reach move faster than ODE's step survives: the spin is
        // held where those points move at the speed bound.
        const dReal limit = ode_bounds::kMaxSpeed / std::fmax(1.0, reach);
        if (fastest > limit)
            for (dReal& v : damped) v *= limit / fastest;
        dBodySetAngularVel(bodyID, damped[0], damped[1], damped[2]);
    }

    if (!initialized) {
        InitializeBody();
        if (!initialized) {
            oldMatrix = m;
            return m;
        }
    }

    if (useDynamics) {
        oldMatrix = GetBodyMatrix(true);
        return oldMatrix;
    }

    if (!start) return Identity();
    const D3DXMATRIX current = StartMatrix();
    if (std::memcmp(&current.m[0][0], &oldMatrix.m[0][0], sizeof(float) * 16) != 0) UpdateGeometryPositions();
    return current;
}

// ---- building and releasing ----

void Kco_ODE_BodyCollision::Release() {
    if (bodyID) dBodyDestroy(bodyID);
    bodyID = nullptr;
    for (int i = 0; i < geometryItems.GetItemCount(); ++i)
        if (auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i))) item->DestroyGeometry();
    initialized = false;
}

void Kco_ODE_BodyCollision::InitializeBody() {
    Release();
    // Null entries are no shapes: a body holding only those has nothing to build.
    bool hasItem = false;
    for (int i = 0; i < geometryItems.GetItemCount(); ++i) hasItem = hasItem || geometryItems.GetItem(i);
    if (!hasItem || !world) return;

    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (item && (item->kind == ODE_GeometryItem::kCollisionObject || item->kind == ODE_GeometryItem::kPlane))
            useDynamics = false;
    }

    // A static body never computes its scale elsewhere: it takes the start matrix's.
    SetScaleFromMatrix(StartMatrix());
    if (useDynamics) {
        bodyID = world->GetNewBody();
        SetBodyPositionFromMatrix();
        BuildDynamicShapes();
    } else {
        BuildStaticGeometries();
        UpdateGeometryPositions();
    }
    SetTimeStamp();
    initialized = true;
}

void Kco_ODE_BodyCollision::BuildStaticGeometries() {
    bool hasCollisionObject = false;
    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (!item) continue;
        const Shape shape = CheckedShape(*item);
        switch (item->kind) {
            case ODE_GeometryItem::kBox:
                item->geom = world->CreateBox(shape.sides.x, shape.sides.y, shape.sides.z, true);
                break;
            case ODE_GeometryItem::kSphere: item->geom = world->CreateSphere(shape.radius, true); break;
            case ODE_GeometryItem::kCollisionObject:
                // One mesh geometry stands for every collision object of the body.
                if (!hasCollisionObject) item->geom = world->CreateCollisionObject(this);
                hasCollisionObject = true;
                break;
            case ODE_GeometryItem::kPlane: item->geom = world->CreatePlane(0.0f, 1.0f, 0.0f, 0.0f); break;
            default: break;
        }
        if (item->geom) dGeomSetData(item->geom, item);
    }
}

void Kco_ODE_BodyCollision::BuildDynamicShapes() {
    dMass total;
    dMassSetZero(&total);
    reach = 0.0;
    double across[3] = {0.0, 0.0, 0.0};  // squared reach of the shapes away from each body axis
    const auto reaches = [&across](double x, double y, double z) {
        across[0] = std::fmax(across[0], y * y + z * z);
        across[1] = std::fmax(across[1], x * x + z * z);
        across[2] = std::fmax(across[2], x * x + y * y);
    };
    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (!item) continue;
        const Shape shape = CheckedShape(*item);
        dMass m;
        dMassSetZero(&m);
        if (item->kind == ODE_GeometryItem::kBox) {
            item->innerGeom = world->CreateBox(shape.sides.x, shape.sides.y, shape.sides.z, false);
            if (shape.solid && shape.mass > 0.0f) {
                dMassSetBox(&m, 1.0, shape.sides.x, shape.sides.y, shape.sides.z);
                dMassAdjust(&m, shape.mass);
            }
            reach = std::fmax(reach, D3DXVec3Length(&shape.offset) + 0.5 * D3DXVec3Length(&shape.sides));
            for (int c = 0; c < 8; ++c) {
                const D3DXVECTOR3 local((c & 1 ? 0.5f : -0.5f) * shape.sides.x, (c & 2 ? 0.5f : -0.5f) * shape.sides.y,
                                        (c & 4 ? 0.5f : -0.5f) * shape.sides.z);
                D3DXVECTOR3 corner;
                D3DXVec3TransformNormal(&corner, &local, &shape.rotation);
                reaches(double(corner.x) + shape.offset.x, double(corner.y) + shape.offset.y,
                        double(corner.z) + shape.offset.z);
            }
        } else if (item->kind == ODE_GeometryItem::kSphere) {
            item->innerGeom = world->CreateSphere(shape.radius, false);
            const dReal r = dGeomSphereGetRadius(item->innerGeom);
            reach = std::fmax(reach, D3DXVec3Length(&shape.offset) + r);
            const double o[3] = {shape.offset.x, shape.offset.y, shape.offset.z};
            for (int axis = 0; axis < 3; ++axis) {
                const double away = std::sqrt(o[(axis + 1) % 3] * o[(axis + 1) % 3] + o[(axis + 2) % 3] * o[(axis + 2) % 3]) + r;
                across[axis] = std::fmax(across[axis], away * away);
            }
            if (shape.mass > 0.0f) {
                dMassSetSphere(&m, 1.0, r);
                dMassAdjust(&m, shape.mass);
            }
        } else {
            continue;  // only boxes and spheres ride on a dynamic body
        }
        // The inner shape names its item too: the mesh colliders, which ODE hands the inner
        // shape, find the moving body through it to sweep a fast one.
        dGeomSetData(item->innerGeom, item);
        item->geom = world->CreateGeomTransform();
        dGeomSetData(item->geom, item);
        dGeomTransformSetCleanup(item->geom, 1);
        dGeomTransformSetInfo(item->geom, 1);
        dGeomTransformSetGeom(item->geom, item->innerGeom);
        dGeomSetPosition(item->innerGeom, shape.offset.x, shape.offset.y, shape.offset.z);
        double r[12];
        GetODERotationMatrix(shape.rotation, r);
        dGeomSetRotation(item->innerGeom, r);
        if (m.mass > 0.0) {
            dMassTranslate(&m, shape.offset.x, shape.offset.y, shape.offset.z);
            dMassRotate(&m, r);
            dMassAdd(&total, &m);
        }
        item->massProperties = m;
        dGeomSetBody(item->geom, bodyID);
    }
    SetBodyMass(total, reach, across);
}

// ODE treats the inertia as taken about the body origin and stops the process on an
// off-centre mass; the centre is dropped, as older ODE ignored it. A body without mass
// has ODE's default.
void Kco_ODE_BodyCollision::SetBodyMass(const dMass& total, double reach, const double across[3]) {
    dMass bodyMass;
    if (total.mass > 0.0) {
        bodyMass = total;
        bodyMass.c[0] = bodyMass.c[1] = bodyMass.c[2] = 0.0;
        if (bodyMass.mass < ode_bounds::kMinBodyMass) {
            // Masses below the floor are no mass a shape can have (a damaged record): the
            // floor's mass is spread over the shapes that collide, at least as a solid box
            // or ball of their reach turns. Taken as it was, a tiny massive shape beside a
            // plate that adds no mass (a side of 0) left the plate's corners a thousand times
            // more mobile than the body's centre, and ODE's solver broke down under them.
            dMassAdjust(&bodyMass, ode_bounds::kMinBodyMass);
            for (int axis = 0; axis < 3; ++axis) {
                const dReal least = bodyMass.mass * across[axis] / 3.0;
                if (bodyMass.I[5 * axis] < least) bodyMass.I[5 * axis] = least;
            }
        }
    } else {
        dBodyGetMass(bodyID, &bodyMass);
    }
    // ODE stops the process on an inertia too close to singular (shapes far off the origin
    // and much smaller than their offset), and its solver breaks down, which stops it too,
    // when a contact at the body's reach turns the body vastly more easily than it pushes
    // it (a tiny heavy shape beside a large light one). Such a body gets a little inertia
    // on every axis; sane bodies lie far above this floor. Without a usable inertia it
    // keeps ODE's default mass.
    const dReal floor = bodyMass.mass * reach * reach * kInertiaFloor;
    dReal* inertia = bodyMass.I;
    if (std::fmin(std::fmin(inertia[0], inertia[5]), inertia[10]) < floor || !dIsPositiveDefinite(inertia, 3)) {
        for (int axis = 0; axis < 3; ++axis) inertia[5 * axis] += floor;
        if (dIsPositiveDefinite(inertia, 3)) dBodySetMass(bodyID, &bodyMass);
    } else if (total.mass > 0.0) {
        dBodySetMass(bodyID, &bodyMass);
    }
}

void Kco_ODE_BodyCollision::SetScaleFromMatrix(const D3DXMATRIX& m) {
    scale = D3DXVECTOR3(RowLength(m, 0), RowLength(m, 1), RowLength(m, 2));
}

// A matrix without a usable rotation (or position) leaves the body's own in place; a
// position beyond the coordinate bound is taken at the bound.
void Kco_ODE_BodyCollision::SetBodyPosition(const D3DXMATRIX& m) {
    if (!bodyID) return;
    if (std::isfinite(m.m[3][0]) && std::isfinite(m.m[3][1]) && std::isfinite(m.m[3][2]))
        dBodySetPosition(bodyID, Coordinate(m.m[3][0]), Coordinate(m.m[3][1]), Coordinate(m.m[3][2]));
    D3DXMATRIX rotation;
    if (MakeUsableRotation(GetMatrixRotation(m), rotation)) {
        double r[12];
        GetODERotationMatrix(rotation, r);
        dBodySetRotation(bodyID, r);
    }
    SetScaleFromMatrix(m);
}

void Kco_ODE_BodyCollision::SetBodyPositionFromMatrix() { SetBodyPosition(StartMatrix()); }
void Kco_ODE_BodyCollision::SetBodyPositionFromOldMatrix() { SetBodyPosition(oldMatrix); }

void Kco_ODE_BodyCollision::UpdateGeometryPositions() {
    if (useDynamics) return;
    const D3DXMATRIX m = StartMatrix();
    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (!item || !item->geom) continue;
        const Shape shape = CheckedShape(*item);
        D3DXMATRIX s;
        if (item->kind == ODE_GeometryItem::kBox)
            D3DXMatrixScaling(&s, shape.sides.x, shape.sides.y, shape.sides.z);
        else if (item->kind == ODE_GeometryItem::kSphere)
            D3DXMatrixScaling(&s, shape.radius, shape.radius, shape.radius);
        else
            D3DXMatrixIdentity(&s);
        D3DXMATRIX o;
        D3DXMatrixTranslation(&o, shape.offset.x, shape.offset.y, shape.offset.z);
        const D3DXMATRIX t = s * shape.rotation * o * m;
        if (!IsDefined(t)) continue;  // an undefined start matrix: the geometry stays
        const double x = Coordinate(t.m[3][0]), y = Coordinate(t.m[3][1]), z = Coordinate(t.m[3][2]);
        // A matrix scaled to 0 on an axis gives no usable rotation: a box turned by it has a
        // flat axis, its contacts have no normal, and ODE's step fails on them. The shape then
        // keeps its own rotation (a plane its own normal), as a body does.
        D3DXMATRIX rotation;
        const bool usable = MakeUsableRotation(GetMatrixRotation(t), rotation);
        if (item->kind == ODE_GeometryItem::kPlane) {
            if (!(RowLength(GetMatrixRotation(t), 1) > 0.5f)) continue;
            const double a = t.m[1][0], b = t.m[1][1], c = t.m[1][2];
            dGeomPlaneSetParams(item->geom, a, b, c, a * x + b * y + c * z);
        } else {
            dGeomSetPosition(item->geom, x, y, z);
            if (!usable) continue;
            double r[12];
            GetODERotationMatrix(rotation, r);
            dGeomSetRotation(item->geom, r);
        }
    }
    oldMatrix = m;
}

// ---- matrices ----

D3DXMATRIX Kco_ODE_BodyCollision::GetBodyMatrix(bool sized) {
    auto* first = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(0));
    if (!first || !first->geom) return Identity();
    const dReal* p = dGeomGetPosition(first->geom);
    const dReal* r = dGeomGetRotation(first->geom);
    const D3DXMATRIX pose{float(r[0]), float(r[4]), float(r[8]),  0.0f,
                          float(r[1]), float(r[5]), float(r[9]),  0.0f,
                          float(r[2]), float(r[6]), float(r[10]), 0.0f,
                          float(p[0]), float(p[1]), float(p[2]),  1.0f};
    if (!sized) return pose;
    D3DXMATRIX s;
    D3DXMatrixScaling(&s, scale.x, scale.y, scale.z);
    return s * pose;
}

D3DXMATRIX Kco_ODE_BodyCollision::GetNonSizedBodyMatrix() {
    if (GetIfRunningDynamics()) return GetBodyMatrix(false);
    if (!StartChannel()) return Identity();
    const D3DXMATRIX m = StartMatrix();
    D3DXMATRIX result = GetMatrixRotation(m);
    result.m[3][0] = m.m[3][0];
    result.m[3][1] = m.m[3][1];
    result.m[3][2] = m.m[3][2];
    return result;
}

D3DXMATRIX Kco_ODE_BodyCollision::GetMatrixRotation(D3DXMATRIX m) {
    D3DXMATRIX r = Identity();
    for (int row = 0; row < 3; ++row) {
        const float length = RowLength(m, row);
        for (int col = 0; col < 3; ++col) r.m[row][col] = length != 0.0f ? m.m[row][col] / length : 0.0f;
        r.m[row][3] = 0.0f;
    }
    return r;
}

void Kco_ODE_BodyCollision::GetODERotationMatrix(D3DXMATRIX m, double* rotation) {
    if (!rotation) return;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) rotation[4 * i + j] = m.m[j][i];
        rotation[4 * i + 3] = 0.0;
    }
}

D3DXMATRIX Kco_ODE_BodyCollision::GetOldMatrix() { return oldMatrix; }

// ---- geometry items ----

int Kco_ODE_BodyCollision::GetGeometryCount() { return geometryItems.GetItemCount(); }

ODE_GeometryItem* Kco_ODE_BodyCollision::GetGeometryItem(int index) {
    return static_cast<ODE_GeometryItem*>(geometryItems.GetItem(index));
}

// A change of the shape list rebuilds a built body with the new shapes. A dynamic body
// keeps its place and its motion across the rebuild: taking a shape off a rolling wheel
// does not send it back to its start.
void Kco_ODE_BodyCollision::ChangeShapes(const std::function<void()>& change) {
    if (!initialized) {
        change();
        return;
    }
    const bool moving = bodyID != nullptr;
    dVector3 position{}, linear{}, angular{};
    dQuaternion orientation{1.0, 0.0, 0.0, 0.0};
    if (moving) {
        for (int i = 0; i < 3; ++i) {
            position[i] = dBodyGetPosition(bodyID)[i];
            linear[i] = dBodyGetLinearVel(bodyID)[i];
            angular[i] = dBodyGetAngularVel(bodyID)[i];
        }
        for (int i = 0; i < 4; ++i) orientation[i] = dBodyGetQuaternion(bodyID)[i];
    }
    Release();
    change();
    if (!moving) return;  // a static body is rebuilt on its next frame, where it stands
    InitializeBody();
    if (!bodyID) return;
    dBodySetPosition(bodyID, position[0], position[1], position[2]);
    dBodySetQuaternion(bodyID, orientation);
    dBodySetLinearVel(bodyID, linear[0], linear[1], linear[2]);
    dBodySetAngularVel(bodyID, angular[0], angular[1], angular[2]);
}

// The record's own geometries stay with the record (its destructor frees them), so no
// geometry of the replaced item is left behind or freed twice.
void Kco_ODE_BodyCollision::SetGeometryItem(ODE_GeometryItem item, int index) {
    if (index < 0) return;
    ChangeShapes([&] {
        while (geometryItems.GetItemCount() <= index) geometryItems.AddItem(nullptr);
        auto* stored = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(index));
        if (!stored) {
            stored = new ODE_GeometryItem;
            geometryItems.SetItem(stored, index);
        }
        *stored = item;
        stored->owner = this;
    });
}

void Kco_ODE_BodyCollision::AddGeometryItem() {
    ODE_GeometryItem item;
    const int index = geometryItems.GetItemCount();
    std::snprintf(item.name, sizeof(item.name), "New shape (%d)", index);
    SetGeometryItem(item, index);
}

void Kco_ODE_BodyCollision::RemoveGeometryItem(int index) {
    if (index < 0 || index >= geometryItems.GetItemCount()) return;
    ChangeShapes([&] {
        delete static_cast<ODE_GeometryItem*>(geometryItems.GetItem(index));
        geometryItems.RemoveItem(index);
    });
}

// ---- settings and state ----

dBodyID Kco_ODE_BodyCollision::GetBodyID() { return bodyID; }
void Kco_ODE_BodyCollision::SetIfUseDynamics(bool use) { useDynamics = use; }
bool Kco_ODE_BodyCollision::GetIfUseDynamics() { return useDynamics; }
void Kco_ODE_BodyCollision::SetAngularVelocityDampenValue(float value) { angularVelocityDampenValue = value; }
float Kco_ODE_BodyCollision::GetAngularVelocityDampenValue() { return angularVelocityDampenValue; }
void Kco_ODE_BodyCollision::SetIfDisableForces(bool disable) { disableForces = disable; }
bool Kco_ODE_BodyCollision::GetIfDisableForces() { return disableForces; }
void Kco_ODE_BodyCollision::SetIfDynamicDisableForces(bool disable) { dynamicDisableForces = disable; }
bool Kco_ODE_BodyCollision::GetIfDynamicDisableForces() { return dynamicDisableForces; }

bool Kco_ODE_BodyCollision::GetIfRunningDynamics() {
    Kel_Channel* enable = EnableChannel();
    return useDynamics && enable && static_cast<Kco_FloatChannel*>(enable)->GetFloat() >= 1.0f;
}

D3DXVECTOR3 Kco_ODE_BodyCollision::GetLinearVelocityVector() {
    return bodyID ? ToVector(dBodyGetLinearVel(bodyID)) : D3DXVECTOR3();
}
D3DXVECTOR3 Kco_ODE_BodyCollision::GetAngularVelocityVector() {
    return bodyID ? ToVector(dBodyGetAngularVel(bodyID)) : D3DXVECTOR3();
}
D3DXVECTOR3 Kco_ODE_BodyCollision::GetForceVector() { return bodyID ? ToVector(dBodyGetForce(bodyID)) : D3DXVECTOR3(); }
D3DXVECTOR3 Kco_ODE_BodyCollision::GetTorqueVector() {
    return bodyID ? ToVector(dBodyGetTorque(bodyID)) : D3DXVECTOR3();
}

D3DXVECTOR3 Kco_ODE_BodyCollision::GetBodyGetRelPointVel(D3DXVECTOR3 point) {
    if (!bodyID) return D3DXVECTOR3();
    dVector3 v;
    dBodyGetRelPointVel(bodyID, point.x, point.y, point.z, v);
    return ToVector(v);
}

void Kco_ODE_BodyCollision::SetPenetrationOfBody(float depth) {
    if (depth > penetration) penetration = depth;
}

// ---- save and load ----

bool Kco_ODE_BodyCollision::SaveChannel(KelFileSaver& saver) {
    if (!Kco_MatrixChannel::SaveChannel(saver)) return false;
    const int32_t count = geometryItems.GetItemCount();
    SaveField(saver, "BDIC", count);
    for (int i = 0; i < count; ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (!item) {
            saver.SaveTag("BDEG");
            saver.SaveBlockSize(0);
            continue;
        }
        uint8_t record[geometry_item_record::kSize];
        geometry_item_record::Write(*item, record);
        saver.SaveTag("BDI2");
        saver.SaveBlockSize(geometry_item_record::kSize);
        saver.SaveDataToFile(record, geometry_item_record::kSize);
    }
    SaveField(saver, "BDAV", angularVelocityDampenValue);
    SaveField(saver, "BDDF", disableForces);
    SaveField(saver, "BDDD", dynamicDisableForces);
    SaveField(saver, "BDUD", useDynamics);
    return true;
}

bool Kco_ODE_BodyCollision::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kco_MatrixChannel::LoadChannel(loader, group)) return false;
    int32_t count = 0;
    if (LoadField(loader, "BDIC", count)) {
        // Each record is stored at its index over what the body holds (the constructor's
        // default item), so a count of 0 or a null entry ("BDEG") at 0 keeps that item.
        for (int32_t i = 0; i < count; ++i) {
            if (loader.GetInfoIfTag("BDIG")) {
                uint8_t record[ODE_OLD2GeometryItem::kRecordSize] = {};
                loader.CopyTagDataToPointer(record, sizeof(record));
                ODE_OLD2GeometryItem old;
                geometry_item_record::ReadOld(record, old);
                ODE_GeometryItem item;
                geometry_item_record::Convert(old, item);
                SetGeometryItem(item, i);
            } else if (loader.GetInfoIfTag("BDI2")) {
                // A short record keeps the default item's values for the bytes it lacks.
                ODE_GeometryItem item;
                uint8_t record[geometry_item_record::kSize];
                geometry_item_record::Write(item, record);
                loader.CopyTagDataToPointer(record, sizeof(record));
                geometry_item_record::Read(record, item);
                SetGeometryItem(item, i);
            } else if (loader.GetInfoIfTag("BDEG")) {
                loader.TakeTagData();
            } else {
                break;  // a count beyond the records present: stop instead of spinning on it
            }
        }
    }
    LoadField(loader, "BDAV", angularVelocityDampenValue);
    LoadFlag(loader, "BDDF", disableForces);
    LoadFlag(loader, "BDDD", dynamicDisableForces);
    LoadFlag(loader, "BDUD", useDynamics);
    return true;
}
