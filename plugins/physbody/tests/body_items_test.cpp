// Geometry items, the body's type and links, and its tagged records.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <random>

#include "physics_scene.h"

namespace {

struct Record {
    std::string tag;
    std::vector<uint8_t> data;
};

std::vector<Record> Records(const std::vector<uint8_t>& bytes) {
    std::vector<Record> out;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint32_t size;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        out.push_back({std::string(reinterpret_cast<const char*>(bytes.data() + at), 4),
                       std::vector<uint8_t>(bytes.begin() + at + 8, bytes.begin() + at + 8 + size)});
        at += 8 + size;
    }
    return out;
}

void Append(std::vector<uint8_t>& bytes, const char* tag, const void* data, uint32_t size) {
    bytes.insert(bytes.end(), tag, tag + 4);
    const auto* s = reinterpret_cast<const uint8_t*>(&size);
    bytes.insert(bytes.end(), s, s + 4);
    const auto* d = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), d, d + size);
}

template <typename T>
void Poke(uint8_t* record, size_t offset, T value) {
    std::memcpy(record + offset, &value, sizeof(T));
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) { return std::vector<uint8_t>(values.begin(), values.end()); }
std::vector<uint8_t> Slice(const std::vector<uint8_t>& data, size_t at, size_t n) {
    return std::vector<uint8_t>(data.begin() + at, data.begin() + at + n);
}

class BodyItems : public PhysicsScene {
protected:
    std::vector<Record> Save(Kco_ODE_BodyCollision* body) {
        KelFileSaver saver;
        EXPECT_TRUE(body->SaveChannel(saver));
        return Records(saver.Bytes());
    }
    int GeometriesInSpace() { return dSpaceGetNumGeoms(World()->GetSpaceID()); }
};

TEST_F(BodyItems, TypeLinksAndDefaults) {
    Kco_ODE_BodyCollision* body = NewBody();
    const ChannelType* type = engine.GetRegisteredType(type_guids::kPhysicsBody);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ("ODE Body", type->typeName);
    EXPECT_EQ(type_guids::kMatrixChannel, type->baseTypeGuid);
    EXPECT_EQ(0, type->typeOption);
    ASSERT_EQ(3, body->GetChildCreationCount());
    EXPECT_STREQ("Start position", body->GetChildCreateType(0)->linkName);
    EXPECT_EQ(0, body->GetChildCreateType(0)->linkPosition);
    EXPECT_EQ(type_guids::kFloatChannel, body->GetChildCreateType(1)->linkType.typeGuid);
    EXPECT_STREQ("Collision object", body->GetChildCreateType(2)->linkName);
    EXPECT_STREQ("DX8 CollisionObject", body->GetChildCreateType(2)->linkType.typeName);
    EXPECT_EQ(-1, body->GetChildCreateType(2)->linkPosition);

    ASSERT_EQ(1, body->GetGeometryCount());
    ODE_GeometryItem* item = body->GetGeometryItem(0);
    EXPECT_STREQ("Unnamed", item->name);
    EXPECT_EQ(body, item->owner);
    EXPECT_EQ(5.0f, item->mass);
    EXPECT_TRUE(body->GetIfUseDynamics());
    EXPECT_TRUE(body->GetRestFlag());
}

TEST_F(BodyItems, AddGeometryItemNamesByTheCurrentCount) {
    Kco_ODE_BodyCollision* body = NewBody();
    body->AddGeometryItem();
    ASSERT_EQ(2, body->GetGeometryCount());
    EXPECT_STREQ("New shape (1)", body->GetGeometryItem(1)->name);
    body->AddGeometryItem();
    ASSERT_EQ(3, body->GetGeometryCount());
    EXPECT_STREQ("New shape (2)", body->GetGeometryItem(2)->name);
    EXPECT_EQ(body, body->GetGeometryItem(2)->owner);

    body->RemoveGeometryItem(0);
    body->RemoveGeometryItem(7);  // out of range: nothing
    ASSERT_EQ(2, body->GetGeometryCount());
    EXPECT_STREQ("New shape (1)", body->GetGeometryItem(0)->name);
}

TEST_F(BodyItems, APlaneForbidsDynamicsForGood) {
    Kco_ODE_BodyCollision* body = NewBody();
    body->AddGeometryItem();
    body->GetGeometryItem(1)->kind = ODE_GeometryItem::kPlane;
    Frame();
    EXPECT_FALSE(body->GetIfUseDynamics());
    EXPECT_EQ(nullptr, body->GetBodyID());
    ASSERT_NE(nullptr, body->GetGeometryItem(0)->geom);
    EXPECT_EQ(dBoxClass, dGeomGetClass(body->GetGeometryItem(0)->geom));
    EXPECT_EQ(dPlaneClass, dGeomGetClass(body->GetGeometryItem(1)->geom));
    const std::vector<Record> records = Save(body);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ("BDUD", records.back().tag);
    EXPECT_EQ(Bytes({0}), records.back().data);
}

TEST_F(BodyItems, TwoCollisionObjectsShareOneGeometry) {
    Kco_ODE_BodyCollision* body = NewBody();
    ODE_GeometryItem mesh;
    mesh.kind = ODE_GeometryItem::kCollisionObject;
    body->SetGeometryItem(mesh, 0);
    body->SetGeometryItem(mesh, 1);
    const int before = GeometriesInSpace();
    body->InitializeBody();
    EXPECT_EQ(before + 1, GeometriesInSpace());
    ASSERT_NE(nullptr, body->GetGeometryItem(0)->geom);
    EXPECT_EQ(Kco_ODE_World::CollisionObjectClass(), dGeomGetClass(body->GetGeometryItem(0)->geom));
    EXPECT_EQ(body->GetGeometryItem(0), dGeomGetData(body->GetGeometryItem(0)->geom));
    EXPECT_EQ(nullptr, body->GetGeometryItem(1)->geom);
}

TEST_F(BodyItems, DynamicShapesRideInTransformsWithTheirMass) {
    Kco_ODE_BodyCollision* body = NewBody();
    ODE_GeometryItem ball;
    ball.kind = ODE_GeometryItem::kSphere;
    ball.mass = 2.0f;
    ball.offset = D3DXVECTOR3(1.0f, 0.0f, 0.0f);  // off-centre: ODE would stop on an off-centre mass
    body->SetGeometryItem(ball, 1);
    Frame();
    ASSERT_NE(nullptr, body->GetBodyID());
    ODE_GeometryItem* item = body->GetGeometryItem(1);
    EXPECT_EQ(dGeomTransformClass, dGeomGetClass(item->geom));
    // Geometry transforms are deprecated in ODE 0.16 but are what the body is built on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    EXPECT_EQ(item->innerGeom, dGeomTransformGetGeom(item->geom));
#pragma GCC diagnostic pop
    EXPECT_EQ(body->GetBodyID(), dGeomGetBody(item->geom));
    EXPECT_DOUBLE_EQ(1.0, dGeomGetPosition(item->innerGeom)[0]);
    dMass total;
    dBodyGetMass(body->GetBodyID(), &total);
    EXPECT_NEAR(7.0, total.mass, 1e-9);
    EXPECT_NEAR(2.0, item->massProperties.mass, 1e-9);
    EXPECT_NEAR(1.0, item->massProperties.c[0], 1e-9);
}

// A damaged file may hold any bit pattern. ODE stops the process on undefined sizes,
// masses, offsets and angles, so they reach it as 0 (or no rotation).
TEST_F(BodyItems, UndefinedItemValuesNeverReachODE) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Ground();
    ODE_GeometryItem box;
    box.mass = inf;
    box.size.x = inf;
    box.offset = D3DXVECTOR3(nan, 0.0f, inf);
    box.rotation.y = nan;
    ODE_GeometryItem ball = box;
    ball.kind = ODE_GeometryItem::kSphere;
    ball.radius = inf;
    ball.mass = nan;
    Kco_ODE_BodyCollision* dynamic = NewBody("dynamic");
    dynamic->SetGeometryItem(box, 0);
    dynamic->SetGeometryItem(ball, 1);
    StartAt(dynamic, 0.0f, 3.0f, 0.0f);

    Kco_ODE_BodyCollision* fixed = NewBody("static");
    fixed->SetIfUseDynamics(false);
    ODE_GeometryItem placed;
    placed.offset = D3DXVECTOR3(nan, nan, nan);
    placed.rotation = D3DXVECTOR3(inf, nan, 0.0f);
    fixed->SetGeometryItem(placed, 0);
    fixed->SetGeometryItem(box, 1);
    StartAt(fixed, 5.0f, 0.0f, 0.0f);

    for (int frame = 0; frame < 10; ++frame) Frame();
    ASSERT_NE(nullptr, dynamic->GetBodyID());
    const dReal* p = dBodyGetPosition(dynamic->GetBodyID());
    EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    EXPECT_LT(p[1], 3.0);  // it falls like any body
    ASSERT_NE(nullptr, fixed->GetGeometryItem(0)->geom);
    EXPECT_DOUBLE_EQ(5.0, dGeomGetPosition(fixed->GetGeometryItem(0)->geom)[0]);
    EXPECT_DOUBLE_EQ(1.0, dGeomGetRotation(fixed->GetGeometryItem(0)->geom)[0]);
}

// Finite but extreme values (a hostile file) reach ODE within the bounds it takes: shapes
// of dynamic bodies within 1e4, static ones within 1e5, every box at least 1e-3 (and 1e-7
// of its longest side) thick, bodies and static shapes within 1e7 of the origin, a body
// with mass at least 1e-6 heavy, with an inertia its contacts cannot overwhelm.
TEST_F(BodyItems, ExtremeItemValuesAreBounded) {
    ODE_GeometryItem box;
    box.size = D3DXVECTOR3(1e-30f, 1.0f, 1e30f);
    box.offset = D3DXVECTOR3(1e30f, 0.0f, -1e30f);
    box.mass = 1e-30f;
    ODE_GeometryItem dot = box;
    dot.kind = ODE_GeometryItem::kSphere;
    dot.radius = 1e-30f;
    dot.offset = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    Kco_ODE_BodyCollision* dynamic = NewBody("dynamic");
    dynamic->SetGeometryItem(box, 0);
    dynamic->SetGeometryItem(dot, 1);
    StartAt(dynamic, 0.0f, 1e30f, 0.0f);

    Kco_ODE_BodyCollision* fixed = Ground();
    fixed->SetGeometryItem(box, 1);
    ODE_GeometryItem wide;  // a ground box 1e5 wide
    wide.size = D3DXVECTOR3(1e5f, 1.0f, 1e5f);
    fixed->SetGeometryItem(wide, 2);
    StartAt(fixed, 0.0f, -1e30f, 0.0f);
    Frame();

    const ODE_GeometryItem* shape = dynamic->GetGeometryItem(0);
    dVector3 sides;
    dGeomBoxGetLengths(shape->innerGeom, sides);
    EXPECT_FLOAT_EQ(1e-3f, float(sides[0]));
    EXPECT_EQ(1e4, sides[2]);
    EXPECT_EQ(1e4, dGeomGetPosition(shape->innerGeom)[0]);
    EXPECT_EQ(-1e4, dGeomGetPosition(shape->innerGeom)[2]);
    EXPECT_FLOAT_EQ(1e-3f, float(dGeomSphereGetRadius(dynamic->GetGeometryItem(1)->innerGeom)));
    dMass mass;
    dBodyGetMass(dynamic->GetBodyID(), &mass);
    EXPECT_FLOAT_EQ(1e-6f, float(mass.mass));
    // The box reaches 1.4e4 from the origin: no axis may turn 1e6 times more easily there
    // than the body moves.
    for (int axis = 0; axis < 3; ++axis) EXPECT_GE(mass.I[5 * axis], 1e-6 * 1.4e4 * 1.4e4 * 1e-6);
    EXPECT_LE(std::fabs(dBodyGetPosition(dynamic->GetBodyID())[1] - 1e7), 1.0);  // one frame of fall

    dVector4 plane;
    dGeomPlaneGetParams(fixed->GetGeometryItem(0)->geom, plane);
    EXPECT_EQ(-1e7, plane[3]);
    dGeomBoxGetLengths(fixed->GetGeometryItem(1)->geom, sides);
    EXPECT_FLOAT_EQ(1e23f, float(sides[0]));  // 1e-7 of its length: static sizes keep their value
    EXPECT_FLOAT_EQ(1e30f, float(sides[2]));
    EXPECT_EQ(-1e7, dGeomGetPosition(fixed->GetGeometryItem(1)->geom)[1]);
    dGeomBoxGetLengths(fixed->GetGeometryItem(2)->geom, sides);
    EXPECT_EQ(1e5, sides[0]);
    EXPECT_EQ(1.0, sides[1]);
}

// A body lighter than the old floor of 1e-3 keeps its mass.
TEST_F(BodyItems, LightBodiesKeepTheirMass) {
    Kco_ODE_BodyCollision* light = NewBody();
    light->GetGeometryItem(0)->mass = 1e-4f;
    StartAt(light, 0.0f, 2.0f, 0.0f);
    Frame();
    dMass mass;
    dBodyGetMass(light->GetBodyID(), &mass);
    EXPECT_FLOAT_EQ(1e-4f, float(mass.mass));
}

// The start matrix's scale sizes the shapes and is put back on the simulated pose.
TEST_F(BodyItems, StartScaleSizesShapesAndTheReturnedMatrix) {
    Kco_ODE_BodyCollision* body = NewBody();
    D3DXMATRIX scaling, turn, place;
    D3DXMatrixScaling(&scaling, 2.0f, 3.0f, 4.0f);
    D3DXMatrixRotationY(&turn, 0.5f);
    D3DXMatrixTranslation(&place, 1.0f, 5.0f, -2.0f);
    const D3DXMATRIX start = scaling * turn * place;
    StartAt(body, start);
    engine.BeginFrame(0.0f);
    const D3DXMATRIX m = body->GetMatrix();
    EXPECT_FLOAT_EQ(2.0f, body->GetScale().x);
    EXPECT_FLOAT_EQ(4.0f, body->GetScale().z);
    dVector3 lengths;
    dGeomBoxGetLengths(body->GetGeometryItem(0)->innerGeom, lengths);
    EXPECT_NEAR(3.0, lengths[1], 1e-6);
    // Built from the start matrix after this frame's step: the start's pose and scale.
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) EXPECT_NEAR(start.m[row][col], m.m[row][col], 1e-5) << row << col;

    const D3DXMATRIX plain = body->GetNonSizedBodyMatrix();  // no enable link: from the start
    EXPECT_NEAR(std::cos(0.5f), plain._11, 1e-6);
    EXPECT_NEAR(0.0f, plain._12, 1e-6);
    EXPECT_FLOAT_EQ(5.0f, plain._42);
    const D3DXMATRIX unsized = body->GetBodyMatrix(false);
    EXPECT_NEAR(std::cos(0.5f), unsized._11, 1e-5);
    EXPECT_FLOAT_EQ(5.0f, unsized._42);
    engine.BeginFrame(0.0f);  // one step of 0.05 s
    EXPECT_NEAR(5.0f - 9.81f * 0.05f * 0.05f, body->GetBodyMatrix(false)._42, 1e-5);
}

TEST_F(BodyItems, ReplacingShapesOfABuiltBodyRebuildsIt) {
    Kco_ODE_BodyCollision* body = NewBody();
    body->SetIfUseDynamics(false);
    Frame();
    const int built = GeometriesInSpace();
    ASSERT_TRUE(body->GetIfInitialized());
    ODE_GeometryItem bigger;
    bigger.size = D3DXVECTOR3(2.0f, 2.0f, 2.0f);
    body->SetGeometryItem(bigger, 0);  // the old box goes, once
    EXPECT_EQ(built - 1, GeometriesInSpace());
    EXPECT_EQ(nullptr, body->GetGeometryItem(0)->geom);
    Frame();
    EXPECT_EQ(built, GeometriesInSpace());
    dVector3 lengths;
    dGeomBoxGetLengths(body->GetGeometryItem(0)->geom, lengths);
    EXPECT_DOUBLE_EQ(2.0, lengths[0]);

    // A copied item never shares the original's geometry.
    ODE_GeometryItem copy(*body->GetGeometryItem(0));
    EXPECT_EQ(nullptr, copy.geom);
}

// Taking a shape off a falling body leaves it where it is, falling as fast, with the mass
// of the shapes left; it is not sent back to its start.
TEST_F(BodyItems, RemovingAShapeKeepsTheBodyInMotion) {
    Kco_ODE_BodyCollision* body = NewBody();
    body->AddGeometryItem();
    StartAt(body, 0.0f, 100.0f, 0.0f);
    for (int frame = 0; frame < 10; ++frame) Frame();
    const dReal y = dBodyGetPosition(body->GetBodyID())[1];
    const dReal vy = dBodyGetLinearVel(body->GetBodyID())[1];
    ASSERT_LT(y, 99.0);
    body->RemoveGeometryItem(1);
    ASSERT_NE(nullptr, body->GetBodyID());
    EXPECT_EQ(y, dBodyGetPosition(body->GetBodyID())[1]);
    EXPECT_EQ(vy, dBodyGetLinearVel(body->GetBodyID())[1]);
    dMass mass;
    dBodyGetMass(body->GetBodyID(), &mass);
    EXPECT_FLOAT_EQ(5.0f, float(mass.mass));
    Frame();
    EXPECT_LT(body->GetOldMatrix().m[3][1], float(y));
}

TEST_F(BodyItems, PenetrationKeepsTheFramesDeepest) {
    Kco_ODE_BodyCollision* body = NewBody();
    body->SetPenetrationOfBody(0.5f);
    body->SetPenetrationOfBody(0.2f);
    EXPECT_EQ(0.5f, body->GetPenetration());
    Frame();
    EXPECT_EQ(0.0f, body->GetPenetration());
}

TEST_F(BodyItems, ItemRecordHasItsFieldsAtTheirOffsets) {
    ODE_GeometryItem item;
    item.kind = ODE_GeometryItem::kSphere;
    item.massProperties.mass = 5.0;
    item.massProperties.I[11] = -2.0;
    item.mass = 5.0f;
    item.radius = 1.0f;
    item.size = D3DXVECTOR3(2.0f, 0.5f, -1.0f);
    item.offset = D3DXVECTOR3(0.0f, 0.0f, 4.0f);
    item.rotation = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    item.bounceEnabled = 0;
    item.bounce = 0.5f;
    item.bounceVelocity = 0.25f;
    item.friction = 3.0f;
    item.slip = -1.0f;
    std::strcpy(item.name, "Wheel");
    uint8_t raw[geometry_item_record::kSize];
    geometry_item_record::Write(item, raw);
    const std::vector<uint8_t> r(raw, raw + sizeof(raw));

    EXPECT_EQ(std::vector<uint8_t>(16, 0), Slice(r, 0, 16));
    EXPECT_EQ(Bytes({0, 0, 0, 0, 0, 0, 0x14, 0x40}), Slice(r, 16, 8));     // dMass.mass 5.0
    EXPECT_EQ(Bytes({0, 0, 0, 0, 0, 0, 0x00, 0xC0}), Slice(r, 144, 8));    // dMass.I[11] -2.0
    EXPECT_EQ(Bytes({1, 0, 0, 0}), Slice(r, 152, 4));                      // kind, padding
    EXPECT_EQ(Bytes({0, 0, 0xA0, 0x40}), Slice(r, 156, 4));                // mass 5.0
    EXPECT_EQ(Bytes({0, 0, 0x80, 0x3F}), Slice(r, 160, 4));                // radius 1.0
    EXPECT_EQ(Bytes({0, 0, 0, 0x40, 0, 0, 0, 0x3F, 0, 0, 0x80, 0xBF}), Slice(r, 164, 12));  // size
    EXPECT_EQ(Bytes({0, 0, 0x80, 0x40}), Slice(r, 184, 4));                // offset.z 4.0
    EXPECT_EQ(Bytes({0, 0, 0x80, 0x3F}), Slice(r, 192, 4));                // rotation.b 1.0
    EXPECT_EQ(Bytes({0, 0, 0, 0}), Slice(r, 200, 4));                      // bounce enabled, padding
    EXPECT_EQ(Bytes({0, 0, 0, 0x3F}), Slice(r, 204, 4));                   // bounce 0.5
    EXPECT_EQ(Bytes({0, 0, 0x80, 0x3E}), Slice(r, 208, 4));                // bounce velocity 0.25
    EXPECT_EQ(Bytes({0, 0, 0x40, 0x40}), Slice(r, 212, 4));                // friction 3.0
    EXPECT_EQ(Bytes({0, 0, 0x80, 0xBF}), Slice(r, 216, 4));                // slip -1.0
    EXPECT_EQ(Bytes({'W', 'h', 'e', 'e', 'l', 0}), Slice(r, 220, 6));
    EXPECT_EQ(Bytes({0, 0, 0, 0}), Slice(r, 260, 4));                      // owner: never written

    ODE_GeometryItem back;
    geometry_item_record::Read(raw, back);
    EXPECT_EQ(item.kind, back.kind);
    EXPECT_EQ(item.size, back.size);
    EXPECT_EQ(item.rotation, back.rotation);
    EXPECT_EQ(0, back.bounceEnabled);
    EXPECT_EQ(-2.0, back.massProperties.I[11]);
    EXPECT_STREQ("Wheel", back.name);
}

TEST_F(BodyItems, SaveAndLoadKeepItemsNullEntriesAndFlags) {
    Kco_ODE_BodyCollision* body = NewBody("saved");
    ODE_GeometryItem a;
    a.size = D3DXVECTOR3(1.0f, 2.0f, 3.0f);
    std::strcpy(a.name, "Hull");
    ODE_GeometryItem b;
    b.kind = ODE_GeometryItem::kSphere;
    b.radius = 0.75f;
    b.offset = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    b.bounceEnabled = 0;
    ODE_GeometryItem c;
    c.rotation = D3DXVECTOR3(0.1f, 0.2f, 0.3f);
    c.friction = 0.3f;
    body->SetGeometryItem(a, 0);
    body->SetGeometryItem(b, 1);
    body->SetGeometryItem(c, 3);  // index 2 stays a null entry
    ASSERT_EQ(4, body->GetGeometryCount());
    ASSERT_EQ(nullptr, body->GetGeometryItem(2));
    body->SetAngularVelocityDampenValue(0.9f);
    body->SetIfDynamicDisableForces(true);
    body->SetIfUseDynamics(false);

    const std::vector<Record> records = Save(body);
    std::vector<std::string> tags;
    for (const Record& r : records) tags.push_back(r.tag);
    EXPECT_EQ((std::vector<std::string>{"MXMA", "BDIC", "BDI2", "BDI2", "BDEG", "BDI2", "BDAV", "BDDF", "BDDD",
                                        "BDUD"}),
              tags);
    EXPECT_EQ(Bytes({4, 0, 0, 0}), records[1].data);
    EXPECT_EQ(264u, records[2].data.size());
    EXPECT_TRUE(records[4].data.empty());
    EXPECT_EQ(Bytes({0x66, 0x66, 0x66, 0x3F}), records[6].data);  // 0.9f
    EXPECT_EQ(Bytes({0}), records[7].data);
    EXPECT_EQ(Bytes({1}), records[8].data);

    const std::string path = testing::TempDir() + "body_roundtrip_" + std::to_string(std::random_device{}()) + ".cgr";
    ASSERT_TRUE(engine.SaveChannelGroup(*group, path));
    std::unique_ptr<Kel_ChannelGroup> loaded = engine.LoadChannelGroup(path);
    std::filesystem::remove(path);
    ASSERT_NE(loaded, nullptr);
    auto* copy = static_cast<Kco_ODE_BodyCollision*>(loaded->FindChannel("saved"));
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(4, copy->GetGeometryCount());
    EXPECT_EQ(nullptr, copy->GetGeometryItem(2));
    EXPECT_STREQ("Hull", copy->GetGeometryItem(0)->name);
    EXPECT_EQ(D3DXVECTOR3(1.0f, 2.0f, 3.0f), copy->GetGeometryItem(0)->size);
    EXPECT_EQ(ODE_GeometryItem::kSphere, copy->GetGeometryItem(1)->kind);
    EXPECT_EQ(0.75f, copy->GetGeometryItem(1)->radius);
    EXPECT_EQ(D3DXVECTOR3(0.0f, 1.0f, 0.0f), copy->GetGeometryItem(1)->offset);
    EXPECT_EQ(0, copy->GetGeometryItem(1)->bounceEnabled);
    EXPECT_EQ(D3DXVECTOR3(0.1f, 0.2f, 0.3f), copy->GetGeometryItem(3)->rotation);
    EXPECT_EQ(0.3f, copy->GetGeometryItem(3)->friction);
    for (int i : {0, 1, 3}) {
        EXPECT_EQ(copy, copy->GetGeometryItem(i)->owner);
        EXPECT_EQ(nullptr, copy->GetGeometryItem(i)->geom);
    }
    EXPECT_EQ(0.9f, copy->GetAngularVelocityDampenValue());
    EXPECT_TRUE(copy->GetIfDynamicDisableForces());
    EXPECT_FALSE(copy->GetIfDisableForces());
    EXPECT_FALSE(copy->GetIfUseDynamics());
    // The loaded body builds and runs.
    engine.BeginFrame(1.0f);
    copy->GetMatrix();
    EXPECT_TRUE(copy->GetIfInitialized());
    loaded.reset();
}

TEST_F(BodyItems, OldItemRecordsConvertWithoutRotation) {
    uint8_t old[288] = {};
    Poke<double>(old, 16, 99.0);  // an old mass distribution: not carried over
    old[152] = ODE_GeometryItem::kSphere;
    Poke(old, 156, 3.0f);
    Poke(old, 160, 0.4f);
    Poke(old, 164, 1.5f), Poke(old, 168, 2.5f), Poke(old, 172, 3.5f);
    Poke(old, 176, 123.0f), Poke<int32_t>(old, 180, 77);  // unused old fields
    Poke(old, 184, -1.0f), Poke(old, 188, -2.0f), Poke(old, 192, -3.0f);
    Poke(old, 196, 0.5f), Poke(old, 200, 0.6f), Poke(old, 204, 0.7f);  // rotation angles
    Poke<int32_t>(old, 208, 1);
    Poke(old, 212, 0.8f);
    Poke(old, 216, 0.2f);
    Poke(old, 236, 0.6f);
    Poke(old, 240, 0.05f);
    std::memcpy(old + 244, "Old ball", 9);
    uint8_t notBouncing[288];
    std::memcpy(notBouncing, old, sizeof(old));
    Poke<int32_t>(notBouncing, 208, 2);

    std::vector<uint8_t> bytes;
    const int32_t count = 2;
    Append(bytes, "BDIC", &count, 4);
    Append(bytes, "BDIG", old, sizeof(old));
    Append(bytes, "BDIG", notBouncing, sizeof(notBouncing));
    const uint8_t off = 0;
    Append(bytes, "BDUD", &off, 1);

    Kco_ODE_BodyCollision* body = NewBody();
    KelFileLoader loader(bytes);
    ASSERT_TRUE(body->LoadChannel(loader, group.get()));
    ASSERT_EQ(2, body->GetGeometryCount());
    ODE_GeometryItem* item = body->GetGeometryItem(0);
    EXPECT_EQ(ODE_GeometryItem::kSphere, item->kind);
    EXPECT_EQ(3.0f, item->mass);
    EXPECT_EQ(0.4f, item->radius);
    EXPECT_EQ(D3DXVECTOR3(1.5f, 2.5f, 3.5f), item->size);
    EXPECT_EQ(D3DXVECTOR3(-1.0f, -2.0f, -3.0f), item->offset);
    EXPECT_EQ(D3DXVECTOR3(0.0f, 0.0f, 0.0f), item->rotation);
    EXPECT_EQ(1, item->bounceEnabled);
    EXPECT_EQ(0.8f, item->bounce);
    EXPECT_EQ(0.2f, item->bounceVelocity);
    EXPECT_EQ(0.6f, item->friction);
    EXPECT_EQ(0.05f, item->slip);
    EXPECT_STREQ("Old ball", item->name);
    EXPECT_EQ(0.0, item->massProperties.mass);
    EXPECT_EQ(body, item->owner);
    EXPECT_EQ(0, body->GetGeometryItem(1)->bounceEnabled);
    EXPECT_FALSE(body->GetIfUseDynamics());
}

TEST_F(BodyItems, AbsentTagsKeepDefaultsAndABadCountStops) {
    Kco_ODE_BodyCollision* body = NewBody();
    {
        KelFileLoader empty;
        ASSERT_TRUE(body->LoadChannel(empty, group.get()));
        EXPECT_EQ(1, body->GetGeometryCount());
        EXPECT_TRUE(body->GetIfUseDynamics());
    }
    std::vector<uint8_t> bytes;
    const int32_t count = 0x7FFFFFFF;
    Append(bytes, "BDIC", &count, 4);
    Append(bytes, "BDEG", nullptr, 0);
    const float damping = 0.5f;
    Append(bytes, "BDAV", &damping, 4);
    const uint8_t two = 2;
    Append(bytes, "BDDF", &two, 1);
    KelFileLoader loader(bytes);
    ASSERT_TRUE(body->LoadChannel(loader, group.get()));
    // Records are stored at their index: a null entry at 0 keeps the constructor's item.
    EXPECT_EQ(1, body->GetGeometryCount());
    ASSERT_NE(nullptr, body->GetGeometryItem(0));
    EXPECT_STREQ("Unnamed", body->GetGeometryItem(0)->name);
    EXPECT_EQ(0.5f, body->GetAngularVelocityDampenValue());
    EXPECT_TRUE(body->GetIfDisableForces());

    Kco_ODE_BodyCollision* none = NewBody("none");
    const int32_t zero = 0;
    std::vector<uint8_t> empty;
    Append(empty, "BDIC", &zero, 4);
    KelFileLoader emptyList(empty);
    ASSERT_TRUE(none->LoadChannel(emptyList, group.get()));
    EXPECT_EQ(1, none->GetGeometryCount());
    EXPECT_NE(nullptr, none->GetGeometryItem(0));
}

TEST_F(BodyItems, CopiesAreDestroyedIndependently) {
    Kco_ODE_BodyCollision* body = NewBody();
    body->AddGeometryItem();
    Frame();
    ASSERT_NE(nullptr, body->GetBodyID());
    const int geometries = GeometriesInSpace();
    {
        Kco_ODE_BodyCollision copy(*body);
        EXPECT_EQ(2, copy.GetGeometryCount());
        EXPECT_NE(body->GetGeometryItem(1), copy.GetGeometryItem(1));
        EXPECT_EQ(&copy, copy.GetGeometryItem(1)->owner);
        EXPECT_EQ(nullptr, copy.GetBodyID());
        engine.BeginFrame(1.0f);
        copy.GetMatrix();
        EXPECT_NE(nullptr, copy.GetBodyID());
        EXPECT_EQ(2 * geometries, GeometriesInSpace());
    }
    EXPECT_EQ(geometries, GeometriesInSpace());
    Frame();
    EXPECT_NE(nullptr, dBodyGetPosition(body->GetBodyID()));
}

}  // namespace
