// Bodies falling, rolling and riding on triangle meshes of 3D objects, simulated through
// engine frames with the real world, body, collision object and scene plug-in files.
#include <algorithm>
#include <cmath>
#include <vector>

#include "mesh_scene.h"

namespace {

using MeshSimulation = MeshScene;

// On a plane both come to rest 0.5 above it (BodySimulation, within 0.02: the depth a soft
// contact keeps under the weight). A box on a mesh rests on the triangles' thin boxes,
// 0.005 higher, so the same tolerance holds for both.
TEST_F(MeshSimulation, SphereAndBoxComeToRestOnAGridAsOnAPlane) {
    MeshGround(Grid(40));
    Kco_ODE_BodyCollision* ball = Dropped(ODE_GeometryItem::kSphere, 0.3f, 3.0f, 0.2f);
    Kco_ODE_BodyCollision* box = Dropped(ODE_GeometryItem::kBox, -4.6f, 2.0f, 3.3f);
    float lowest = 10.0f;
    for (int frame = 0; frame < 300; ++frame) {
        Frame();
        lowest = std::fmin(lowest, std::fmin(Position(ball).y, Position(box).y));
    }
    EXPECT_GT(lowest, 0.3f);  // never through the grid
    EXPECT_NEAR(Position(ball).y, 0.5f, 0.02f);
    EXPECT_NEAR(Position(box).y, 0.5f, 0.02f);
    EXPECT_LT(Speed(ball), 0.05f);
    EXPECT_LT(Speed(box), 0.05f);
    // The box lies on a face: one of its axes stands upright.
    const D3DXMATRIX m = box->GetOldMatrix();
    EXPECT_GT(std::fmax(std::fabs(m.m[0][1]), std::fmax(std::fabs(m.m[1][1]), std::fabs(m.m[2][1]))), 0.99f);
}

// Boxes dropped turned every which way (apart, so that they never meet) land on an edge or a
// corner first and must still come to rest on a face at the plane's height (half the side
// standing up), without sliding or spinning: cubes of the quads' size, a small one whose
// corners share a triangle, and a long slab across many triangles.
TEST_F(MeshSimulation, BoxesDroppedAtAnyTurnRestOnAGridAsOnAPlane) {
    MeshGround(Grid(40));
    struct Drop {
        D3DXVECTOR3 turn;  // yaw, pitch, roll
        D3DXVECTOR3 size;
    };
    const D3DXVECTOR3 cube(1, 1, 1);
    const Drop drops[] = {{{0.5f, 0.35f, 0.0f}, cube},  {{0.0f, 0.3f, 0.0f}, cube},   {{0.0f, 0.0f, 0.6f}, cube},
                          {{0.785f, 0.615f, 0.0f}, cube}, {{1.1f, 0.2f, 0.9f}, cube}, {{2.5f, -0.7f, 0.4f}, cube},
                          {{0.3f, 0.05f, 0.02f}, cube}, {{-0.9f, 1.2f, -0.3f}, cube}, {{0.4f, 0.6f, 0.2f}, {0.3f, 0.3f, 0.3f}},
                          {{0.7f, 0.3f, -0.2f}, {2.5f, 0.5f, 1.2f}}};
    std::vector<Kco_ODE_BodyCollision*> boxes;
    for (size_t i = 0; i < std::size(drops); ++i) {
        Kco_ODE_BodyCollision* box = NewBody("box");
        ODE_GeometryItem item;
        item.kind = ODE_GeometryItem::kBox;
        item.size = drops[i].size;
        box->SetGeometryItem(item, 0);
        D3DXMATRIX start;
        D3DXMatrixRotationYawPitchRoll(&start, drops[i].turn.x, drops[i].turn.y, drops[i].turn.z);
        start._41 = -16.3f + 3.6f * float(i), start._42 = 2.0f, start._43 = 0.37f * float(i);
        StartAt(box, start);
        boxes.push_back(box);
    }
    for (int frame = 0; frame < 300; ++frame) Frame();
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Drop& drop = drops[i];
        SCOPED_TRACE(testing::Message() << "turn " << drop.turn.x << ", " << drop.turn.y << ", " << drop.turn.z);
        const D3DXMATRIX m = boxes[i]->GetOldMatrix();
        // The side standing up: the box axis (a row of the matrix) nearest to +Y or -Y.
        const float up[3] = {std::fabs(m._12), std::fabs(m._22), std::fabs(m._32)};
        const int k = int(std::max_element(up, up + 3) - up);
        EXPECT_GT(up[k], 0.99f);
        EXPECT_NEAR(m._42, 0.5f * (&drop.size.x)[k], 0.02f);
        EXPECT_LT(Speed(boxes[i]), 0.05f);
        const D3DXVECTOR3 spin = boxes[i]->GetAngularVelocityVector();
        EXPECT_LT(D3DXVec3Length(&spin), 0.05f);
    }
}

// A ramp falling 1 in 2 along +X from x = 0 (y = 5) to x = 10 (y = 0), 4 units wide, in
// 20 strips; past its foot there is nothing.
TEST_F(MeshSimulation, SphereRollsDownARampAndLeavesItAtTheBottom) {
    Mesh ramp;  // without indices
    for (int i = 0; i < 20; ++i) {
        const float x0 = 0.5f * float(i), x1 = x0 + 0.5f;
        const float y0 = 5.0f - 0.5f * x0, y1 = 5.0f - 0.5f * x1;
        ramp.positions.insert(ramp.positions.end(),
                              {{x0, y0, -2}, {x0, y0, 2}, {x1, y1, 2}, {x0, y0, -2}, {x1, y1, 2}, {x1, y1, -2}});
    }
    MeshGround(ramp);
    Kco_ODE_BodyCollision* ball = Dropped(ODE_GeometryItem::kSphere, 1.0f, 5.09f, 0.0f);  // just above it
    // Distance of the centre from the ramp's plane (normal (1, 2, 0) / sqrt 5).
    auto aboveRamp = [](const D3DXVECTOR3& p) { return (p.x + 2.0f * p.y - 10.0f) / std::sqrt(5.0f); };
    bool rolled = false;
    float previousX = 1.0f;
    for (int frame = 0; frame < 200; ++frame) {
        Frame();
        const D3DXVECTOR3 p = Position(ball);
        if (p.x > 0.5f && p.x < 9.5f) {
            EXPECT_GT(aboveRamp(p), 0.4f) << "frame " << frame;  // on it, never through it
            EXPECT_LT(aboveRamp(p), 0.7f) << "frame " << frame;  // and never flying off it
            rolled = rolled || (p.x > 5.0f && p.x > previousX);
        }
        previousX = p.x;
    }
    EXPECT_TRUE(rolled);
    const D3DXVECTOR3 end = Position(ball);
    EXPECT_GT(end.x, 10.0f);  // past the foot
    EXPECT_LT(end.y, -1.0f);  // and falling below it
}

// A platform raised by its object's matrix lifts the box lying on it.
TEST_F(MeshSimulation, BoxOnAMeshIsCarriedByItsObjectsMatrix) {
    Kco_DX8_ObjectChannel* platform = MeshGround(Grid(6));
    Kco_ODE_BodyCollision* box = Dropped(ODE_GeometryItem::kBox, 0.2f, 0.6f, 0.1f);
    for (int frame = 0; frame < 60; ++frame) Frame();
    ASSERT_NEAR(Position(box).y, 0.5f, 0.02f);
    for (int frame = 0; frame < 100; ++frame) {
        D3DXMATRIX lift;
        D3DXMatrixTranslation(&lift, 0.0f, 0.01f * float(frame + 1), 0.0f);
        platform->SetObjectMatrix(lift);
        Frame();
    }
    for (int frame = 0; frame < 40; ++frame) Frame();
    EXPECT_NEAR(Position(box).y, 1.5f, 0.03f);
    EXPECT_NEAR(Position(box).x, 0.2f, 0.05f);
    // Moving the object moves the mesh; only a change of the mesh builds its tree again.
    EXPECT_EQ(collision->GetBuildCount(), 1u);
    auto* data = static_cast<Kco_DX8_ObjectDataChannel*>(
        static_cast<Kco_DX8_SurfaceChannel*>(platform->GetSurface(0))->GetMesh());
    data->SetVertexPosition({-3.0f, 0.5f, -3.0f}, 0);
    Frame();
    EXPECT_EQ(collision->GetBuildCount(), 2u);
}

}  // namespace
