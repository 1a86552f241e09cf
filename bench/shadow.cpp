// The stencil shadow object's two costly steps, each against a baseline in the same run:
// - welding 65,535 vertices through the spatial hash against the quadratic weld;
// - one shadow volume construction for a closed 65,534-triangle torus (32,767 vertices)
//   against a plain loop that only computes each triangle's plane test n·L + d and counts
//   the lit ones; once on the geometry alone, once through the plug-in's
//   CreateShadowVolume, which also writes the extruded slots and the indices into the
//   device's buffers (and the device copies the locked buffers into GL on Unlock).
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstring>
#include <vector>

#include <d3d8/d3d8.h>

#include "engine_host.h"
#include "frame_renderer.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/type_guids.h"
#include "swshadow/shadow_geometry.h"
#include "swshadow/software_stencil_shadow_object.h"
#include "test_meshes.h"

namespace {

using swshadow::ShadowGeometry;

// Thread CPU time: the machines these run on are shared, and a ratio of wall times would
// measure the neighbours.
struct clock_type {
    static double now() {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }
};

double Seconds(double a, double b) { return b - a; }

// 65,535 vertices, either as an exporter writes a triangle soup (21,845 torus triangles
// with three corners of their own, so most corners weld to one of six copies) or as an
// indexed mesh whose vertices are all distinct (a 257 × 255 torus), where the quadratic
// weld compares every vertex with every earlier one.
std::vector<D3DXVECTOR3> WeldInput(bool soup) {
    if (!soup) return test_meshes::Torus(257, 255, 3.0f, 1.0f).positions;
    const test_meshes::Mesh torus = test_meshes::Torus(181, 61, 3.0f, 1.0f);
    std::vector<D3DXVECTOR3> points;
    for (size_t i = 0; i < 65535; ++i) points.push_back(torus.positions[torus.indices[i]]);
    return points;
}

void BM_Weld(benchmark::State& state) {
    const std::vector<D3DXVECTOR3> soup = WeldInput(state.range(0) == 0);
    const int n = int(soup.size());
    std::vector<D3DXVECTOR3> outFast(soup.size()), outSlow(soup.size());
    std::vector<int> mapFast(soup.size()), mapSlow(soup.size());
    double fast = 0.0, slow = 0.0;
    int welded = 0;
    for (auto _ : state) {
        auto t0 = clock_type::now();
        welded = swshadow::WeldSpatial(soup.data(), n, outFast.data(), mapFast.data());
        auto t1 = clock_type::now();
        const int reference = swshadow::WeldQuadratic(soup.data(), n, outSlow.data(), mapSlow.data());
        auto t2 = clock_type::now();
        if (welded != reference || mapFast != mapSlow) {
            state.SkipWithError("the spatial weld differs from the quadratic weld");
            break;
        }
        fast += Seconds(t0, t1);
        slow += Seconds(t1, t2);
    }
    const double iterations = double(state.iterations());
    state.counters["vertices"] = n;
    state.counters["welded"] = welded;
    state.counters["spatial_ms"] = fast / iterations * 1e3;
    state.counters["quadratic_ms"] = slow / iterations * 1e3;
    state.counters["ratio_quadratic_to_spatial"] = slow / fast;
}
// Arg 0: triangle soup; 1: distinct vertices.
BENCHMARK(BM_Weld)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

// The baseline: the plane test of every triangle and a count of the lit ones.
int CountLit(const ShadowGeometry& g, const D3DXVECTOR3& light) {
    int lit = 0;
    for (int t = 0; t < g.triangleCount; ++t) {
        const swshadow::ShadowTriangle& tri = g.triangles[size_t(t)];
        lit += tri.normal.x * light.x + tri.normal.y * light.y + tri.normal.z * light.z + tri.d >= 0.0f;
    }
    return lit;
}

void BuildTorus(ShadowGeometry& g) {
    const test_meshes::Mesh torus = test_meshes::Torus(217, 151, 3.0f, 1.0f);  // 32,767 vertices
    const int n = int(torus.positions.size()), m = int(torus.indices.size());
    g.Allocate(n, m);
    std::vector<D3DXVECTOR3> welded(torus.positions.size());
    std::vector<int> map(torus.positions.size());
    const int count = swshadow::WeldSpatial(torus.positions.data(), n, welded.data(), map.data());
    std::vector<uint16_t> indices(torus.indices.size());
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = uint16_t(map[torus.indices[i]]);
    g.vertexCount = 0;
    g.AppendSurface(welded.data(), count, indices.data(), m, 0);
    g.FinishBuild();
}

void BM_VolumeConstruction(benchmark::State& state) {
    const bool caps = state.range(0) != 0;
    ShadowGeometry g;
    BuildTorus(g);
    if (!g.HasGeometry() || g.triangleCount != 65534) {
        state.SkipWithError("the torus did not build");
        return;
    }
    // Three lights, so that alternating the order still gives each light both orders.
    const D3DXVECTOR3 lights[] = {{2.0f, 6.0f, 1.0f}, {-8.0f, 3.0f, 2.0f}, {0.5f, -5.0f, -7.0f}};
    double build = 0.0, plain = 0.0;
    long lit = 0, indices = 0;
    int which = 0;
    for (auto _ : state) {
        const D3DXVECTOR3& light = lights[which % 3];
        // Both read the triangles; whichever runs second finds them in the cache, so the
        // order alternates.
        const bool constructionFirst = which++ % 2 == 0;
        int count = 0;
        double t0 = clock_type::now(), t1 = 0.0;
        if (constructionFirst) {
            g.Construct(light, 10.0f, caps, false);
            t1 = clock_type::now();
            count = CountLit(g, light);
        } else {
            count = CountLit(g, light);
            t1 = clock_type::now();
            g.Construct(light, 10.0f, caps, false);
        }
        const double t2 = clock_type::now();
        benchmark::DoNotOptimize(count);
        benchmark::DoNotOptimize(g.volumeIndices.data());
        lit += count;
        indices += g.volumeIndexCount;
        build += constructionFirst ? Seconds(t0, t1) : Seconds(t1, t2);
        plain += constructionFirst ? Seconds(t1, t2) : Seconds(t0, t1);
    }
    const double iterations = double(state.iterations());
    state.counters["triangles"] = g.triangleCount;
    state.counters["lit_per_light"] = double(lit) / iterations;
    state.counters["indices_per_light"] = double(indices) / iterations;
    state.counters["construction_us"] = build / iterations * 1e6;
    state.counters["plane_loop_us"] = plain / iterations * 1e6;
    state.counters["ratio_construction_to_plane_loop"] = build / plain;
}
BENCHMARK(BM_VolumeConstruction)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_CreateShadowVolume(benchmark::State& state) {
    const bool caps = state.range(0) != 0;
    EngineHost host(CHANNELS_DIR);
    IDirect3DDevice8* device = scene::SceneDevice(host.Engine());
    if (!device || !device->HasGL()) {
        state.SkipWithError("no off-screen GL context");
        return;
    }
    const test_meshes::Mesh torus = test_meshes::Torus(217, 151, 3.0f, 1.0f);
    auto* mesh = host.Create<Kco_DX8_ObjectDataChannel>(type_guids::kObjectDataChannel);
    mesh->SetVertexCount(int(torus.positions.size()));
    for (size_t i = 0; i < torus.positions.size(); ++i) mesh->SetVertexPosition(torus.positions[i], int(i));
    mesh->SetIndexCount(int(torus.indices.size()));
    for (size_t i = 0; i < torus.indices.size(); ++i) mesh->SetIndex(torus.indices[i], int(i));
    auto* object = host.Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel);
    Kel_Channel* surface = host.Create(type_guids::kSurfaceChannel);
    auto* shadow = host.Create<Kco_DX8_SoftwareStencilShadowObject>(type_guids::kSoftwareStencilShadow);
    if (!host.Link(surface, mesh, 0) || !host.Link(object, surface, 0) || !host.Link(shadow, object, 0)) {
        state.SkipWithError("the scene did not link");
        return;
    }
    const D3DXVECTOR3 lights[] = {{2.0f, 6.0f, 1.0f}, {-8.0f, 3.0f, 2.0f}, {0.5f, -5.0f, -7.0f}};
    shadow->CreateShadowVolume(lights[0], 10.0f, caps);  // the one-time build
    const swshadow::ShadowGeometry& g = shadow->Geometry();
    if (!g.HasGeometry() || g.triangleCount != 65534) {
        state.SkipWithError("the torus did not build");
        return;
    }
    double build = 0.0, plain = 0.0;
    int which = 0;
    for (auto _ : state) {
        const D3DXVECTOR3& light = lights[which++ % 3];
        const double t0 = clock_type::now();
        shadow->CreateShadowVolume(light, 10.0f, caps);
        const double t1 = clock_type::now();
        benchmark::DoNotOptimize(CountLit(g, light));
        const double t2 = clock_type::now();
        build += Seconds(t0, t1);
        plain += Seconds(t1, t2);
    }
    const double iterations = double(state.iterations());
    state.counters["create_shadow_volume_us"] = build / iterations * 1e6;
    state.counters["plane_loop_us"] = plain / iterations * 1e6;
    state.counters["ratio_create_shadow_volume_to_plane_loop"] = build / plain;
}
BENCHMARK(BM_CreateShadowVolume)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
