// Weld, edge table and volume construction on plain arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "geometry_build.h"
#include "swshadow/shadow_geometry.h"
#include "test_meshes.h"

using namespace swshadow;

namespace {

struct WeldResult {
    int count;
    std::vector<int> map;
    std::vector<D3DXVECTOR3> out;
};

template <typename Weld>
WeldResult RunWeld(const std::vector<D3DXVECTOR3>& points, Weld weld) {
    WeldResult r{0, std::vector<int>(points.size()), std::vector<D3DXVECTOR3>(points.size())};
    r.count = weld(points.data(), int(points.size()), r.out.data(), r.map.data());
    r.out.resize(size_t(r.count));
    return r;
}

void ExpectSameWeld(const std::vector<D3DXVECTOR3>& points, const char* what) {
    const WeldResult slow = RunWeld(points, WeldQuadratic);
    const WeldResult fast = RunWeld(points, WeldSpatial);
    ASSERT_EQ(fast.count, slow.count) << what;
    ASSERT_EQ(fast.map, slow.map) << what;
    // Bit for bit, so -0.0 and NaN positions count too.
    ASSERT_EQ(0, std::memcmp(fast.out.data(), slow.out.data(), slow.out.size() * sizeof(D3DXVECTOR3))) << what;
}

std::vector<std::pair<int, int>> Silhouette(const ShadowGeometry& g) {
    std::vector<std::pair<int, int>> edges;
    for (int i = 0; i < g.silhouetteCount; i += 2) edges.emplace_back(g.silhouetteEdges[size_t(i)], g.silhouetteEdges[size_t(i) + 1]);
    return edges;
}

// The silhouette as the records say it: every edge stamped with the current construction.
std::vector<std::pair<int, int>> SilhouetteFromRecords(const ShadowGeometry& g) {
    std::vector<std::pair<int, int>> edges;
    for (int v = 0; v < g.edgeTable.GetItemCount(); ++v) {
        auto* r = static_cast<const EdgeRecord*>(g.edgeTable.GetItem(v));
        if (!r) continue;
        for (int k = 0; k < r->neighbourCount; ++k)
            if (r->stamps[k] == g.buildStamp)
                edges.emplace_back(r->flags[k] ? r->neighbours[k] : v, r->flags[k] ? v : r->neighbours[k]);
    }
    return edges;
}

}  // namespace

TEST(ShadowWeld, SpatialHashMatchesTheQuadraticWeld) {
    std::mt19937 rng(1234);
    auto jitter = [&](float scale) { return std::uniform_real_distribution<float>(-scale, scale)(rng); };
    const float kTol = 0.001f;

    for (int round = 0; round < 40; ++round) {
        std::vector<D3DXVECTOR3> p;
        const int n = 200 + round * 37;
        switch (round % 8) {
        case 0:  // scattered
            for (int i = 0; i < n; ++i) p.emplace_back(jitter(1.0f), jitter(1.0f), jitter(1.0f));
            break;
        case 1:  // grid at the tolerance, each point nudged by less than one step
            for (int i = 0; i < n; ++i)
                p.emplace_back(float(rng() % 7) * kTol + jitter(kTol * 0.2f), float(rng() % 5) * kTol,
                               float(rng() % 3) * kTol + jitter(kTol * 0.6f));
            break;
        case 2:  // tight clusters: several welded numbers compete for one point; some points
                 // are exact copies of earlier ones
            for (int i = 0; i < n; ++i) {
                const float c = float(rng() % 4);
                if (i > 0 && rng() % 3 == 0) p.push_back(p[rng() % p.size()]);
                else p.emplace_back(c + jitter(0.0015f), c + jitter(0.0015f), -c + jitter(0.0015f));
            }
            break;
        case 3:  // duplicates and signed zeros
            for (int i = 0; i < n; ++i) {
                const float z = (rng() % 2) ? 0.0f : -0.0f;
                p.emplace_back(float(rng() % 3), z, float(rng() % 2) * 0.5f);
            }
            break;
        case 4:  // chains: each point within tolerance of the one before it
            for (int i = 0; i < n; ++i) p.emplace_back(float(i % 50) * 0.0009f, float(i / 50) * 0.0009f, 0.25f);
            break;
        case 5:  // multiples of the tolerance and of steps that meet the hash's cell borders
            for (int i = 0; i < n; ++i)
                p.emplace_back(float(int(rng() % 21) - 10) * 0.001f, float(int(rng() % 9) - 4) * 0.0012f,
                               float(int(rng() % 7) - 3) * 0.0068f + float(int(rng() % 3) - 1) * 0.008f);
            break;
        case 6:  // large coordinates, where floats are spaced wider than the tolerance, on
                 // both sides of 2^20, and from about 2^43 on, where a coordinate no longer
                 // matches itself; copies of all of them
            for (int i = 0; i < n; ++i) {
                const float wide[] = {1048576.0f, -1048576.0f, 8796093022208.0f, 17592186044416.0f, 1e30f, -1e30f};
                const float w = wide[rng() % 6];
                p.emplace_back(16384.0f + float(int(rng() % 5) - 2) * 0.0009765625f,
                               16777216.0f + float(int(rng() % 5) - 2) * 1.0f,
                               rng() % 2 ? w * float(rng() % 3) : std::nextafter(w, 0.0f) + float(rng() % 2) * 0.0625f);
            }
            break;
        default:  // points that never weld mixed with ordinary ones
            for (int i = 0; i < n; ++i) {
                const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(), 0.0f};
                p.emplace_back(odd[rng() % 4], float(rng() % 2) * kTol, 0.0f);
            }
            break;
        }
        std::shuffle(p.begin(), p.end(), rng);
        ExpectSameWeld(p, ("round " + std::to_string(round)).c_str());
    }
}

TEST(ShadowWeld, ToleranceIsStrictAndTheFirstMatchWins) {
    // Exactly 0.001 apart stays separate; 0.0009 welds to the first.
    auto apart = RunWeld({{1.0f, 2.0f, 3.0f}, {1.001f, 2.0f, 3.0f}}, WeldSpatial);
    EXPECT_EQ(apart.count, 2);
    auto close = RunWeld({{1.0f, 2.0f, 3.0f}, {1.0009f, 2.0f, 3.0f}, {0.9995f, 2.0f, 3.0f}}, WeldSpatial);
    EXPECT_EQ(close.count, 1);
    EXPECT_EQ(close.map, (std::vector<int>{0, 0, 0}));
    // A chain welds link by link only to numbers already made: 0 and 0.0009 weld, 0.0018
    // is out of reach of 0 and starts a number of its own.
    auto chain = RunWeld({{0.0f, 0, 0}, {0.0009f, 0, 0}, {0.0018f, 0, 0}, {0.0012f, 0, 0}}, WeldSpatial);
    EXPECT_EQ(chain.map, (std::vector<int>{0, 0, 1, 1}));
}

TEST(ShadowEdges, CubeWeldsToEightVerticesAndEighteenEdges) {
    ShadowGeometry g;
    Build(g, test_meshes::SoupCube());  // 24 corners, every face with its own
    EXPECT_EQ(g.vertexCount, 8);
    EXPECT_EQ(g.EdgeCount(), 18);  // 12 sides and 6 face diagonals
    for (int v = 0; v < g.edgeTable.GetItemCount(); ++v) {
        auto* r = static_cast<const EdgeRecord*>(g.edgeTable.GetItem(v));
        for (int k = 0; r && k < r->neighbourCount; ++k) EXPECT_GT(r->neighbours[k], v);
    }
}

TEST(ShadowEdges, FullRecordsAndDegenerateTriangles) {
    ShadowGeometry g;
    g.Allocate(70, 0);
    for (int b = 1; b <= 65; ++b) g.AddEdge(0, b);
    g.AddEdge(3, 0);  // already there, seen from the other end
    auto* r = static_cast<const EdgeRecord*>(g.edgeTable.GetItem(0));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->neighbourCount, 60);
    EXPECT_EQ(r->neighbours[59], 60);  // the 61st neighbour onwards is dropped

    ShadowGeometry d;
    d.Allocate(3, 3);
    d.SetTriangle(0, D3DXVECTOR3(0, 0, 1), 0, 1, 1, 2);  // two equal numbers
    EXPECT_EQ(d.edgeTable.GetItem(0), nullptr);
    auto* r1 = static_cast<const EdgeRecord*>(d.edgeTable.GetItem(1));
    ASSERT_NE(r1, nullptr);
    EXPECT_EQ(r1->neighbourCount, 1);
    EXPECT_EQ(r1->neighbours[0], 2);

    // A toggle on a vertex without a record reports and changes nothing.
    std::vector<std::string> messages;
    d.SetReport([&](const char* text) { messages.push_back(text); });
    EXPECT_FALSE(d.AddEdges(2, 0));
    EXPECT_EQ(messages, std::vector<std::string>{"Error edge not found"});
}

TEST(ShadowVolume, ClosedMeshGivesOneQuadPerSilhouetteEdge) {
    ShadowGeometry g;
    Build(g, test_meshes::SoupCube());
    const int n = g.vertexCount;
    // Light off a corner: three faces lit, a silhouette of six sides.
    g.Construct(D3DXVECTOR3(5, 6, 7), 2.0f, false, false);
    const auto edges = Silhouette(g);
    EXPECT_EQ(edges.size(), 6u);
    EXPECT_EQ(edges, SilhouetteFromRecords(g));
    EXPECT_EQ(g.volumeIndexCount, 6 * 6);
    // The silhouette closes into one loop, each vertex left once and entered once.
    std::map<int, int> out, in;
    for (auto [a, b] : edges) ++out[a], ++in[b];
    for (auto [v, c] : out) {
        EXPECT_EQ(c, 1) << v;
        EXPECT_EQ(in[v], 1) << v;
    }
    // Quad layout a, N+a, b, b, N+a, N+b.
    for (size_t i = 0; i < edges.size(); ++i) {
        const auto [a, b] = edges[i];
        std::vector<int> quad;
        for (int k = 0; k < 6; ++k) quad.push_back(int(g.VolumeIndex(int(i) * 6 + k)));
        EXPECT_EQ(quad, (std::vector<int>{a, n + a, b, b, n + a, n + b}));
    }
    // One extruded copy per vertex however many edges and unlit faces use it.
    std::set<uint32_t> slots;
    for (int i = 0; i < g.extrudedCount; ++i) EXPECT_TRUE(slots.insert(g.extrudedVertices[size_t(i)].slot).second);
    EXPECT_EQ(g.extrudedCount, 7);  // every corner but the one nearest the light

    // With caps, three indices per triangle follow the quads; unlit ones use the copies.
    g.Construct(D3DXVECTOR3(5, 6, 7), 2.0f, true, false);
    EXPECT_EQ(g.volumeIndexCount, 6 * 6 + 3 * g.triangleCount);
    for (int t = 0; t < g.triangleCount; ++t) {
        const ShadowTriangle& tri = g.triangles[size_t(t)];
        const bool lit = D3DXVECTOR3(tri.normal).x * 5 + tri.normal.y * 6 + tri.normal.z * 7 + tri.d >= 0;
        for (int j = 0; j < 3; ++j) EXPECT_EQ(int(g.VolumeIndex(36 + 3 * t + j)), tri.vertices[j] + (lit ? 0 : n));
    }
}

TEST(ShadowVolume, PlaneTestAndExtrusionFactor) {
    // One triangle in the plane z = 0, facing +z.
    test_meshes::Mesh tri{{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {0, 1, 2}};
    ShadowGeometry g;
    Build(g, tri);
    ASSERT_NEAR(g.triangles[0].normal.z, 1.0f, 1e-6f);

    g.Construct(D3DXVECTOR3(3, 3, 0), 1.0f, false, false);  // on the plane: lit
    EXPECT_EQ(g.silhouetteCount, 6);
    // An open lit triangle with caps needs 21 indices, more than 6 per source index.
    g.Construct(D3DXVECTOR3(0.2f, 0.2f, 1), 1.0f, true, false);
    EXPECT_EQ(g.volumeIndexCount, 21);
    EXPECT_LE(g.volumeIndexCount, g.VolumeIndexCapacity());

    const D3DXVECTOR3 light(0.5f, 0.5f, -2.0f);  // behind: unlit, all three extruded
    for (float e : {0.0f, -0.5f, 3.0f}) {
        g.Construct(light, e, false, false);
        ASSERT_EQ(g.extrudedCount, 3);
        EXPECT_EQ(g.volumeIndexCount, 0);
        for (int i = 0; i < 3; ++i) {
            const ExtrudedVertex& x = g.extrudedVertices[size_t(i)];
            const D3DXVECTOR3 p = g.positions[x.slot - 3];
            EXPECT_EQ(x.position, p + (p - light) * e) << e;
        }
    }
}

TEST(ShadowVolume, EdgeOfThreeLitTrianglesGivesAQuad) {
    // Three triangles share the edge 0–1, all facing the light.
    test_meshes::Mesh fan{{{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -1, 0}, {0.5f, 0.5f, 0.5f}},
                          {0, 1, 2, 1, 0, 3, 0, 1, 4}};
    ShadowGeometry g;
    Build(g, fan);
    g.Construct(D3DXVECTOR3(0.5f, 0.2f, -10), 1.0f, false, false);
    const auto edges = Silhouette(g);
    EXPECT_EQ(edges, SilhouetteFromRecords(g));
    int shared = 0;
    for (auto [a, b] : edges) shared += (std::min(a, b) == 0 && std::max(a, b) == 1);
    EXPECT_EQ(shared, 1);
}

TEST(ShadowVolume, TooManyWeldedVerticesBuildNothing) {
    ShadowGeometry g;
    g.Allocate(kMaxWeldedVertices + 1, 3);
    g.vertexCount = kMaxWeldedVertices + 1;
    g.SetTriangle(0, D3DXVECTOR3(0, 0, 1), 0, 0, 1, 2);
    EXPECT_FALSE(g.FinishBuild());
    EXPECT_FALSE(g.HasGeometry());
    g.Construct(D3DXVECTOR3(0, 0, 1), 1.0f, true, false);
    EXPECT_EQ(g.volumeIndexCount, 0);
}

// 40,000 welded vertices: the extruded slots pass 16 bits, so the volume takes 32-bit
// indices; its quads and caps are the ones the lit triangles' edges and planes give.
TEST(ShadowVolume, MoreThan32768VerticesTakeWideIndices) {
    const test_meshes::Mesh torus = test_meshes::Torus(250, 160, 3.0f, 1.0f);
    ShadowGeometry g;
    Build(g, torus);
    ASSERT_EQ(g.vertexCount, 40000);
    ASSERT_TRUE(g.wideIndices);
    const uint32_t n = 40000;
    for (const D3DXVECTOR3& light : {D3DXVECTOR3(2, 6, 1), D3DXVECTOR3(0, 0.5f, 0)}) {
        g.Construct(light, 2.0f, true, false);
        // The edges seen an odd number of times on lit triangles, in their lit winding.
        std::map<std::pair<int, int>, int> seen;
        std::vector<bool> lit(size_t(g.triangleCount));
        for (int t = 0; t < g.triangleCount; ++t) {
            const ShadowTriangle& tri = g.triangles[size_t(t)];
            lit[size_t(t)] = tri.normal.x * light.x + tri.normal.y * light.y + tri.normal.z * light.z + tri.d >= 0;
            if (!lit[size_t(t)]) continue;
            for (int j = 0; j < 3; ++j) {
                const int a = tri.vertices[j], b = tri.vertices[(j + 1) % 3];
                seen[{std::min(a, b), std::max(a, b)}] += a < b ? 1 : -1;
            }
        }
        std::set<std::pair<uint32_t, uint32_t>> expected, quads;
        for (const auto& [edge, balance] : seen)
            if (balance != 0) expected.insert(balance > 0 ? std::pair(uint32_t(edge.first), uint32_t(edge.second))
                                                          : std::pair(uint32_t(edge.second), uint32_t(edge.first)));
        const int quadIndices = g.volumeIndexCount - 3 * g.triangleCount;
        ASSERT_EQ(quadIndices, 6 * int(expected.size()));
        for (int i = 0; i < quadIndices; i += 6) {
            const uint32_t a = g.VolumeIndex(i), b = g.VolumeIndex(i + 2);
            EXPECT_EQ(g.VolumeIndex(i + 1), n + a);
            EXPECT_EQ(g.VolumeIndex(i + 4), n + a);
            EXPECT_EQ(g.VolumeIndex(i + 5), n + b);
            quads.insert({a, b});
        }
        EXPECT_EQ(quads, expected);
        for (int t = 0; t < g.triangleCount; ++t)
            for (int j = 0; j < 3; ++j)
                ASSERT_EQ(g.VolumeIndex(quadIndices + 3 * t + j), g.triangles[size_t(t)].vertices[j] + (lit[size_t(t)] ? 0 : n));
    }
    // A device whose indices stop at 16 bits cannot draw it.
    EXPECT_EQ(ShadowGeometry::VertexLimit(0xFFFF), 32768);
    ShadowGeometry narrow;
    narrow.Allocate(40000, 3);
    narrow.vertexCount = 40000;
    narrow.SetTriangle(0, D3DXVECTOR3(0, 0, 1), 0, 0, 1, 2);
    EXPECT_FALSE(narrow.FinishBuild(0xFFFF));
    EXPECT_TRUE(narrow.FinishBuild(0xFFFFFF));
}
