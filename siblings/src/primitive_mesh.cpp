#include "plugin_frame/siblings/primitive_mesh.h"

#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_PrimitiveMesh,
                       (ChannelTypeInfo{"DX8 PrimitiveMesh", type_guids::kPrimitiveMesh, type_guids::kObjectDataChannel, 0}))

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

struct Vertex {
    D3DXVECTOR3 position, normal;
    D3DXVECTOR2 uv;
};

struct Builder {
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;

    // Emits a triangle clockwise as seen from the side its vertex normals face (the front
    // side under the default culling); a triangle without area is left out.
    void Triangle(uint16_t a, uint16_t b, uint16_t c) {
        const D3DXVECTOR3 e1 = vertices[b].position - vertices[a].position;
        const D3DXVECTOR3 e2 = vertices[c].position - vertices[a].position;
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &e1, &e2);
        if (D3DXVec3LengthSq(&n) < 1e-14f) return;
        const D3DXVECTOR3 facing = vertices[a].normal + vertices[b].normal + vertices[c].normal;
        if (D3DXVec3Dot(&n, &facing) < 0.0f) std::swap(b, c);
        indices.insert(indices.end(), {a, b, c});
    }

    // A (columns + 1) x (rows + 1) grid of vertices from `at(u, v)` with u, v in 0..1,
    // split into two triangles per cell.
    template <typename At>
    void Grid(int columns, int rows, At at) {
        const int base = int(vertices.size());
        for (int j = 0; j <= rows; ++j)
            for (int i = 0; i <= columns; ++i) {
                const float u = float(i) / float(columns), v = float(j) / float(rows);
                Vertex vertex = at(u, v);
                vertex.uv = D3DXVECTOR2{u, v};
                vertices.push_back(vertex);
            }
        auto id = [&](int i, int j) { return uint16_t(base + j * (columns + 1) + i); };
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < columns; ++i) {
                Triangle(id(i, j), id(i + 1, j), id(i, j + 1));
                Triangle(id(i + 1, j), id(i + 1, j + 1), id(i, j + 1));
            }
    }
};

D3DXVECTOR3 Unit(float x, float y, float z) {
    D3DXVECTOR3 v(x, y, z);
    D3DXVec3Normalize(&v, &v);
    return v;
}

void BuildBox(Builder& b, const D3DXVECTOR3& size) {
    const D3DXVECTOR3 h = size * 0.5f;
    // Each face: its normal and the two in-plane axes its grid runs along.
    struct Face { D3DXVECTOR3 n, s, t; };
    const Face faces[6] = {
        {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}, {{-1, 0, 0}, {0, 0, -1}, {0, -1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {-1, 0, 0}, {0, -1, 0}}, {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}},
    };
    auto scale = [&h](const D3DXVECTOR3& v) { return D3DXVECTOR3(v.x * h.x, v.y * h.y, v.z * h.z); };
    for (const Face& f : faces)
        b.Grid(1, 1, [&](float u, float v) {
            return Vertex{scale(f.n + f.s * (2 * u - 1) + f.t * (2 * v - 1)), f.n, {}};
        });
}

void BuildSphere(Builder& b, float radius, int segments, int rings) {
    b.Grid(segments, rings, [&](float u, float v) {
        const float phi = u * 2.0f * kPi, theta = v * kPi;
        const D3DXVECTOR3 n(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
        return Vertex{n * radius, n, {}};
    });
}

void BuildPlane(Builder& b, const D3DXVECTOR3& size, int segments, int rings) {
    b.Grid(segments, rings, [&](float u, float v) {
        return Vertex{{(u - 0.5f) * size.x, 0.0f, (0.5f - v) * size.z}, {0, 1, 0}, {}};
    });
}

void BuildTorus(Builder& b, float ringRadius, float tubeRadius, int segments, int rings) {
    b.Grid(segments, rings, [&](float u, float v) {
        const float phi = u * 2.0f * kPi, theta = v * 2.0f * kPi;
        const D3DXVECTOR3 n = Unit(std::cos(theta) * std::cos(phi), std::sin(theta), std::cos(theta) * std::sin(phi));
        const float reach = ringRadius + tubeRadius * std::cos(theta);
        return Vertex{{reach * std::cos(phi), tubeRadius * std::sin(theta), reach * std::sin(phi)}, n, {}};
    });
}

}  // namespace

Kco_DX8_PrimitiveMesh::Kco_DX8_PrimitiveMesh() { SetChannelName("DX8 PrimitiveMesh"); }

Kco_DX8_PrimitiveMesh::~Kco_DX8_PrimitiveMesh() = default;

bool Kco_DX8_PrimitiveMesh::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveObjectDataSettings(saver);
    SaveField(saver, "PRSH", shape);
    SaveField(saver, "PRSZ", size);
    const int32_t tessellation[2] = {segments, rings};
    SaveField(saver, "PRTS", tessellation);
    return true;
}

bool Kco_DX8_PrimitiveMesh::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    LoadObjectDataSettings(loader);
    int32_t s = shape;
    if (LoadField(loader, "PRSH", s)) SetShape(s);
    D3DXVECTOR3 z = size;
    if (LoadField(loader, "PRSZ", z)) SetSize(z);
    int32_t tessellation[2] = {segments, rings};
    if (LoadField(loader, "PRTS", tessellation)) SetTessellation(tessellation[0], tessellation[1]);
    built = false;
    return true;
}

void Kco_DX8_PrimitiveMesh::UpdateData() {
    if (!built) BuildPrimitive();
}

void Kco_DX8_PrimitiveMesh::StreamVertexData() {
    UpdateData();
    Kco_DX8_ObjectDataChannel::StreamVertexData();
}

void Kco_DX8_PrimitiveMesh::SetShape(int s) {
    shape = s >= kPrimitiveBox && s <= kPrimitiveTorus ? s : kPrimitiveBox;
    built = false;
}

int Kco_DX8_PrimitiveMesh::GetShape() { return shape; }

void Kco_DX8_PrimitiveMesh::SetSize(const D3DXVECTOR3& s) {
    // Negative or undefined sizes would turn faces inside out.
    auto clean = [](float v) { return v == v ? std::fabs(v) : 1.0f; };
    size = D3DXVECTOR3(clean(s.x), clean(s.y), clean(s.z));
    built = false;
}

D3DXVECTOR3 Kco_DX8_PrimitiveMesh::GetSize() { return size; }

void Kco_DX8_PrimitiveMesh::SetTessellation(int s, int r) {
    segments = std::clamp(s, 1, 255);
    rings = std::clamp(r, 1, 255);
    built = false;
}

int Kco_DX8_PrimitiveMesh::GetSegments() { return segments; }

int Kco_DX8_PrimitiveMesh::GetRings() { return rings; }

void Kco_DX8_PrimitiveMesh::BuildPrimitive() {
    Builder b;
    switch (shape) {
        case kPrimitiveSphere: BuildSphere(b, size.x, std::max(segments, 3), std::max(rings, 2)); break;
        case kPrimitivePlane: BuildPlane(b, size, segments, rings); break;
        case kPrimitiveTorus: BuildTorus(b, size.x, size.y, std::max(segments, 3), std::max(rings, 3)); break;
        default: BuildBox(b, size); break;
    }
    Release();
    SetPolygonType(kPolygonTriangleList);
    SetVertexCount(int(b.vertices.size()));
    for (int i = 0; i < int(b.vertices.size()); ++i) {
        SetVertexPosition(b.vertices[i].position, i);
        SetVertexNormal(b.vertices[i].normal, i);
        SetVertexTUCoord(0, b.vertices[i].uv, i);
    }
    SetIndexCount(int(b.indices.size()));
    for (int i = 0; i < int(b.indices.size()); ++i) SetIndex(b.indices[i], i);
    RemapTexture();
    built = true;
    SetTimeStamp();
}
