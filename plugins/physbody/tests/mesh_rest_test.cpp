// Spheres on the vertices and edges many triangles of a grid share. A contact that pushes
// harder than the sphere sinks gives energy from nowhere; these scenes show it as spheres
// that rise or never stop.
#include <algorithm>
#include <cmath>
#include <vector>

#include "mesh_scene.h"

namespace {

using MeshRest = MeshScene;

// Placed at rest where six, two or one triangles of the grid meet (split along x = z), a
// sphere must stay there: one surface pushes once, however many triangles describe it.
TEST_F(MeshRest, SpheresOnSharedVerticesAndEdgesOfAGridStayAtRest) {
    MeshGround(Grid(20));
    struct Place {
        const char* where;
        float x, z;
    };
    const Place places[] = {{"a vertex of six triangles", 0.0f, 0.0f},
                            {"another vertex", 3.0f, -4.0f},
                            {"an edge along x", -3.5f, 2.0f},
                            {"an edge along z", 5.0f, 5.5f},
                            {"the diagonal edge", -6.5f, -6.5f},
                            {"inside one triangle", 6.3f, -6.7f}};
    std::vector<Kco_ODE_BodyCollision*> balls;
    for (const Place& p : places) balls.push_back(Dropped(ODE_GeometryItem::kSphere, p.x, 0.5f, p.z));
    std::vector<float> highest(balls.size(), 0.0f), fastest(balls.size(), 0.0f);
    for (int frame = 0; frame < 300; ++frame) {  // 15 s
        Step();
        for (size_t i = 0; i < balls.size(); ++i) {
            highest[i] = std::fmax(highest[i], Position(balls[i]).y);
            if (frame >= 20) fastest[i] = std::fmax(fastest[i], Speed(balls[i]));
        }
    }
    for (size_t i = 0; i < balls.size(); ++i) {
        SCOPED_TRACE(places[i].where);
        EXPECT_LE(highest[i], 0.5f + 1e-4f);  // never lifted above where it was placed
        EXPECT_LT(fastest[i], 0.02f) << "after the first second";
        EXPECT_NEAR(Position(balls[i]).x, places[i].x, 0.01f);
        EXPECT_NEAR(Position(balls[i]).z, places[i].z, 0.01f);
    }
}

// Rolling at 3 m/s along a grid line, along a diagonal edge and across the triangles, a
// sphere keeps its height within 1% of its radius: crossing edges and vertices never
// kicks it up.
TEST_F(MeshRest, SphereRollingAcrossAGridKeepsItsHeightWithinOnePercentOfItsRadius) {
    MeshGround(Grid(40));
    struct Roll {
        const char* how;
        D3DXVECTOR3 from, velocity;
    };
    const Roll rolls[] = {{"along a grid line", {-15.0f, 0.5f, -10.0f}, {3.0f, 0.0f, 0.0f}},
                          {"along the diagonal edges", {-15.0f, 0.5f, -15.0f}, {2.12f, 0.0f, 2.12f}},
                          {"across the triangles", {-15.0f, 0.5f, 10.3f}, {2.9f, 0.0f, -0.77f}}};
    std::vector<Kco_ODE_BodyCollision*> balls;
    for (const Roll& r : rolls) {
        balls.push_back(Dropped(ODE_GeometryItem::kSphere, r.from.x, r.from.y, r.from.z));
        balls.back()->GetGeometryItem(0)->bounceEnabled = 0;
    }
    for (int frame = 0; frame < 20; ++frame) Step();  // settled into its soft contact
    for (size_t i = 0; i < balls.size(); ++i) {
        const D3DXVECTOR3& v = rolls[i].velocity;
        dBodySetLinearVel(balls[i]->GetBodyID(), v.x, v.y, v.z);
    }
    std::vector<float> low(balls.size(), 1.0f), high(balls.size(), 0.0f);
    for (int frame = 0; frame < 160; ++frame) {  // 8 s, some 20 units
        Step();
        for (size_t i = 0; i < balls.size(); ++i) {
            low[i] = std::fmin(low[i], Position(balls[i]).y);
            high[i] = std::fmax(high[i], Position(balls[i]).y);
        }
    }
    for (size_t i = 0; i < balls.size(); ++i) {
        SCOPED_TRACE(rolls[i].how);
        EXPECT_LT(high[i] - low[i], 0.005f);
        EXPECT_GT(Position(balls[i]).x, -5.0f);  // it did roll
    }
}

}  // namespace
