#include "plugin_frame/siblings/collision_object.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <vecmath/d3dx_math.h>

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_CollisionObject, (ChannelTypeInfo{"DX8 CollisionObject", type_guids::kCollisionObject,
                                                                 type_guids::kCollisionObject, 0}))

namespace {

constexpr uint32_t kLeafSize = 4;  // triangles per leaf: a few box tests beat another level
// Triangle bounds are widened by this much (local units): callers test a triangle as a thin
// box 0.01 thick, which meets a query box a flat triangle's own bounds just miss.
constexpr float kMargin = 0.01f;

bool Overlaps(const D3DXVECTOR3& aMin, const D3DXVECTOR3& aMax, const D3DXVECTOR3& bMin, const D3DXVECTOR3& bMax) {
    return aMin.x <= bMax.x && bMin.x <= aMax.x && aMin.y <= bMax.y && bMin.y <= aMax.y && aMin.z <= bMax.z &&
           bMin.z <= aMax.z;
}

float Axis(const D3DXVECTOR3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

constexpr int kObjectLink = 0;

// FNV-1a over the values that tell whether a gathered mesh may have changed.
struct Signature {
    uint64_t value = 14695981039346656037ull;
    template <typename T>
    void Add(const T& v) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&v);
        for (size_t i = 0; i < sizeof(T); ++i) value = (value ^ bytes[i]) * 1099511628211ull;
    }
};

}  // namespace

Kco_DX8_CollisionObject::Kco_DX8_CollisionObject() {
    SetChannelName("DX8 CollisionObject");
    SetChildCreateType(MakeChildCreation("DX8 3D Object", type_guids::kObjectChannel, kObjectLink, false, "Object"),
                       kObjectLink);
    D3DXMatrixIdentity(&directWorld);
}

Kco_DX8_CollisionObject::~Kco_DX8_CollisionObject() = default;

void Kco_DX8_CollisionObject::DoDependencyInit(Kel_List*) {}

Kco_DX8_ObjectChannel* Kco_DX8_CollisionObject::Object() const {
    Kel_Channel* child = GetChildFromLinkPosition(kObjectLink, 0);
    return child && child->IsOfType(type_guids::kObjectChannel) ? static_cast<Kco_DX8_ObjectChannel*>(child)
                                                                : nullptr;
}

D3DXMATRIX Kco_DX8_CollisionObject::GetObjectWorld() {
    Kco_DX8_ObjectChannel* object = Object();
    return object ? object->GetObjectMatrix() : directWorld;
}

void Kco_DX8_CollisionObject::SetObjectWorld(const D3DXMATRIX& world) { directWorld = world; }

uint32_t Kco_DX8_CollisionObject::GetPolygonCount() {
    RefreshFromObject();
    return uint32_t(polygons.size());
}

PolygonInfoItem* Kco_DX8_CollisionObject::GetPolygonInfoItem(uint32_t entry) {
    if (entry == 0 || entry > polygons.size()) return nullptr;
    return &polygons[entry - 1];
}

void Kco_DX8_CollisionObject::SetPolygons(const D3DXVECTOR3* vertices, uint32_t count) {
    directPolygons.resize(vertices ? count : 0);
    for (uint32_t i = 0; i < directPolygons.size(); ++i)
        for (int k = 0; k < 3; ++k) directPolygons[i].vertex[k] = vertices[3 * i + k];
    if (Object()) return;  // a linked object's mesh is used meanwhile
    polygons = directPolygons;
    Rebuild();
    objectSignature = 0;
}

// Once per frame, only a handful of values per surface are compared: the surfaces and their
// meshes, the meshes' sizes, time stamps and boxes (an object data channel measures its
// box again after any change of a position). A change that keeps all of them (a vertex
// moved inside the box, with no new time stamp) is noticed once the host stamps the
// object data or this channel (SetTimeStamp).
uint64_t Kco_DX8_CollisionObject::ObjectSignature(Kco_DX8_ObjectChannel* object) {
    Signature s;
    s.Add(object);  // not its time stamp: moving the object leaves the mesh as it is
    s.Add(GetTimeStamp());
    const int surfaces = object->GetSurfaceCount();
    s.Add(surfaces);
    for (int i = 0; i < surfaces; ++i) {
        Kco_DX8_SurfaceChannel* surface = object->GetSurface(i);
        Kco_DX8_ObjectDataChannel* mesh = surface ? surface->GetMesh() : nullptr;
        s.Add(mesh);
        if (!mesh) continue;
        mesh->UpdateData();
        s.Add(mesh->GetTimeStamp());
        s.Add(mesh->GetPolygonType());
        s.Add(mesh->GetVertexCount());
        s.Add(mesh->GetIndexCount());
        if (mesh->GetVertexCount() == 0) continue;
        s.Add(mesh->GetBoundingBoxMin());
        s.Add(mesh->GetBoundingBoxMax());
    }
    return s.value | 1;  // never 0, which stands for the direct fill
}

void Kco_DX8_CollisionObject::RefreshFromObject() {
    // Once per engine frame: a frame's steps query the mesh hundreds of times, and meshes
    // change between frames.
    if (engineInterface) {
        const uint32_t frame = engineInterface->GetFrameNumber();
        if (refreshed && frame == refreshFrame) return;
        refreshed = true;
        refreshFrame = frame;
    }
    Kco_DX8_ObjectChannel* object = Object();
    if (!object) {
        if (objectSignature != 0) {  // unlinked: back to the triangles filled in directly
            polygons = directPolygons;
            Rebuild();
            objectSignature = 0;
        }
        return;
    }
    const uint64_t signature = ObjectSignature(object);
    if (signature == objectSignature) return;
    objectSignature = signature;
    GatherFromObject(object);
    Rebuild();
}

// Triangle lists only: indexed by the 16-bit indices, or three vertices at a time without
// them. Indices beyond the vertices drop their triangle.
void Kco_DX8_CollisionObject::GatherFromObject(Kco_DX8_ObjectChannel* object) {
    polygons.clear();
    for (int i = 0; i < object->GetSurfaceCount(); ++i) {
        Kco_DX8_SurfaceChannel* surface = object->GetSurface(i);
        Kco_DX8_ObjectDataChannel* mesh = surface ? surface->GetMesh() : nullptr;
        if (!mesh || mesh->GetPolygonType() != kPolygonTriangleList) continue;
        const int vertices = mesh->GetVertexCount();
        const int indexCount = mesh->GetIndexCount();
        const int corners = indexCount > 0 ? indexCount : vertices;
        for (int t = 0; t + 2 < corners; t += 3) {
            PolygonInfoItem polygon{};
            bool valid = true;
            for (int k = 0; k < 3; ++k) {
                const int v = indexCount > 0 ? int(mesh->GetIndexes(t + k)) : t + k;
                valid = valid && v < vertices;
                if (valid) polygon.vertex[k] = mesh->GetVertexPosition(v);
            }
            if (valid) polygons.push_back(polygon);
        }
    }
}

// ---- the tree ----

void Kco_DX8_CollisionObject::Rebuild() {
    const uint32_t n = uint32_t(polygons.size());
    polygonMin.resize(n);
    polygonMax.resize(n);
    std::vector<D3DXVECTOR3> centres(n);
    order.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        PolygonInfoItem& p = polygons[i];
        D3DXVECTOR3 e1 = p.vertex[1] - p.vertex[0], e2 = p.vertex[2] - p.vertex[0], cross;
        D3DXVec3Cross(&cross, &e1, &e2);
        D3DXVec3Normalize(&p.normal, &cross);
        D3DXVec3Minimize(&polygonMin[i], &p.vertex[0], &p.vertex[1]);
        D3DXVec3Minimize(&polygonMin[i], &polygonMin[i], &p.vertex[2]);
        D3DXVec3Maximize(&polygonMax[i], &p.vertex[0], &p.vertex[1]);
        D3DXVec3Maximize(&polygonMax[i], &polygonMax[i], &p.vertex[2]);
        polygonMin[i] -= D3DXVECTOR3(kMargin, kMargin, kMargin);
        polygonMax[i] += D3DXVECTOR3(kMargin, kMargin, kMargin);
        centres[i] = (polygonMin[i] + polygonMax[i]) * 0.5f;
        order[i] = i;
    }
    nodes.clear();
    if (n > 0) {
        nodes.reserve(2 * (n / kLeafSize + 1));
        BuildNode(0, n, centres);
    }
    // The bounds in leaf order, so that a leaf's triangles are tested from one run of memory.
    orderedMin.resize(n);
    orderedMax.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        orderedMin[i] = polygonMin[order[i]];
        orderedMax[i] = polygonMax[order[i]];
    }
    ++buildCount;
}

// Splits at the median of the longest axis of the centres' bounds; returns the node index.
uint32_t Kco_DX8_CollisionObject::BuildNode(uint32_t first, uint32_t count, std::vector<D3DXVECTOR3>& centres) {
    const uint32_t index = uint32_t(nodes.size());
    nodes.push_back({});
    const float big = std::numeric_limits<float>::max();
    D3DXVECTOR3 lo(big, big, big), hi(-big, -big, -big), cLo = lo, cHi = hi;
    for (uint32_t i = first; i < first + count; ++i) {
        const uint32_t t = order[i];
        D3DXVec3Minimize(&lo, &lo, &polygonMin[t]);
        D3DXVec3Maximize(&hi, &hi, &polygonMax[t]);
        D3DXVec3Minimize(&cLo, &cLo, &centres[t]);
        D3DXVec3Maximize(&cHi, &cHi, &centres[t]);
    }
    nodes[index].min = lo;
    nodes[index].max = hi;
    if (count <= kLeafSize) {
        nodes[index].first = first;
        nodes[index].count = count;
        return index;
    }
    const D3DXVECTOR3 spread = cHi - cLo;
    const int axis = spread.x >= spread.y && spread.x >= spread.z ? 0 : spread.y >= spread.z ? 1 : 2;
    const uint32_t half = count / 2;
    std::nth_element(order.begin() + first, order.begin() + first + half, order.begin() + first + count,
                     [&](uint32_t a, uint32_t b) { return Axis(centres[a], axis) < Axis(centres[b], axis); });
    BuildNode(first, half, centres);
    const uint32_t right = BuildNode(first + half, count - half, centres);
    nodes[index].first = right;
    nodes[index].count = 0;
    return index;
}

void Kco_DX8_CollisionObject::AddBoxCollisionPolygonsToList(Kel_List* list, D3DXVECTOR3* min, D3DXVECTOR3* max) {
    RefreshFromObject();
    if (!list || !min || !max || nodes.empty()) return;
    stack.clear();
    stack.push_back(0);
    while (!stack.empty()) {
        const Node& node = nodes[stack.back()];
        const uint32_t at = stack.back();
        stack.pop_back();
        if (!Overlaps(node.min, node.max, *min, *max)) continue;
        if (node.count == 0) {
            stack.push_back(node.first);  // right child
            stack.push_back(at + 1);      // left child, visited first
            continue;
        }
        for (uint32_t i = node.first; i < node.first + node.count; ++i)
            if (Overlaps(orderedMin[i], orderedMax[i], *min, *max))
                list->AddItem(reinterpret_cast<void*>(uintptr_t(order[i]) + 1));
    }
}
