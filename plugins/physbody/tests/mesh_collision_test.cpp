// The mesh routines of the body: sphere and box colliders against collision objects filled
// directly, and the box-box test they rest on, checked against ODE's own box collider.
#include <algorithm>
#include <cmath>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "physics_scene.h"
#include "plugin_frame/siblings/collision_object.h"

namespace {

using Triangles = std::vector<D3DXVECTOR3>;  // three vertices per triangle

// Two triangles of the square -1..1 at height y, facing +Y, split along x = z.
Triangles Square(float y = 0.0f) {
    return {{-1, y, -1}, {-1, y, 1}, {1, y, 1},    // x <= z
            {-1, y, -1}, {1, y, 1},  {1, y, -1}};  // x >= z
}

Triangles Join(std::initializer_list<Triangles> parts) {
    Triangles all;
    for (const Triangles& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

class MeshCollision : public PhysicsScene {
protected:
    // A static body whose only shape is a collision object holding `triangles`.
    Kco_ODE_BodyCollision* MeshBody(const Triangles& triangles) {
        Kco_ODE_BodyCollision* body = NewBody("mesh");
        ODE_GeometryItem item;
        item.kind = ODE_GeometryItem::kCollisionObject;
        body->SetGeometryItem(item, 0);
        mesh = static_cast<Kco_DX8_CollisionObject*>(
            engine.CreateChannelInGroup(type_guids::kCollisionObject, *group, "collision"));
        EXPECT_NE(mesh, nullptr);
        mesh->SetPolygons(triangles.data(), uint32_t(triangles.size() / 3));
        EXPECT_TRUE(body->LinkChild(mesh, 2));
        return body;
    }

    Kco_DX8_CollisionObject* mesh = nullptr;
};

struct SphereCase {
    const char* name;
    Triangles triangles;
    D3DXVECTOR3 centre;
    float radius;
    float depth;         // 0: no contact
    D3DXVECTOR3 normal;  // unit, from the sphere towards the mesh
};

const float kEdgeDistance = std::sqrt(0.4f * 0.4f + 0.1f * 0.1f);  // centre (1.4, 0.1, 0) to the edge x = 1
// The triangle x >= z of Square() ends at x = 1; another starts at x = 2 (the sphere
// reaches it less deeply); a third lies flat below the sphere.
const Triangles kNearEdge = {{-1, 0, -1}, {1, 0, 1}, {1, 0, -1}};
const Triangles kFarEdge = {{2, 0, -1}, {2, 0, 1}, {4, 0, 1}};
Triangles FloorBelow(float y) { return {{0, y, -1}, {0, y, 1}, {3, y, 1}}; }
const Triangles kUnderNearEdge = {{-3, 0, -3}, {3, 0, 3}, {3, 0, -3}};  // coplanar, holding kNearEdge

// Six triangles round the origin at height 0, facing +Y.
Triangles Fan() {
    Triangles fan;
    for (int k = 0; k < 6; ++k) {
        const float a = 1.0472f * float(k), b = 1.0472f * float(k + 1);
        fan.insert(fan.end(), {{0, 0, 0}, {std::cos(b), 0, std::sin(b)}, {std::cos(a), 0, std::sin(a)}});
    }
    return fan;
}
// A right-angled crease along z: y = -x for x < 0 and y = x for x > 0, two triangles a side.
const Triangles kCrease = {{-1, 1, -1}, {-1, 1, 1}, {0, 0, 1}, {-1, 1, -1}, {0, 0, 1}, {0, 0, -1},
                           {0, 0, -1}, {0, 0, 1}, {1, 1, 1},  {0, 0, -1}, {1, 1, 1}, {1, 1, -1}};

TEST_F(MeshCollision, SpherePushesFollowTheFaceAndEdgeRules) {
    const D3DXVECTOR3 down(0, -1, 0);
    const D3DXVECTOR3 towardEdge = D3DXVECTOR3(-0.4f, -0.1f, 0.0f) / kEdgeDistance;
    const SphereCase cases[] = {
        {"one face", kNearEdge, {0.5f, 0.4f, -0.5f}, 0.5f, 0.1f, down},
        {"coplanar faces push once", Join({kNearEdge, kUnderNearEdge}), {0.5f, 0.4f, -0.5f}, 0.5f, 0.1f, down},
        {"a vertex of six coplanar triangles pushes once", Fan(), {0.0f, 0.3f, 0.0f}, 0.5f, 0.2f, down},
        {"both faces of a crease push", kCrease, {0.0f, 0.6f, 0.0f}, 0.5f, std::sqrt(2.0f) * 0.5f - 0.6f, down},
        {"edges only: the deepest, not the sum", Join({kNearEdge, kFarEdge}), {1.4f, 0.1f, 0.0f}, 0.7f,
         0.7f - kEdgeDistance, towardEdge},
        {"a longer edge push beats the face push", Join({kNearEdge, kFarEdge, FloorBelow(-0.55f)}),
         {1.4f, 0.1f, 0.0f}, 0.7f, 0.7f - kEdgeDistance, towardEdge},
        {"a longer face push beats the edge push", Join({kNearEdge, FloorBelow(-0.2f)}), {1.4f, 0.1f, 0.0f}, 0.7f,
         0.4f, down},
        {"radius 0", Square(), {0.2f, 0.0f, 0.2f}, 0.0f, 0.0f, {}},
        {"centre less than 0.0001 in front", Square(), {0.5f, 0.00005f, -0.5f}, 0.5f, 0.0f, {}},
        {"centre behind", Square(), {0.5f, -0.2f, -0.5f}, 0.5f, 0.0f, {}},
        {"out of reach", Square(), {0.5f, 0.6f, -0.5f}, 0.5f, 0.0f, {}},
    };
    for (const SphereCase& c : cases) {
        SCOPED_TRACE(c.name);
        Kco_ODE_BodyCollision* body = MeshBody(c.triangles);
        dGeomID sphere = dCreateSphere(nullptr, c.radius);
        dGeomSetPosition(sphere, c.centre.x, c.centre.y, c.centre.z);
        dContactGeom contact{};
        const unsigned long n = body->CollideSphere(sphere, 6, &contact, sizeof(dContactGeom));
        dGeomDestroy(sphere);
        ASSERT_EQ(n, c.depth > 0.0f ? 1u : 0u);
        if (n == 0) continue;
        EXPECT_NEAR(contact.depth, c.depth, 1e-5);
        EXPECT_NEAR(contact.normal[0], c.normal.x, 1e-5);
        EXPECT_NEAR(contact.normal[1], c.normal.y, 1e-5);
        EXPECT_NEAR(contact.normal[2], c.normal.z, 1e-5);
        // The contact lies on the sphere's surface, against the push.
        EXPECT_NEAR(contact.pos[1], c.centre.y + c.normal.y * c.radius, 1e-5);
    }
}

// Small triangles under a unit box that sinks 0.01 into them, each tilted its own way (no
// two push alike): many triangles meet the box.
TEST_F(MeshCollision, BoxContactsNeverReachTheCallersLastSlot) {
    Triangles grid;
    std::mt19937 random(6);
    std::uniform_real_distribution<float> spread(-0.35f, 0.35f), tilt(-0.1f, 0.1f);
    for (int i = 0; i < 24; ++i) {
        const float x = spread(random), z = spread(random), a = tilt(random), b = tilt(random), s = 0.1f;
        grid.insert(grid.end(), {{x - s, -a * s - b * s, z - s}, {x - s, -a * s + b * s, z + s},
                                 {x + s, a * s + b * s, z + s}});
    }
    Kco_ODE_BodyCollision* body = MeshBody(grid);
    dGeomID box = dCreateBox(nullptr, 1, 1, 1);
    dGeomSetPosition(box, 0.0, 0.49, 0.0);
    Frame();  // builds the body's collision geometry
    dGeomID meshGeom = body->GetGeometryItem(0)->geom;
    ASSERT_NE(meshGeom, nullptr);

    std::vector<dContactGeom> contacts(64);
    const unsigned long many = body->CollideBox(box, 64, contacts.data(), sizeof(dContactGeom), meshGeom);
    EXPECT_GT(many, 6u);
    for (unsigned long i = 0; i < many; ++i) {
        EXPECT_LT(contacts[i].normal[1], -0.98);  // from the box towards the mesh
        EXPECT_GE(contacts[i].depth, 0.0);
        EXPECT_LT(contacts[i].depth, 0.1);  // the deepest corner below a plane tilted by up to 0.14
        EXPECT_EQ(contacts[i].g1, box);
        EXPECT_EQ(contacts[i].g2, meshGeom);
    }
    dContactGeom sentinel{};
    sentinel.depth = -7.0;
    std::vector<dContactGeom> six(6, sentinel);
    EXPECT_EQ(body->CollideBox(box, 6, six.data(), sizeof(dContactGeom), meshGeom), 5u);
    EXPECT_EQ(six[5].depth, -7.0);
    dGeomDestroy(box);
}

// On a flat grid every triangle under a flat box pushes the same way: each corner of the
// box's underside is pushed once, before anything else.
TEST_F(MeshCollision, BoxOnAFlatGridIsPushedOnceAtEachCorner) {
    Triangles grid;  // 0.5-unit quads over -1..1
    for (float x = -1.0f; x < 1.0f; x += 0.5f)
        for (float z = -1.0f; z < 1.0f; z += 0.5f)
            grid.insert(grid.end(), {{x, 0, z}, {x, 0, z + 0.5f}, {x + 0.5f, 0, z + 0.5f}, {x, 0, z},
                                     {x + 0.5f, 0, z + 0.5f}, {x + 0.5f, 0, z}});
    Kco_ODE_BodyCollision* body = MeshBody(grid);
    dGeomID box = dCreateBox(nullptr, 1, 1, 1);
    dGeomSetPosition(box, 0.1, 0.49, 0.05);
    dContactGeom contacts[8];
    const unsigned long n = body->CollideBox(box, 8, contacts, sizeof(dContactGeom), nullptr);
    ASSERT_GE(n, 4u);
    // Grid vertices under the box lie inside it too: they may add pushes after the corners,
    // straight up and as deep.
    for (const dContactGeom& c : std::span(contacts + 4, n - 4)) {
        EXPECT_NEAR(c.normal[1], -1.0, 1e-6);
        EXPECT_NEAR(c.depth, 0.01, 1e-6);
    }
    double x = 0.0, z = 0.0;
    for (const dContactGeom& c : std::span(contacts, 4)) {
        EXPECT_NEAR(c.pos[1], -0.01, 1e-6);
        EXPECT_NEAR(std::fabs(c.pos[0] - 0.1), 0.5, 1e-6);
        EXPECT_NEAR(std::fabs(c.pos[2] - 0.05), 0.5, 1e-6);
        x += c.pos[0], z += c.pos[2];
    }
    EXPECT_NEAR(x, 0.4, 1e-6);  // four different corners
    EXPECT_NEAR(z, 0.2, 1e-6);
    dGeomDestroy(box);
}

TEST_F(MeshCollision, ObtuseTriangleBoxRisesFromTheNearerBaseVertex) {
    Kco_ODE_BodyCollision* body = NewBody();
    struct {
        D3DXVECTOR3 c;
        double height;
        double centreX;
    } cases[] = {
        {{0.5f, 1, 0}, 1.0, 0.5},                   // foot on the edge
        {{2.0f, 1, 0}, std::sqrt(2.0), 0.5 + 0.5},  // beyond b: height from b
        {{-1.0f, 1, 0}, std::sqrt(2.0), 0.5 - 0.5}, // before a: height from a
    };
    for (auto& c : cases) {
        D3DXVECTOR3 a(0, 0, 0), b(1, 0, 0), n(0, 0, 1);
        double position[3], rotation[12], sides[3];
        body->CreateBoxFromPoly(a, b, c.c, position, rotation, sides, n);
        EXPECT_DOUBLE_EQ(sides[0], 1.0);
        EXPECT_EQ(sides[1], double(0.01f));
        EXPECT_NEAR(sides[2], c.height, 1e-6);
        EXPECT_NEAR(position[0], c.centreX, 1e-6);
        EXPECT_NEAR(position[1], 0.5, 1e-6);
        // First axis along the base edge, second along the normal.
        EXPECT_NEAR(rotation[0], 1.0, 1e-6);
        EXPECT_NEAR(rotation[9], 1.0, 1e-6);
    }
}

TEST_F(MeshCollision, TouchingBoxesCollideAndSeparatedOnesDoNot) {
    Kco_ODE_BodyCollision* body = NewBody();
    const double identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    const double side[3] = {1, 1, 1}, origin[3] = {0, 0, 0};
    for (double gap : {0.0, 1e-9, 0.25}) {
        const double p2[3] = {1.0 + gap, 0.2, 0.0};
        double normal[3], depth = -1.0;
        int code = 0;
        dContactGeom contact{};
        const int n = body->dBoxBox(origin, identity, side, p2, identity, side, normal, &depth, &code, 3, &contact,
                                    int(sizeof contact));
        if (gap > 0.0) {
            EXPECT_EQ(n, 0) << gap;
            continue;
        }
        EXPECT_EQ(n, 1);
        EXPECT_EQ(depth, 0.0);
        EXPECT_EQ(code, 1);
        EXPECT_EQ(normal[0], 1.0);
        EXPECT_EQ(contact.pos[0], 0.5);  // box 2's vertex deepest into box 1
    }
}

// Random poses: the box-box test must agree with ODE's own box collider on whether two
// boxes meet, except within ODE's own tolerance of the touching pose.
TEST_F(MeshCollision, BoxBoxAgreesWithODEOnWhetherBoxesMeet) {
    Kco_ODE_BodyCollision* body = NewBody();
    std::mt19937 random(15);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    dGeomID g1 = dCreateBox(nullptr, 1, 1, 1), g2 = dCreateBox(nullptr, 1, 1, 1);
    int meeting = 0, compared = 0;
    for (int i = 0; i < 2000; ++i) {
        double side1[3], side2[3];
        for (int k = 0; k < 3; ++k) side1[k] = 0.2 + std::fabs(unit(random)), side2[k] = 0.2 + std::fabs(unit(random));
        dMatrix3 R1, R2;
        dRFromAxisAndAngle(R1, unit(random), unit(random), unit(random) + 0.01, 3.0 * unit(random));
        dRFromAxisAndAngle(R2, unit(random), unit(random), unit(random) + 0.01, 3.0 * unit(random));
        const double p1[3] = {0, 0, 0}, p2[3] = {1.5 * unit(random), 1.5 * unit(random), 1.5 * unit(random)};
        dGeomBoxSetLengths(g1, side1[0], side1[1], side1[2]);
        dGeomBoxSetLengths(g2, side2[0], side2[1], side2[2]);
        dGeomSetRotation(g1, R1), dGeomSetPosition(g1, 0, 0, 0);
        dGeomSetRotation(g2, R2), dGeomSetPosition(g2, p2[0], p2[1], p2[2]);
        dContactGeom odeContacts[8];
        const bool odeMeets = dCollide(g1, g2, 8, odeContacts, sizeof(dContactGeom)) > 0;
        double normal[3], depth = 0.0;
        int code = 0;
        dContactGeom contact{};
        const bool meets = body->dBoxBox(p1, R1, side1, p2, R2, side2, normal, &depth, &code, 3, &contact,
                                         int(sizeof contact)) > 0;
        if (meets && depth < 1e-3) continue;  // ODE widens its boxes by a little
        ++compared;
        meeting += meets;
        EXPECT_EQ(meets, odeMeets) << "pose " << i;
        if (meets) {
            EXPECT_GE(depth, 0.0);
            EXPECT_NEAR(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2], 1.0, 1e-9);
            // The normal points from box 1 towards box 2.
            EXPECT_GE(normal[0] * p2[0] + normal[1] * p2[1] + normal[2] * p2[2], 0.0);
        }
    }
    dGeomDestroy(g1);
    dGeomDestroy(g2);
    EXPECT_GT(meeting, 200);
    EXPECT_GT(compared - meeting, 200);
}

TEST_F(MeshCollision, LineClosestApproach) {
    Kco_ODE_BodyCollision* body = NewBody();
    const double pa[3] = {0, 0, 0}, ua[3] = {1, 0, 0};
    double alpha = 9, beta = 9;
    const double parallel[3] = {-1, 0, 0}, pb[3] = {3, 1, 0};
    body->lineClosestApproach(pa, ua, pb, parallel, &alpha, &beta);
    EXPECT_EQ(alpha, 0.0);
    EXPECT_EQ(beta, 0.0);
    const double across[3] = {0, 0, 1}, pc[3] = {2, 1, -3};
    body->lineClosestApproach(pa, ua, pc, across, &alpha, &beta);
    EXPECT_DOUBLE_EQ(alpha, 2.0);
    EXPECT_DOUBLE_EQ(beta, 3.0);
}

TEST_F(MeshCollision, SphereBoundsTakeTheIdentityShortcutOtherwiseGoLocal) {
    Kco_ODE_BodyCollision* body = MeshBody(Square());
    // The bounds are only visible through the query: a sphere at x = 5 above the square
    // meets it once the mesh is moved to x = 5, which the query must undo.
    D3DXMATRIX moved;
    D3DXMatrixTranslation(&moved, 5.0f, 0.0f, 0.0f);
    dGeomID sphere = dCreateSphere(nullptr, 0.5);
    dGeomSetPosition(sphere, 5.5, 0.4, -0.5);
    dContactGeom contact{};
    EXPECT_EQ(body->CollideSphere(sphere, 6, &contact, sizeof contact), 0u);
    mesh->SetObjectWorld(moved);
    EXPECT_EQ(body->CollideSphere(sphere, 6, &contact, sizeof contact), 1u);
    EXPECT_NEAR(contact.depth, 0.1, 1e-5);
    dGeomDestroy(sphere);
}

// The sphere rule evaluated from scratch through the body's own triangle and edge tests,
// over every triangle in the mesh's list order: the colliders keep what they derive from
// each triangle, which must never change a contact, however the mesh and its matrix change.
struct RuleResult {
    unsigned long count = 0;
    float normal[3] = {}, depth = 0.0f;
};

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Length(const D3DXVECTOR3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
D3DXVECTOR3 Unit(const D3DXVECTOR3& v) {
    const float length = Length(v);
    return length == 0.0f ? D3DXVECTOR3(0, 0, 0) : v * (1.0f / length);
}
D3DXVECTOR3 Place(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    const float x = v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41;
    const float y = v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42;
    const float z = v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43;
    const float w = v.x * m._14 + v.y * m._24 + v.z * m._34 + m._44;
    const float inv = 1.0f / w;
    return {x * inv, y * inv, z * inv};
}

RuleResult SphereRule(Kco_ODE_BodyCollision* body, Kco_DX8_CollisionObject* mesh, D3DXVECTOR3 c, float r) {
    D3DXVECTOR3 everywhere(-1e30f, -1e30f, -1e30f), nowhere(1e30f, 1e30f, 1e30f);
    Kel_List all;
    mesh->AddBoxCollisionPolygonsToList(&all, &everywhere, &nowhere);
    D3DXMATRIX w = mesh->GetObjectWorld(), identity;
    D3DXMatrixIdentity(&identity);
    D3DXVECTOR3 face(0, 0, 0), edge(0, 0, 0);
    std::vector<std::pair<D3DXVECTOR3, float>> faces;  // each face clears what the push lacks
    const auto clear = [&face](const D3DXVECTOR3& n, float depth) {
        const float lacking = depth - (face.x * n.x + face.y * n.y + face.z * n.z);
        if (lacking > 0.0f) face += n * lacking;
    };
    for (int i = 0; i < all.GetItemCount(); ++i) {
        const PolygonInfoItem* p = mesh->GetPolygonInfoItem(uint32_t(reinterpret_cast<uintptr_t>(all.GetItem(i))));
        D3DXVECTOR3 v[3];
        for (int k = 0; k < 3; ++k) v[k] = w == identity ? p->vertex[k] : Place(p->vertex[k], w);
        bool out = false;
        for (float D3DXVECTOR3::*axis : {&D3DXVECTOR3::x, &D3DXVECTOR3::y, &D3DXVECTOR3::z})
            out = out || std::fmin(v[0].*axis, std::fmin(v[1].*axis, v[2].*axis)) > c.*axis + r ||
                  std::fmax(v[0].*axis, std::fmax(v[1].*axis, v[2].*axis)) < c.*axis - r;
        if (out) continue;
        D3DXVECTOR3 n = Unit(Cross(v[1] - v[0], v[2] - v[0]));
        const float h = (n.x * c.x + n.y * c.y + n.z * c.z) - (n.x * v[0].x + n.y * v[0].y + n.z * v[0].z);
        if (!(h >= 0.0001f) || !(r - h >= 0.0f)) continue;
        D3DXVECTOR3 target = c - n * r, e1 = v[1] - v[0], e2 = v[2] - v[0];
        if (body->SphereTriangleCollision(target, c, e1, e2, v[0])) {
            clear(n, r - h);
            faces.emplace_back(n, r - h);
        }
        for (int e = 0; e < 3; ++e)
            if (body->GetIfPlaneContainsPoint(v[e], v[(e + 1) % 3], v[(e + 1) % 3] - n, c))
                body->SphereEdgeCollision(v[e], v[(e + 1) % 3], c, edge, r);
    }
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < std::min<size_t>(faces.size(), 16); ++i) clear(faces[i].first, faces[i].second);
    if (Length(edge) > Length(face)) face = edge;
    RuleResult result;
    if (face == D3DXVECTOR3(0, 0, 0)) return result;
    const D3DXVECTOR3 n = face / Length(face);
    result = {1, {-n.x, -n.y, -n.z}, Length(face)};
    return result;
}

TEST_F(MeshCollision, KeptTrianglesGiveTheRulesContactsBitForBit) {
    std::mt19937 random(42);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const auto bumpyGrid = [&] {
        Triangles grid;  // 6 x 6 quads of 0.5, heights up to 0.3
        float height[7][7];
        for (auto& row : height)
            for (float& h : row) h = 0.3f * unit(random);
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 6; ++j) {
                const auto at = [&](int di, int dj) {
                    return D3DXVECTOR3(0.5f * float(i + di), height[i + di][j + dj], 0.5f * float(j + dj));
                };
                grid.insert(grid.end(), {at(0, 0), at(0, 1), at(1, 1), at(0, 0), at(1, 1), at(1, 0)});
            }
        return grid;
    };
    Kco_ODE_BodyCollision* body = MeshBody(bumpyGrid());
    D3DXMATRIX turned, shifted, moved, identity;
    D3DXMatrixRotationYawPitchRoll(&turned, 0.4f, 0.2f, -0.3f);
    D3DXMatrixTranslation(&shifted, 0.3f, -0.2f, 0.7f);
    moved = turned * shifted;
    D3DXMatrixIdentity(&identity);
    dGeomID sphere = dCreateSphere(nullptr, 1.0);
    int contacts = 0;
    // Identity, moved, moved with other triangles, identity again: each change must reach
    // what the collider keeps.
    for (int phase = 0; phase < 4; ++phase) {
        SCOPED_TRACE(phase);
        if (phase == 1) mesh->SetObjectWorld(moved);
        if (phase == 2) {
            const Triangles other = bumpyGrid();
            mesh->SetPolygons(other.data(), uint32_t(other.size() / 3));
        }
        if (phase == 3) mesh->SetObjectWorld(identity);
        for (int i = 0; i < 400; ++i) {
            const D3DXVECTOR3 c(3.6f * unit(random) - 0.3f, 0.6f * unit(random) - 0.1f, 3.6f * unit(random) - 0.3f);
            const float r = 0.05f + 0.6f * unit(random);
            dGeomSphereSetRadius(sphere, r);
            dGeomSetPosition(sphere, c.x, c.y, c.z);
            dContactGeom contact{};
            const unsigned long n = body->CollideSphere(sphere, 6, &contact, sizeof contact);
            const RuleResult rule = SphereRule(body, mesh, c, r);
            ASSERT_EQ(n, rule.count) << "sphere " << i;
            if (n == 0) continue;
            ++contacts;
            for (int k = 0; k < 3; ++k) EXPECT_EQ(contact.normal[k], double(rule.normal[k])) << "sphere " << i;
            EXPECT_EQ(contact.depth, double(rule.depth)) << "sphere " << i;
        }
    }
    dGeomDestroy(sphere);
    EXPECT_GT(contacts, 400);  // a good share of the spheres reach the mesh
}

}  // namespace
