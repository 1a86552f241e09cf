// Scenes on triangle meshes for physics tests: grids and other meshes as a 3D object's
// data, collided with through a collision object by a static body, and bodies dropped
// onto them.
#pragma once

#include <cmath>
#include <vector>

#include <os/tick_count.h>

#include "physics_scene.h"
#include "plugin_frame/siblings/collision_object.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/siblings/surface_channel.h"

namespace {

// A mesh as object data would hold it: positions, and 16-bit indices (none: every three
// positions make a triangle).
struct Mesh {
    std::vector<D3DXVECTOR3> positions;
    std::vector<uint16_t> indices;
};

// n x n unit quads centred on the origin, two triangles each, facing +Y; each vertex at the
// height `height` gives for its x and z.
template <typename Height>
Mesh HeightGrid(int n, Height height) {
    Mesh mesh;
    const float h = float(n) * 0.5f;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) {
            const float x = float(i) - h, z = float(j) - h;
            mesh.positions.push_back({x, height(x, z), z});
        }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const auto corner = [&](int di, int dj) { return uint16_t((i + di) * (n + 1) + j + dj); };
            mesh.indices.insert(mesh.indices.end(),
                                {corner(0, 0), corner(0, 1), corner(1, 1), corner(0, 0), corner(1, 1), corner(1, 0)});
        }
    return mesh;
}

// The flat grid at height 0.
inline Mesh Grid(int n) {
    return HeightGrid(n, [](float, float) { return 0.0f; });
}

class MeshScene : public PhysicsScene {
protected:
    // The rest rule's clock runs 50 ms a frame, the world's step.
    MeshScene() {
        os::SetTickCountSourceForTesting([this] { return clock; });
    }
    ~MeshScene() override { os::SetTickCountSourceForTesting({}); }
    void Step() {
        clock += 50;
        Frame();
    }
    uint32_t clock = 1000;

    // A 3D object with one surface holding `mesh`, and a static body colliding with it
    // through a collision object. Returns the object, which places the mesh.
    Kco_DX8_ObjectChannel* MeshGround(const Mesh& mesh) {
        auto* data = Create<Kco_DX8_ObjectDataChannel>(type_guids::kObjectDataChannel, "ground mesh");
        data->SetPolygonType(kPolygonTriangleList);
        data->SetVertexCount(int(mesh.positions.size()));
        for (size_t i = 0; i < mesh.positions.size(); ++i) data->SetVertexPosition(mesh.positions[i], int(i));
        data->SetIndexCount(int(mesh.indices.size()));
        for (size_t i = 0; i < mesh.indices.size(); ++i) data->SetIndex(mesh.indices[i], int(i));
        auto* surface = Create<Kel_Channel>(type_guids::kSurfaceChannel, "surface");
        EXPECT_TRUE(surface->LinkChild(data, 0));
        auto* object = Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel, "ground");
        EXPECT_TRUE(object->LinkChild(surface, 0));
        collision = Create<Kco_DX8_CollisionObject>(type_guids::kCollisionObject, "collision");
        EXPECT_TRUE(collision->LinkChild(object, 0));

        Kco_ODE_BodyCollision* body = NewBody("mesh ground");
        ODE_GeometryItem item;
        item.kind = ODE_GeometryItem::kCollisionObject;
        body->SetGeometryItem(item, 0);
        EXPECT_TRUE(body->LinkChild(collision, 2));
        EXPECT_EQ(collision->GetPolygonCount(),
                  (mesh.indices.empty() ? mesh.positions.size() : mesh.indices.size()) / 3);
        return object;
    }

    template <typename T>
    T* Create(const GUID& type, const char* name) {
        auto* channel = static_cast<T*>(engine.CreateChannelInGroup(type, *group, name));
        EXPECT_NE(channel, nullptr) << name;
        return channel;
    }

    Kco_DX8_CollisionObject* collision = nullptr;

    Kco_ODE_BodyCollision* Dropped(uint8_t kind, float x, float y, float z) {
        Kco_ODE_BodyCollision* body = NewBody(kind == ODE_GeometryItem::kBox ? "box" : "ball");
        ODE_GeometryItem item;
        item.kind = kind;
        item.radius = 0.5f;
        body->SetGeometryItem(item, 0);
        StartAt(body, x, y, z);
        return body;
    }
};

inline D3DXVECTOR3 Position(Kco_ODE_BodyCollision* body) {
    const D3DXMATRIX m = body->GetOldMatrix();
    return {m.m[3][0], m.m[3][1], m.m[3][2]};
}

inline float Speed(Kco_ODE_BodyCollision* body) {
    const D3DXVECTOR3 v = body->GetLinearVelocityVector();
    return D3DXVec3Length(&v);
}

}  // namespace
