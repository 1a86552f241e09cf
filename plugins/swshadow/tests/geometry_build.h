// Builds a ShadowGeometry from one mesh as the channel does: weld, then triangles and edges.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "swshadow/shadow_geometry.h"
#include "test_meshes.h"

inline void Build(swshadow::ShadowGeometry& g, const test_meshes::Mesh& mesh) {
    const int n = int(mesh.positions.size()), m = int(mesh.indices.size());
    g.Clear();
    g.Allocate(n, m);
    std::vector<D3DXVECTOR3> welded(mesh.positions.size());
    std::vector<int> map(mesh.positions.size());
    const int count = swshadow::WeldSpatial(mesh.positions.data(), n, welded.data(), map.data());
    std::vector<uint16_t> indices(mesh.indices.size());
    for (int i = 0; i < m; ++i) indices[size_t(i)] = uint16_t(map[mesh.indices[size_t(i)]]);
    g.vertexCount = 0;
    g.AppendSurface(welded.data(), count, indices.data(), m, 0);
    ASSERT_TRUE(g.FinishBuild(0xFFFFFF));  // a device with 32-bit indices
}
