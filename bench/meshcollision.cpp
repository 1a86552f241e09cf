// 400 dynamic spheres dropped onto a 3,200-triangle ground (40 x 40 unit quads), one frame
// per iteration: through the world and body plug-ins, the ground a 3D object with a
// collision object, against the same scene written directly against ODE with its own
// triangle mesh (dCreateTriMesh). Same geometry transforms, contact surfaces and 0.05 s
// step; both advance in lockstep.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <vector>

#include <vecmath/d3dx_math.h>

#include "direct_ode_scene.h"
#include "engine_host.h"
#include "physbody/ode_body.h"
#include "physworld/ode_world.h"
#include "plugin_frame/siblings/collision_object.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/type_guids.h"

namespace {

constexpr int kSpheres = 400;
constexpr int kRow = 20;
constexpr int kQuads = 40;

void SpherePosition(int i, float& x, float& y, float& z) {
    x = float(i % kRow) * 1.7f - 16.0f;
    z = float(i / kRow) * 1.7f - 16.0f;
    y = 1.0f + 0.3f * float(i % 5);
}

struct Grid {
    std::vector<D3DXVECTOR3> positions;
    std::vector<uint16_t> indices;
    Grid() {
        const float h = kQuads * 0.5f;
        for (int i = 0; i <= kQuads; ++i)
            for (int j = 0; j <= kQuads; ++j) positions.push_back({float(i) - h, 0.0f, float(j) - h});
        for (int i = 0; i < kQuads; ++i)
            for (int j = 0; j < kQuads; ++j) {
                const auto at = [&](int di, int dj) { return uint16_t((i + di) * (kQuads + 1) + j + dj); };
                indices.insert(indices.end(), {at(0, 0), at(0, 1), at(1, 1), at(0, 0), at(1, 1), at(1, 0)});
            }
    }
};

struct PluginScene {
    EngineHost host{CHANNELS_DIR};
    Kco_ODE_BodyCollision* ground = nullptr;
    std::vector<Kco_ODE_BodyCollision*> balls;

    explicit PluginScene(const Grid& grid) {
        auto* world = static_cast<Kco_ODE_World*>(host.Engine().GetUniqueChannel(type_guids::kPhysicsWorld, nullptr));
        world->OneTimeInitialize();
        auto* data = host.Create<Kco_DX8_ObjectDataChannel>(type_guids::kObjectDataChannel, "ground mesh");
        data->SetVertexCount(int(grid.positions.size()));
        for (size_t i = 0; i < grid.positions.size(); ++i) data->SetVertexPosition(grid.positions[i], int(i));
        data->SetIndexCount(int(grid.indices.size()));
        for (size_t i = 0; i < grid.indices.size(); ++i) data->SetIndex(grid.indices[i], int(i));
        auto* surface = host.Create(type_guids::kSurfaceChannel, "surface");
        host.Link(surface, data, 0);
        auto* object = host.Create(type_guids::kObjectChannel, "ground");
        host.Link(object, surface, 0);
        auto* collision = host.Create(type_guids::kCollisionObject, "collision");
        host.Link(collision, object, 0);
        ground = host.Create<Kco_ODE_BodyCollision>(type_guids::kPhysicsBody, "ground");
        ODE_GeometryItem item;
        item.kind = ODE_GeometryItem::kCollisionObject;
        ground->SetGeometryItem(item, 0);
        host.Link(ground, collision, 2);
        for (int i = 0; i < kSpheres; ++i) {
            auto* body = host.Create<Kco_ODE_BodyCollision>(type_guids::kPhysicsBody, "ball");
            item.kind = ODE_GeometryItem::kSphere;
            item.radius = 0.5f;
            body->SetGeometryItem(item, 0);
            auto* start = host.Create<Kco_MatrixChannel>(type_guids::kMatrixChannel, "start");
            float x, y, z;
            SpherePosition(i, x, y, z);
            D3DXMATRIX m;
            D3DXMatrixTranslation(&m, x, y, z);
            start->SetMatrix(m);
            host.Link(body, start, 0);
            balls.push_back(body);
        }
    }
    // The world steps on the frame's event; then every body's matrix is read, as a renderer
    // would. The ground's object data is not drawn: this measures the physics alone.
    void Frame() {
        host.Engine().BeginFrame(1.0f);
        ground->GetMatrix();
        for (Kco_ODE_BodyCollision* ball : balls) ball->GetMatrix();
    }

    double MeanHeight() const {
        double sum = 0.0;
        for (Kco_ODE_BodyCollision* ball : balls) sum += ball->GetOldMatrix()._42;
        return sum / kSpheres;
    }

    // FNV-1a over every ball's final matrix, 48 bits (exact in a double): a change of the
    // colliders' speed must leave it as it was, bit for bit.
    double MatrixHash() const {
        uint64_t h = 14695981039346656037ull;
        for (Kco_ODE_BodyCollision* ball : balls) {
            const D3DXMATRIX m = ball->GetOldMatrix();
            const auto* bytes = reinterpret_cast<const uint8_t*>(&m);
            for (size_t i = 0; i < sizeof m; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
        }
        return double(h >> 16);
    }
};

// What a program using ODE alone would do for the same result.
struct DirectScene : DirectOdeScene {
    dTriMeshDataID meshData;
    std::vector<float> vertices;
    std::vector<int> indices;

    explicit DirectScene(const Grid& grid) {
        world = dWorldCreate();
        space = dHashSpaceCreate(nullptr);
        contacts = dJointGroupCreate(0);
        dWorldSetGravity(world, 0.0, -9.81, 0.0);
        dWorldSetCFM(world, 0.00001);
        for (const D3DXVECTOR3& p : grid.positions) vertices.insert(vertices.end(), {p.x, p.y, p.z});
        indices.assign(grid.indices.begin(), grid.indices.end());
        meshData = dGeomTriMeshDataCreate();
        dGeomTriMeshDataBuildSingle(meshData, vertices.data(), 3 * sizeof(float), int(grid.positions.size()),
                                    indices.data(), int(indices.size()), 3 * sizeof(int));
        dGeomSetData(dCreateTriMesh(space, meshData, nullptr, nullptr, nullptr), &surface);
        for (int i = 0; i < kSpheres; ++i) {
            dBodyID body = dBodyCreate(world);
            float x, y, z;
            SpherePosition(i, x, y, z);
            dBodySetPosition(body, x, y, z);
            dGeomID transform = dCreateGeomTransform(space);
            dGeomSetData(transform, &surface);
            dGeomTransformSetCleanup(transform, 1);
            dGeomTransformSetInfo(transform, 1);
            dGeomTransformSetGeom(transform, dCreateSphere(nullptr, 0.5));
            dMass mass;
            dMassSetSphere(&mass, 1.0, 0.5);
            dMassAdjust(&mass, 5.0);
            dGeomSetBody(transform, body);
            dBodySetMass(body, &mass);
            bodies.push_back(body);
        }
    }
    ~DirectScene() {
        dJointGroupDestroy(contacts);
        dSpaceDestroy(space);
        dGeomTriMeshDataDestroy(meshData);
        dWorldDestroy(world);
    }

    double MeanHeight() const {
        double sum = 0.0;
        for (const D3DXMATRIX& m : matrices) sum += m._42;
        return sum / kSpheres;
    }
};

// CPU time of this thread: on a machine shared with other work, wall time mostly measures
// the others.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_FourHundredSpheresOnAMesh(benchmark::State& state) {
    const Grid grid;
    PluginScene plugins(grid);  // initialises ODE before the direct scene uses it
    DirectScene direct(grid);
    double pluginSeconds = 0.0, directSeconds = 0.0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        plugins.Frame();
        const double t1 = ThreadSeconds();
        direct.Frame();
        benchmark::ClobberMemory();
        const double t2 = ThreadSeconds();
        pluginSeconds += t1 - t0;
        directSeconds += t2 - t1;
    }
    state.counters["plugins_cpu_us_per_frame"] = pluginSeconds / double(state.iterations()) * 1e6;
    state.counters["direct_cpu_us_per_frame"] = directSeconds / double(state.iterations()) * 1e6;
    state.counters["ratio_plugins_to_direct"] = pluginSeconds / directSeconds;
    // Both scenes must have simulated the same thing: the spheres resting, about 0.5 high.
    state.counters["plugins_mean_height"] = plugins.MeanHeight();
    state.counters["plugins_matrix_hash"] = plugins.MatrixHash();
    state.counters["direct_mean_height"] = direct.MeanHeight();
}
BENCHMARK(BM_FourHundredSpheresOnAMesh)->Unit(benchmark::kMicrosecond)->Iterations(300);

// The same scene with every sphere thrown down at 25 m/s: half a metre or more a step, so
// each is swept against the mesh until it lands (the cost of the swept test). ODE's own
// mesh lets many through; the counters say how many of each scene ended below the ground.
void BM_FourHundredFastSpheresOnAMesh(benchmark::State& state) {
    const Grid grid;
    PluginScene plugins(grid);
    DirectScene direct(grid);
    plugins.Frame();  // built where they start
    for (Kco_ODE_BodyCollision* ball : plugins.balls) dBodySetLinearVel(ball->GetBodyID(), 0.0, -25.0, 0.0);
    for (dBodyID body : direct.bodies) dBodySetLinearVel(body, 0.0, -25.0, 0.0);
    double pluginSeconds = 0.0, directSeconds = 0.0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        plugins.Frame();
        const double t1 = ThreadSeconds();
        direct.Frame();
        benchmark::ClobberMemory();
        const double t2 = ThreadSeconds();
        pluginSeconds += t1 - t0;
        directSeconds += t2 - t1;
    }
    state.counters["plugins_cpu_us_per_frame"] = pluginSeconds / double(state.iterations()) * 1e6;
    state.counters["direct_cpu_us_per_frame"] = directSeconds / double(state.iterations()) * 1e6;
    state.counters["ratio_plugins_to_direct"] = pluginSeconds / directSeconds;
    int pluginsThrough = 0, directThrough = 0;
    for (Kco_ODE_BodyCollision* ball : plugins.balls) pluginsThrough += ball->GetOldMatrix()._42 < 0.0f;
    for (const D3DXMATRIX& m : direct.matrices) directThrough += m._42 < 0.0f;
    state.counters["plugins_through"] = pluginsThrough;
    state.counters["direct_through"] = directThrough;
}
BENCHMARK(BM_FourHundredFastSpheresOnAMesh)->Unit(benchmark::kMicrosecond)->Iterations(60);

}  // namespace

BENCHMARK_MAIN();
