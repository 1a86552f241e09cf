#include <bit>
#include <cstring>

#include <vecmath/d3dx_math.h>

#include "physbody/ode_body.h"

static_assert(std::endian::native == std::endian::little, "records are written in host byte order");

// ---- ODE_GeometryItem ----

ODE_GeometryItem::ODE_GeometryItem() { dMassSetZero(&massProperties); }

ODE_GeometryItem::ODE_GeometryItem(const ODE_GeometryItem& other) { *this = other; }

ODE_GeometryItem& ODE_GeometryItem::operator=(const ODE_GeometryItem& other) {
    if (this == &other) return *this;
    massProperties = other.massProperties;
    kind = other.kind;
    mass = other.mass;
    radius = other.radius;
    size = other.size;
    offset = other.offset;
    rotation = other.rotation;
    bounceEnabled = other.bounceEnabled;
    bounce = other.bounce;
    bounceVelocity = other.bounceVelocity;
    friction = other.friction;
    slip = other.slip;
    std::memcpy(name, other.name, sizeof(name));
    owner = other.owner;
    return *this;
}

ODE_GeometryItem::~ODE_GeometryItem() { DestroyGeometry(); }

void ODE_GeometryItem::DestroyGeometry() {
    // A transform made with cleanup on destroys its inner geometry with it.
    if (geom) dGeomDestroy(geom);
    geom = nullptr;
    innerGeom = nullptr;
}

D3DXMATRIX ODE_GeometryItem::GetRotationMatrix() {
    D3DXMATRIX m;
    D3DXMatrixRotationYawPitchRoll(&m, -rotation.x, -rotation.y, -rotation.z);
    return m;
}

// ---- item records ----

namespace geometry_item_record {
namespace {

template <typename T>
void Put(uint8_t* record, size_t offset, const T& value) {
    std::memcpy(record + offset, &value, sizeof(T));
}
template <typename T>
void Get(const uint8_t* record, size_t offset, T& value) {
    std::memcpy(&value, record + offset, sizeof(T));
}
void PutVector(uint8_t* record, size_t offset, const D3DXVECTOR3& v) {
    Put(record, offset, v.x);
    Put(record, offset + 4, v.y);
    Put(record, offset + 8, v.z);
}
void GetVector(const uint8_t* record, size_t offset, D3DXVECTOR3& v) {
    Get(record, offset, v.x);
    Get(record, offset + 4, v.y);
    Get(record, offset + 8, v.z);
}
void PutMass(uint8_t* record, size_t offset, const dMass& m) {
    Put(record, offset, double(m.mass));
    for (int i = 0; i < 4; ++i) Put(record, offset + 8 + 8 * i, double(m.c[i]));
    for (int i = 0; i < 12; ++i) Put(record, offset + 40 + 8 * i, double(m.I[i]));
}
void GetMass(const uint8_t* record, size_t offset, dMass& m) {
    double v;
    Get(record, offset, v);
    m.mass = v;
    for (int i = 0; i < 4; ++i) Get(record, offset + 8 + 8 * i, v), m.c[i] = v;
    for (int i = 0; i < 12; ++i) Get(record, offset + 40 + 8 * i, v), m.I[i] = v;
}
void GetName(const uint8_t* record, size_t offset, char (&name)[40]) {
    std::memcpy(name, record + offset, 40);
    name[39] = '\0';
}

}  // namespace

void Write(const ODE_GeometryItem& item, uint8_t (&out)[kSize]) {
    std::memset(out, 0, kSize);  // reserved bytes, padding and the owner slot stay zero
    PutMass(out, 16, item.massProperties);
    Put(out, 152, item.kind);
    Put(out, 156, item.mass);
    Put(out, 160, item.radius);
    PutVector(out, 164, item.size);
    PutVector(out, 176, item.offset);
    PutVector(out, 188, item.rotation);
    Put(out, 200, item.bounceEnabled);
    Put(out, 204, item.bounce);
    Put(out, 208, item.bounceVelocity);
    Put(out, 212, item.friction);
    Put(out, 216, item.slip);
    std::memcpy(out + 220, item.name, 40);
    out[259] = 0;
}

void Read(const uint8_t (&in)[kSize], ODE_GeometryItem& item) {
    GetMass(in, 16, item.massProperties);
    Get(in, 152, item.kind);
    Get(in, 156, item.mass);
    Get(in, 160, item.radius);
    GetVector(in, 164, item.size);
    GetVector(in, 176, item.offset);
    GetVector(in, 188, item.rotation);
    Get(in, 200, item.bounceEnabled);
    Get(in, 204, item.bounce);
    Get(in, 208, item.bounceVelocity);
    Get(in, 212, item.friction);
    Get(in, 216, item.slip);
    GetName(in, 220, item.name);
}

void ReadOld(const uint8_t (&in)[ODE_OLD2GeometryItem::kRecordSize], ODE_OLD2GeometryItem& old) {
    Get(in, 152, old.kind);
    Get(in, 156, old.mass);
    Get(in, 160, old.radius);
    GetVector(in, 164, old.size);
    GetVector(in, 184, old.offset);
    GetVector(in, 196, old.rotationAngles);
    Get(in, 208, old.bounceEnabled);
    Get(in, 212, old.bounce);
    Get(in, 216, old.bounceVelocity);
    Get(in, 236, old.friction);
    Get(in, 240, old.slip);
    GetName(in, 244, old.name);
}

void Convert(const ODE_OLD2GeometryItem& old, ODE_GeometryItem& item) {
    item.DestroyGeometry();
    dMassSetZero(&item.massProperties);
    item.kind = old.kind;
    item.mass = old.mass;
    item.radius = old.radius;
    item.size = old.size;
    item.offset = old.offset;
    item.rotation = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    item.bounceEnabled = old.bounceEnabled == 1 ? 1 : 0;
    item.bounce = old.bounce;
    item.bounceVelocity = old.bounceVelocity;
    item.friction = old.friction;
    item.slip = old.slip;
    std::memcpy(item.name, old.name, sizeof(item.name));
}

}  // namespace geometry_item_record
