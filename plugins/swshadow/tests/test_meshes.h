// Meshes the shadow tests and the benchmark cast shadows from.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include <vecmath/d3dx_types.h>

namespace test_meshes {

struct Mesh {
    std::vector<D3DXVECTOR3> positions;
    std::vector<uint16_t> indices;
};

// Meshes wind their triangles clockwise seen from outside, the device's front faces; the
// shadow object's plane normal, (v2 − v1) × (v1 − v0), then points inward.

// Axis-aligned box from lo to hi: `shared` corners or four of its own per face.
inline Mesh Box(D3DXVECTOR3 lo, D3DXVECTOR3 hi, bool shared) {
    auto corner = [&](int i) {
        return D3DXVECTOR3(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z);
    };
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    Mesh m;
    if (shared)
        for (int i = 0; i < 8; ++i) m.positions.push_back(corner(i));
    for (const auto& f : faces) {
        int idx[4];
        for (int k = 0; k < 4; ++k) {
            if (shared) {
                idx[k] = f[k];
            } else {
                idx[k] = int(m.positions.size());
                m.positions.push_back(corner(f[k]));
            }
        }
        const int tri[6] = {idx[0], idx[1], idx[2], idx[0], idx[2], idx[3]};
        for (int k : tri) m.indices.push_back(uint16_t(k));
    }
    // Wind every triangle so that (v2 − v1) × (v1 − v0) points to the centre.
    const D3DXVECTOR3 c = (lo + hi) * 0.5f;
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        const D3DXVECTOR3 &v0 = m.positions[m.indices[t]], &v1 = m.positions[m.indices[t + 1]],
                          &v2 = m.positions[m.indices[t + 2]];
        const D3DXVECTOR3 a = v2 - v1, b = v1 - v0;
        const D3DXVECTOR3 n(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
        const D3DXVECTOR3 out = v0 - c;
        if (n.x * out.x + n.y * out.y + n.z * out.z > 0) std::swap(m.indices[t + 1], m.indices[t + 2]);
    }
    return m;
}

// The unit cube as an exporter writes it: one surface, four corners of its own per face.
inline Mesh SoupCube() { return Box(D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1), false); }

// A closed torus about the y axis: `rings` around the big circle, `sides` around the tube,
// rings × sides shared vertices and 2 × rings × sides triangles.
inline Mesh Torus(int rings, int sides, float big, float small, D3DXVECTOR3 centre = D3DXVECTOR3()) {
    Mesh m;
    const float twoPi = 6.28318530718f;
    for (int i = 0; i < rings; ++i) {
        const float a = twoPi * float(i) / float(rings);
        for (int j = 0; j < sides; ++j) {
            const float b = twoPi * float(j) / float(sides);
            const float r = big + small * std::cos(b);
            m.positions.emplace_back(centre.x + r * std::cos(a), centre.y + small * std::sin(b),
                                     centre.z + r * std::sin(a));
        }
    }
    auto at = [&](int i, int j) { return uint16_t((i % rings) * sides + (j % sides)); };
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < sides; ++j) {
            const uint16_t q[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            for (int k : {0, 1, 2, 0, 2, 3}) m.indices.push_back(q[k]);
        }
    // Plane normals towards the tube's centre line.
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        const D3DXVECTOR3 &v0 = m.positions[m.indices[t]], &v1 = m.positions[m.indices[t + 1]],
                          &v2 = m.positions[m.indices[t + 2]];
        const D3DXVECTOR3 a = v2 - v1, b = v1 - v0;
        const D3DXVECTOR3 n(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
        const D3DXVECTOR3 local = v0 - centre;
        const float len = std::sqrt(local.x * local.x + local.z * local.z);
        const D3DXVECTOR3 tube(centre.x + local.x / len * big, centre.y, centre.z + local.z / len * big);
        const D3DXVECTOR3 out = v0 - tube;
        if (n.x * out.x + n.y * out.y + n.z * out.z > 0) std::swap(m.indices[t + 1], m.indices[t + 2]);
    }
    return m;
}

}  // namespace test_meshes
