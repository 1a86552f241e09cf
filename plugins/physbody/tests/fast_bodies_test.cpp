// Fast bodies against meshes: spheres and boxes down to 0.2 across, shot at a mesh ground
// and at a mesh wall at up to 59 m/s, must never pass through, though at the world's
// 0.05 s step they move up to 15 times their size in one step.
#include <cmath>
#include <string>
#include <vector>

#include "mesh_scene.h"

namespace {

struct Shot {
    uint8_t kind;
    float size;  // sphere diameter, box side
    float speed;
};

std::vector<Shot> Shots() {
    std::vector<Shot> shots;
    for (const uint8_t kind : {ODE_GeometryItem::kSphere, ODE_GeometryItem::kBox})
        for (const float size : {0.2f, 0.5f, 1.0f})
            for (const float speed : {12.0f, 20.0f, 40.0f, 59.0f}) shots.push_back({kind, size, speed});
    return shots;
}

class FastBodies : public MeshScene {
protected:
    Kco_ODE_BodyCollision* Shoot(const Shot& shot, const D3DXVECTOR3& from, const D3DXVECTOR3& direction) {
        Kco_ODE_BodyCollision* body = NewBody(shot.kind == ODE_GeometryItem::kBox ? "box" : "ball");
        ODE_GeometryItem item;
        item.kind = shot.kind;
        item.radius = 0.5f * shot.size;
        item.size = {shot.size, shot.size, shot.size};
        body->SetGeometryItem(item, 0);
        D3DXMATRIX start;
        D3DXMatrixRotationYawPitchRoll(&start, 0.3f, 0.2f, 0.1f);  // boxes arrive on a corner
        start._41 = from.x, start._42 = from.y, start._43 = from.z;
        StartAt(body, start);
        Frame();  // built where it starts
        const D3DXVECTOR3 v = direction * shot.speed;
        dBodySetLinearVel(body->GetBodyID(), v.x, v.y, v.z);
        return body;
    }
};

std::string Name(const Shot& shot) {
    return std::string(shot.kind == ODE_GeometryItem::kBox ? "box " : "sphere ") + testing::PrintToString(shot.size) +
           " across at " + testing::PrintToString(shot.speed) + " m/s";
}

TEST_F(FastBodies, FastSpheresAndBoxesNeverPassThroughAMeshGround) {
    MeshGround(Grid(40));
    const std::vector<Shot> shots = Shots();
    std::vector<Kco_ODE_BodyCollision*> bodies;
    for (size_t i = 0; i < shots.size(); ++i)
        bodies.push_back(Shoot(shots[i], {-17.0f + 1.5f * float(i), 6.0f, 0.5f * float(i % 3)}, {0.0f, -1.0f, 0.0f}));
    std::vector<float> lowest(bodies.size(), 10.0f);
    for (int frame = 0; frame < 40; ++frame) {
        Frame();
        for (size_t i = 0; i < bodies.size(); ++i) lowest[i] = std::fmin(lowest[i], Position(bodies[i]).y);
    }
    for (size_t i = 0; i < bodies.size(); ++i) EXPECT_GT(lowest[i], 0.0f) << Name(shots[i]);
}

// A wall of 1 x 1 quads in the plane x = 5, facing -x; no gravity, so each body flies
// straight at it.
TEST_F(FastBodies, FastSpheresAndBoxesNeverPassThroughAMeshWall) {
    World()->SetGravityVector({0.0f, 0.0f, 0.0f});
    Mesh wall;
    const int n = 40;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) wall.positions.push_back({5.0f, float(i) - 20.0f, float(j) - 20.0f});
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const auto at = [&](int di, int dj) { return uint16_t((i + di) * (n + 1) + j + dj); };
            wall.indices.insert(wall.indices.end(), {at(0, 0), at(0, 1), at(1, 1), at(0, 0), at(1, 1), at(1, 0)});
        }
    MeshGround(wall);
    const std::vector<Shot> shots = Shots();
    std::vector<Kco_ODE_BodyCollision*> bodies;
    for (size_t i = 0; i < shots.size(); ++i)
        bodies.push_back(Shoot(shots[i], {0.0f, -17.0f + 1.5f * float(i), 0.37f * float(i % 4)}, {1.0f, 0.0f, 0.0f}));
    std::vector<float> farthest(bodies.size(), -10.0f);
    for (int frame = 0; frame < 40; ++frame) {
        Frame();
        for (size_t i = 0; i < bodies.size(); ++i) farthest[i] = std::fmax(farthest[i], Position(bodies[i]).x);
    }
    for (size_t i = 0; i < bodies.size(); ++i) EXPECT_LT(farthest[i], 5.0f) << Name(shots[i]);
}

}  // namespace
