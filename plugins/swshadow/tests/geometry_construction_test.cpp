// Volume construction against a plain reading of the rule, index for index and bit for bit:
// every lit triangle toggles its edges, an edge toggled an odd number of times is a
// silhouette edge running as its last sighting did, and the lists follow from that.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "geometry_build.h"
#include "swshadow/shadow_geometry.h"
#include "test_meshes.h"

using namespace swshadow;

namespace {

struct Volume {
    std::vector<uint32_t> indices;  // quads, then caps
    std::vector<uint16_t> silhouette;
    std::vector<ExtrudedVertex> copies;
    std::map<std::pair<int, int>, bool> stamped;  // record edge (vertex, slot) → direction flag
};

// The same volume worked out the slow way from the geometry's triangles and records.
Volume Reference(const ShadowGeometry& g, const D3DXVECTOR3& light, float e, bool caps) {
    const int n = g.vertexCount;
    std::vector<bool> lit(size_t(g.triangleCount)), extrude(static_cast<size_t>(n));
    std::map<std::pair<int, int>, std::pair<int, bool>> toggles;  // (lo, hi) → count, last ran lo←hi
    for (int t = 0; t < g.triangleCount; ++t) {
        const ShadowTriangle& tri = g.triangles[size_t(t)];
        lit[size_t(t)] = tri.normal.x * light.x + tri.normal.y * light.y + tri.normal.z * light.z + tri.d >= 0.0f;
        for (int j = 0; j < 3; ++j) {
            const int a = tri.vertices[j], b = tri.vertices[(j + 1) % 3];
            if (!lit[size_t(t)]) extrude[size_t(tri.vertices[j])] = true;
            else if (a != b) {
                auto& [count, towardsLower] = toggles[{std::min(a, b), std::max(a, b)}];
                ++count;
                towardsLower = b < a;
            }
        }
    }
    Volume v;
    for (int lo = 0; lo < g.edgeTable.GetItemCount(); ++lo) {
        auto* r = static_cast<const EdgeRecord*>(g.edgeTable.GetItem(lo));
        for (int k = 0; r && k < r->neighbourCount; ++k) {
            const int hi = r->neighbours[k];
            const auto found = toggles.find({lo, hi});
            if (found == toggles.end() || found->second.first % 2 == 0) continue;
            const bool towardsLower = found->second.second;
            const uint32_t a = uint32_t(towardsLower ? hi : lo), b = uint32_t(towardsLower ? lo : hi);
            v.silhouette.insert(v.silhouette.end(), {uint16_t(a), uint16_t(b)});
            v.indices.insert(v.indices.end(), {a, n + a, b, b, n + a, n + b});
            extrude[a] = extrude[b] = true;
            v.stamped[{lo, k}] = towardsLower;
        }
    }
    for (int t = 0; caps && t < g.triangleCount; ++t)
        for (uint16_t corner : g.triangles[size_t(t)].vertices) v.indices.push_back(corner + (lit[size_t(t)] ? 0u : uint32_t(n)));
    for (int i = 0; i < n; ++i)
        if (extrude[size_t(i)]) {
            const D3DXVECTOR3& p = g.positions[size_t(i)];
            v.copies.push_back({p + (p - light) * e, uint32_t(n + i)});
        }
    return v;
}

void ExpectSameVolume(const ShadowGeometry& g, const Volume& want, const char* what) {
    std::vector<uint32_t> indices;
    for (int i = 0; i < g.volumeIndexCount; ++i) indices.push_back(g.VolumeIndex(i));
    ASSERT_EQ(indices, want.indices) << what;
    ASSERT_EQ(std::vector<uint16_t>(g.silhouetteEdges.begin(), g.silhouetteEdges.begin() + g.silhouetteCount), want.silhouette) << what;
    ASSERT_EQ(g.extrudedCount, int(want.copies.size())) << what;
    ASSERT_EQ(0, std::memcmp(g.extrudedVertices.data(), want.copies.data(), want.copies.size() * sizeof(ExtrudedVertex))) << what;
    for (const ExtrudedVertex& copy : want.copies) ASSERT_EQ(g.extrusionStamps[copy.slot], g.buildStamp) << what;
    std::map<std::pair<int, int>, bool> stamped;
    for (int lo = 0; lo < g.edgeTable.GetItemCount(); ++lo) {
        auto* r = static_cast<const EdgeRecord*>(g.edgeTable.GetItem(lo));
        for (int k = 0; r && k < r->neighbourCount; ++k)
            if (r->stamps[k] == g.buildStamp) stamped[{lo, k}] = r->flags[k] != 0;
    }
    ASSERT_EQ(stamped, want.stamped) << what;
}

// A torus with every seventh triangle left out: open edges, lit triangles with three
// silhouette edges, vertices only unlit triangles use.
test_meshes::Mesh HoledTorus() {
    test_meshes::Mesh m = test_meshes::Torus(23, 11, 3.0f, 1.0f);
    std::vector<uint16_t> kept;
    for (size_t t = 0; t * 3 < m.indices.size(); ++t)
        if (t % 7 != 3) kept.insert(kept.end(), m.indices.begin() + long(t * 3), m.indices.begin() + long(t * 3 + 3));
    m.indices = kept;
    return m;
}

// An edge with three and one with four triangle sides, degenerate triangles (one that uses
// an edge twice), and a hub vertex with more neighbours than a record holds.
test_meshes::Mesh Tangle() {
    test_meshes::Mesh m{{{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -1, 0}, {0.5f, 0.5f, 0.5f}, {0.5f, 0, -1}}, {}};
    m.indices = {0, 1, 2, 1, 0, 3, 0, 1, 4, 2, 4, 5, 2, 5, 4, 2, 5, 2, 3, 3, 3, 3, 4, 5, 1, 0, 5, 0, 4, 1};
    const uint16_t hub = uint16_t(m.positions.size());
    m.positions.push_back({3, 3, 3});
    for (int i = 0; i < 70; ++i) {
        const float a = float(i) * 0.09f;
        m.positions.push_back({3 + std::cos(a), 3 + std::sin(a), 3 + 0.3f * float(i % 3)});
        if (i > 0) m.indices.insert(m.indices.end(), {hub, uint16_t(hub + i), uint16_t(hub + i + 1)});
    }
    return m;
}

}  // namespace

// Several constructions in a row on each mesh, with and without caps, so that whatever one
// leaves behind must not leak into the next.
TEST(ShadowConstruction, MatchesThePlainToggleOnEveryMesh) {
    const std::pair<const char*, test_meshes::Mesh> meshes[] = {
        {"cube", test_meshes::SoupCube()},
        {"torus", test_meshes::Torus(40, 24, 3.0f, 1.0f)},
        {"holed torus", HoledTorus()},
        {"tangle", Tangle()},
        {"wide torus", test_meshes::Torus(250, 160, 3.0f, 1.0f)},  // 32-bit indices
    };
    std::mt19937 random(23);
    std::uniform_real_distribution<float> coordinate(-9.0f, 9.0f);
    for (const auto& [name, mesh] : meshes) {
        ShadowGeometry g;
        Build(g, mesh);
        ASSERT_TRUE(g.HasGeometry()) << name;
        for (int round = 0; round < 8; ++round) {
            const D3DXVECTOR3 light(coordinate(random), coordinate(random), round == 0 ? 0.0f : coordinate(random));
            const bool caps = round % 3 != 1;
            const float e = round == 5 ? 0.0f : 1.5f + float(round);
            g.Construct(light, e, caps, false);
            ExpectSameVolume(g, Reference(g, light, e, caps), name);
        }
    }
}

// Skinned sources: the planes are taken from the moved positions before the test.
TEST(ShadowConstruction, RecomputedPlanesFollowTheMovedVertices) {
    ShadowGeometry g;
    Build(g, test_meshes::Torus(30, 16, 3.0f, 1.0f));
    const D3DXVECTOR3 light(1.0f, 7.0f, 2.0f);
    g.Construct(light, 3.0f, true, false);
    for (D3DXVECTOR3& p : g.positions) p.y += 0.4f * p.x;  // sheared
    g.Construct(light, 3.0f, true, true);
    for (const ShadowTriangle& tri : g.triangles) {
        const D3DXVECTOR3 &p0 = g.positions[tri.vertices[0]], &p1 = g.positions[tri.vertices[1]];
        const D3DXVECTOR3 normal = TriangleNormal(p0, p1, g.positions[tri.vertices[2]]);
        ASSERT_EQ(0, std::memcmp(&tri.normal, &normal, sizeof normal));
        ASSERT_EQ(tri.d, -(normal.x * p0.x + normal.y * p0.y + normal.z * p0.z));
    }
    ExpectSameVolume(g, Reference(g, light, 3.0f, true), "sheared torus");
}
