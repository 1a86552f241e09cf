// A fixed scene stepped for 400 frames must end with every body's matrix exactly as it did
// when the hash below was recorded: the cheapest guard against a silent change of
// trajectories. A change meant to move bodies (a contact rule, a solver setting) records
// the new hash here, in the same commit, saying why.
#include <cstdint>
#include <cstdio>

#include "mesh_scene.h"

namespace {

// What this scene gave when last recorded (every meeting point of a box with a triangle
// below its plane, one push per surface for spheres, contacts ahead of fast bodies).
constexpr uint64_t kRecordedHash = 0x9c8c6d40ff9a5d45ull;

// FNV-1a over the bytes of every body's matrix, in the order the bodies were made.
uint64_t MatrixHash(const std::vector<Kco_ODE_BodyCollision*>& bodies) {
    uint64_t h = 14695981039346656037ull;
    for (Kco_ODE_BodyCollision* body : bodies) {
        const D3DXMATRIX m = body->GetOldMatrix();
        const auto* bytes = reinterpret_cast<const uint8_t*>(&m);
        for (size_t i = 0; i < sizeof m; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
    }
    return h;
}

using GoldenTrajectory = MeshScene;

// Boxes and spheres of several sizes dropped turned onto an uneven mesh, which slopes off
// onto a plane 1 below it, where others land directly; some roll and slide between them.
TEST_F(GoldenTrajectory, FixedSceneEndsWithTheRecordedMatrices) {
    D3DXMATRIX below;
    D3DXMatrixTranslation(&below, 0.0f, -1.0f, 0.0f);
    Ground(&below);
    MeshGround(HeightGrid(12, [](float x, float z) { return 0.15f * std::sin(1.3f * x) * std::cos(0.9f * z) - 0.05f * x; }));
    for (int i = 0; i < 16; ++i) {
        Kco_ODE_BodyCollision* body = NewBody("body");
        ODE_GeometryItem item;
        item.kind = i % 3 == 2 ? ODE_GeometryItem::kSphere : ODE_GeometryItem::kBox;
        item.radius = 0.2f + 0.05f * float(i % 4);
        item.size = {0.3f + 0.1f * float(i % 5), 0.4f, 0.5f + 0.2f * float(i % 2)};
        body->SetGeometryItem(item, 0);
        body->SetIfDynamicDisableForces(i % 2 == 0);
        D3DXMATRIX start;
        D3DXMatrixRotationYawPitchRoll(&start, 0.4f * float(i), 0.3f * float(i % 4), 0.2f * float(i % 3));
        start._41 = -5.0f + 1.4f * float(i % 8), start._42 = 1.0f + 0.3f * float(i), start._43 = i < 8 ? -2.0f : 9.0f;
        StartAt(body, start);
    }
    for (int frame = 0; frame < 400; ++frame) Step();
    std::vector<Kco_ODE_BodyCollision*> moving(bodies.begin() + 2, bodies.end());
    const uint64_t hash = MatrixHash(moving);
    EXPECT_EQ(hash, kRecordedHash) << "the scene now ends with hash 0x" << std::hex << hash
                                   << "; if the change was meant, record it above";
}

}  // namespace
