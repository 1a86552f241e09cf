// Reading a text mesh back and checking it is a closed solid.
#pragma once

#include <d3d8/d3dx_mesh.h>
#include <d3d8/device_host.h>
#include <gdi/wingdi.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace text3d_test {

// A device for the meshes to name (the builder keeps only the pointer): off screen, made
// once and kept for the life of the test program.
inline IDirect3DDevice8* TestDevice() {
    static IDirect3DDevice8* const device = d3d8host::CreateOffscreenDevice(16, 16).release();
    return device;
}

struct MeshVertex {
    float x, y, z, nx, ny, nz;
};

struct MeshData {
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
};

inline MeshData ReadMesh(ID3DXMesh* mesh) {
    MeshData out;
    out.vertices.resize(mesh->GetNumVertices());
    out.indices.resize(size_t(mesh->GetNumFaces()) * 3);
    BYTE* data = nullptr;
    if (mesh->LockVertexBuffer(D3DLOCK_READONLY, &data) == D3D_OK) {
        if (!out.vertices.empty()) std::memcpy(out.vertices.data(), data, out.vertices.size() * 24);
        mesh->UnlockVertexBuffer();
    }
    if (mesh->LockIndexBuffer(D3DLOCK_READONLY, &data) == D3D_OK) {
        if (!out.indices.empty()) std::memcpy(out.indices.data(), data, out.indices.size() * 2);
        mesh->UnlockIndexBuffer();
    }
    return out;
}

// Empty when the mesh is a closed solid: after merging equal positions every edge is shared
// by exactly two triangles, running once each way; no triangle is degenerate; front-face
// triangles (normal +z) face +z, back-face ones -z, and wall triangles face along their
// vertex normals. Otherwise the first problem found.
inline std::string CheckClosedSolid(const MeshData& mesh) {
    std::map<std::tuple<float, float, float>, int> ids;
    std::vector<int> id(mesh.vertices.size());
    for (size_t v = 0; v < mesh.vertices.size(); ++v) {
        const MeshVertex& p = mesh.vertices[v];
        id[v] = ids.emplace(std::make_tuple(p.x, p.y, p.z), int(ids.size())).first->second;
    }
    std::map<std::pair<int, int>, int> directed;
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        uint16_t i[3] = {mesh.indices[t], mesh.indices[t + 1], mesh.indices[t + 2]};
        for (uint16_t k : i)
            if (k >= mesh.vertices.size()) return "index out of range";
        const MeshVertex &a = mesh.vertices[i[0]], &b = mesh.vertices[i[1]], &c = mesh.vertices[i[2]];
        double ux = double(b.x) - a.x, uy = double(b.y) - a.y, uz = double(b.z) - a.z;
        double vx = double(c.x) - a.x, vy = double(c.y) - a.y, vz = double(c.z) - a.z;
        double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
        if (id[i[0]] == id[i[1]] || id[i[1]] == id[i[2]] || id[i[0]] == id[i[2]] ||
            (cx == 0 && cy == 0 && cz == 0))
            return "degenerate triangle " + std::to_string(t / 3);
        double nx = double(a.nx) + b.nx + c.nx, ny = double(a.ny) + b.ny + c.ny, nz = double(a.nz) + b.nz + c.nz;
        if (cx * nx + cy * ny + cz * nz <= 0)
            return "triangle " + std::to_string(t / 3) + " faces against its normals";
        if (a.nz == 1 && b.nz == 1 && c.nz == 1 && !(cz > 0)) return "front face not facing +z";
        if (a.nz == -1 && b.nz == -1 && c.nz == -1 && !(cz < 0)) return "back face not facing -z";
        for (int e = 0; e < 3; ++e) ++directed[{id[i[e]], id[i[(e + 1) % 3]]}];
    }
    for (const auto& [edge, count] : directed) {
        auto reverse = directed.find({edge.second, edge.first});
        int back = reverse == directed.end() ? 0 : reverse->second;
        if (count + back != 2) return "edge shared by " + std::to_string(count + back) + " triangles";
        if (count != 1) return "edge run twice the same way";
    }
    return {};
}

// The characters of a text mesh, each its own solid: glyph k holds the vertices from
// firstVertex[k] to the next glyph's first (indices rebased) and the triangles over them.
// Empty when a triangle reaches into another character's vertices.
inline std::vector<MeshData> SplitCharacters(const MeshData& mesh, const std::vector<size_t>& firstVertex) {
    std::vector<MeshData> out(firstVertex.size());
    auto glyphOf = [&](size_t v) {
        size_t k = firstVertex.size();
        while (k > 0 && firstVertex[k - 1] > v) --k;
        return k == 0 ? SIZE_MAX : k - 1;
    };
    for (size_t k = 0; k < firstVertex.size(); ++k) {
        size_t end = k + 1 < firstVertex.size() ? firstVertex[k + 1] : mesh.vertices.size();
        if (firstVertex[k] > end || end > mesh.vertices.size()) return {};
        out[k].vertices.assign(mesh.vertices.begin() + std::ptrdiff_t(firstVertex[k]),
                               mesh.vertices.begin() + std::ptrdiff_t(end));
    }
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        size_t k = glyphOf(mesh.indices[t]);
        if (k == SIZE_MAX || glyphOf(mesh.indices[t + 1]) != k || glyphOf(mesh.indices[t + 2]) != k) return {};
        for (int e = 0; e < 3; ++e) out[k].indices.push_back(uint16_t(mesh.indices[t + e] - firstVertex[k]));
    }
    return out;
}

// Debugger lines written while an instance lives.
class DebugLines {
public:
    DebugLines() { SetDebugOutputSink(&Collect, this); }
    ~DebugLines() { SetDebugOutputSink(nullptr, nullptr); }
    std::vector<std::string> lines;

private:
    static void Collect(const char* text, void* self) { static_cast<DebugLines*>(self)->lines.emplace_back(text); }
};

inline HFONT MakeFont(const char* face, LONG weight = FW_NORMAL) {
    return CreateFontA(0, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                       VARIABLE_PITCH, face);
}

}  // namespace text3d_test
