// 500 dynamic boxes dropped onto a plane, one frame per iteration: the world and body
// plug-ins driven by engine frames, against the same scene written directly against ODE
// (same geometry transforms, same contact surfaces, same 0.05 s step). Both scenes start
// alike and advance in lockstep, so they settle the same way.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include <vecmath/d3dx_math.h>

#include "direct_ode_scene.h"
#include "engine_host.h"
#include "physbody/ode_body.h"
#include "physworld/ode_world.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/type_guids.h"

namespace {

constexpr int kBoxes = 500;
constexpr int kRow = 25;

void BoxPosition(int i, float& x, float& y, float& z) {
    x = float(i % kRow) * 1.5f - 18.0f;
    z = float(i / kRow) * 1.5f - 15.0f;
    y = 0.6f + 0.1f * float(i % 3);
}

struct PluginScene {
    EngineHost host{CHANNELS_DIR};
    Kco_ODE_World* world = nullptr;

    PluginScene() {
        world = static_cast<Kco_ODE_World*>(host.Engine().GetUniqueChannel(type_guids::kPhysicsWorld, nullptr));
        world->OneTimeInitialize();
        auto* ground = host.Create<Kco_ODE_BodyCollision>(type_guids::kPhysicsBody, "ground");
        ODE_GeometryItem plane;
        plane.kind = ODE_GeometryItem::kPlane;
        ground->SetGeometryItem(plane, 0);
        for (int i = 0; i < kBoxes; ++i) {
            auto* body = host.Create<Kco_ODE_BodyCollision>(type_guids::kPhysicsBody, "box");
            auto* start = host.Create<Kco_MatrixChannel>(type_guids::kMatrixChannel, "start");
            float x, y, z;
            BoxPosition(i, x, y, z);
            D3DXMATRIX m;
            D3DXMatrixTranslation(&m, x, y, z);
            start->SetMatrix(m);
            host.Link(body, start, 0);
        }
    }
    // The world steps on the frame's event; every channel of the group is then called,
    // so each body reads its matrix once.
    void Frame() { host.Step(1.0f); }
};

// The hand-written scene: what a program using ODE alone would do for the same result.
struct DirectScene : DirectOdeScene {

    DirectScene() {
        world = dWorldCreate();
        space = dHashSpaceCreate(nullptr);
        contacts = dJointGroupCreate(0);
        dWorldSetGravity(world, 0.0, -9.81, 0.0);
        dWorldSetCFM(world, 0.00001);
        dGeomSetData(dCreatePlane(space, 0, 1, 0, 0), &surface);
        for (int i = 0; i < kBoxes; ++i) {
            dBodyID body = dBodyCreate(world);
            float x, y, z;
            BoxPosition(i, x, y, z);
            dBodySetPosition(body, x, y, z);
            dGeomID transform = dCreateGeomTransform(space);
            dGeomSetData(transform, &surface);
            dGeomTransformSetCleanup(transform, 1);
            dGeomTransformSetInfo(transform, 1);
            dGeomID box = dCreateBox(nullptr, 1, 1, 1);
            dGeomTransformSetGeom(transform, box);
            dMass mass;
            dMassSetBox(&mass, 1.0, 1, 1, 1);
            dMassAdjust(&mass, 5.0);
            dGeomSetBody(transform, body);
            dBodySetMass(body, &mass);
            bodies.push_back(body);
        }
    }
    ~DirectScene() {
        dJointGroupDestroy(contacts);
        dSpaceDestroy(space);
        dWorldDestroy(world);
    }

};

void BM_FiveHundredBoxesOnAPlane(benchmark::State& state) {
    PluginScene plugins;  // initialises ODE before the direct scene uses it
    DirectScene direct;
    using clock = std::chrono::steady_clock;
    double pluginSeconds = 0.0, directSeconds = 0.0;
    for (auto _ : state) {
        auto t0 = clock::now();
        plugins.Frame();
        auto t1 = clock::now();
        direct.Frame();
        benchmark::ClobberMemory();
        auto t2 = clock::now();
        pluginSeconds += std::chrono::duration<double>(t1 - t0).count();
        directSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["plugins_us_per_frame"] = pluginSeconds / double(state.iterations()) * 1e6;
    state.counters["direct_us_per_frame"] = directSeconds / double(state.iterations()) * 1e6;
    state.counters["ratio_plugins_to_direct"] = pluginSeconds / directSeconds;
    // Both scenes must have simulated the same thing: the boxes' mean height, about 0.5.
    double pluginHeight = 0.0, directHeight = 0.0;
    for (int i = 0; i < plugins.host.Group().GetChannelCount(); ++i) {
        Kel_Channel* channel = plugins.host.Group().GetChannel(i);
        if (channel->IsOfType(type_guids::kPhysicsBody) && channel != plugins.host.Group().GetChannel(0))
            pluginHeight += static_cast<Kco_ODE_BodyCollision*>(channel)->GetOldMatrix()._42;
    }
    for (const D3DXMATRIX& m : direct.matrices) directHeight += m._42;
    state.counters["plugins_mean_height"] = pluginHeight / kBoxes;
    state.counters["direct_mean_height"] = directHeight / kBoxes;
}
BENCHMARK(BM_FiveHundredBoxesOnAPlane)->Unit(benchmark::kMicrosecond)->Iterations(400);

}  // namespace

BENCHMARK_MAIN();
