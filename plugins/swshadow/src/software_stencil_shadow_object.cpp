#include "swshadow/software_stencil_shadow_object.h"

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/siblings/skinned_object_data.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_SoftwareStencilShadowObject,
                       (ChannelTypeInfo{"DX8 SoftwareStencilShadowObject", type_guids::kSoftwareStencilShadow,
                                        type_guids::kStencilShadowBaseObject, 0, 8, "Shad"}))

namespace {

using swshadow::VolumeVertex;

constexpr int kSourceLink = 0;
constexpr DWORD kVolumeFVF = D3DFVF_XYZ | D3DFVF_TEX1;  // 0x102
constexpr UINT kVolumeStride = sizeof(VolumeVertex);     // 20
constexpr int kFarFrustumPlane = 4;
// The extruded far cap stops this share of the way to the far plane, clear of depth 1.0.
constexpr float kFarPlaneShare = 0.99f;

constexpr const char* kMixedSurfacesMessage = "Error stencil shadow has skinning object can't mix with normal surface";
constexpr const char* kVertexLimitMessage =
    "You tried to create a software stencil shadow object of an object that has more than 65536 vertexes which is "
    "not possible. Please use a dummy object with as few polygons/vertexes as possible. Count:";

// The welded count is the real one, the limit what this device's indices can reach.
std::string WeldedLimitMessage(int limit) {
    return "You tried to create a software stencil shadow object of an object with more than " +
           std::to_string(limit) +
           " vertexes after welding, the most this device can draw a shadow volume of. Please use a dummy object "
           "with as few polygons/vertexes as possible. Count:";
}

// The largest index the device draws: 32-bit ones when its caps say so.
uint32_t MaxVertexIndex(IDirect3DDevice8* device) {
    D3DCAPS8 caps{};
    if (!device || device->GetDeviceCaps(&caps) != D3D_OK) return swshadow::kMaxShortIndex;
    return std::max<uint32_t>(caps.MaxVertexIndex, swshadow::kMaxShortIndex);
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

bool IsSkinnedKind(const GUID& type) {
    return type == type_guids::kSkinnedObjectData || type == type_guids::kBoneOffsetObjectData;
}

// Surface i of the source (in link order) and its first mesh, or null.
Kco_DX8_ObjectDataChannel* MeshOfSurface(Kel_Channel* source, int i) {
    Kel_Channel* surface = source->GetChildFromLinkGuid(type_guids::kSurfaceChannel, i);
    if (!surface) return nullptr;
    return static_cast<Kco_DX8_ObjectDataChannel*>(surface->GetChildFromLinkGuid(type_guids::kObjectDataChannel, 0));
}

// A surface takes part when its mesh is a non-empty triangle list (after UpdateData).
bool Accepted(Kco_DX8_ObjectDataChannel* mesh) {
    return mesh->GetIndexCount() > 0 && mesh->GetPolygonType() == kPolygonTriangleList;
}

}  // namespace

Kco_DX8_SoftwareStencilShadowObject::Kco_DX8_SoftwareStencilShadowObject() : worldMatrix(Identity()) {
    SetChannelName("DX8 SoftwareStencilShadowObject");
    SetChildCreationCount(1);
    SetChildCreateType(MakeChildCreation("DX8 3D Object", type_guids::kObjectChannel, kSourceLink, false, "Shadow Object"),
                       kSourceLink);
    geometry.buildStamp = GetTimeStamp();
    geometry.SetReport([this](const char* text) { ReportInternal(text); });
}

Kco_DX8_SoftwareStencilShadowObject::Kco_DX8_SoftwareStencilShadowObject(const Kco_DX8_SoftwareStencilShadowObject& other)
    : Kco_DX8_StencilShadowBaseObject(other),
      worldMatrix(other.worldMatrix),
      sourceTimeStamp(other.sourceTimeStamp),
      skinned(other.skinned) {
    // Buffers and edge records belong to one object: the copy starts unbuilt and builds
    // its own on its first construction.
    geometry.buildStamp = other.geometry.buildStamp;
    geometry.SetReport([this](const char* text) { ReportInternal(text); });
}

Kco_DX8_SoftwareStencilShadowObject& Kco_DX8_SoftwareStencilShadowObject::operator=(
    const Kco_DX8_SoftwareStencilShadowObject& other) {
    if (this == &other) return *this;
    InvalidateDeviceObjects();
    Kco_DX8_StencilShadowBaseObject::operator=(other);
    worldMatrix = other.worldMatrix;
    sourceTimeStamp = other.sourceTimeStamp;
    skinned = other.skinned;
    geometry.buildStamp = std::max(geometry.buildStamp, other.geometry.buildStamp);
    return *this;
}

Kco_DX8_SoftwareStencilShadowObject::~Kco_DX8_SoftwareStencilShadowObject() {
    InvalidateDeviceObjects();
    // extrusionStamps and the edge table go with `geometry`, which owns the records.
}

void Kco_DX8_SoftwareStencilShadowObject::ReportInternal(const char* text) {
    if (engineInterface) engineInterface->ShowDebugMessage(text);
}

void Kco_DX8_SoftwareStencilShadowObject::ReportSource(const char* text) {
    if (engineInterface) engineInterface->ShowDebugMessage(text);
}

void Kco_DX8_SoftwareStencilShadowObject::ReportSource(const char* text, int value) {
    if (engineInterface) engineInterface->ShowDebugMessage(text, value);
}

void Kco_DX8_SoftwareStencilShadowObject::ReleaseBuffers() {
    if (vertexBuffer) vertexBuffer->Release();
    if (indexBuffer) indexBuffer->Release();
    vertexBuffer = nullptr;
    indexBuffer = nullptr;
    uploadedIndexCount = 0;
}

void Kco_DX8_SoftwareStencilShadowObject::AbandonBuild() {
    geometry.Clear();
    ReleaseBuffers();
}

void Kco_DX8_SoftwareStencilShadowObject::InvalidateDeviceObjects() {
    geometry.Clear(/*keepEdgeTable=*/true);
    ReleaseBuffers();
    initialized = false;
    Kco_DX8_StencilShadowBaseObject::InvalidateDeviceObjects();
}

// ---- build ----

void Kco_DX8_SoftwareStencilShadowObject::InitializeObjectInfo() {
    Kel_Channel* source = GetChild(kSourceLink);
    if (!source) return;
    const int surfaceCount = source->GetChildTypeCount(type_guids::kSurfaceChannel);

    geometry.Clear();
    skinned = false;
    uploadedIndexCount = 0;

    // First pass: the kind of every surface and the raw totals of the accepted ones.
    int indexTotal = 0, rawVertices = 0;
    bool sawPlain = false;
    for (int i = 0; i < surfaceCount; ++i) {
        Kco_DX8_ObjectDataChannel* mesh = MeshOfSurface(source, i);
        if (!mesh) continue;
        const bool skinnedMesh = IsSkinnedKind(mesh->GetChannelType().typeGuid);
        // Skinned vertices are placed in world space and plain ones by the object matrix:
        // one volume cannot hold both, in either order.
        if (skinnedMesh ? sawPlain : skinned) {
            skinned = true;
            initialized = true;
            sourceTimeStamp = source->GetTimeStamp();
            ReportSource(kMixedSurfacesMessage);
            return;
        }
        skinned = skinned || skinnedMesh;
        sawPlain = sawPlain || !skinnedMesh;
        mesh->UpdateData();
        if (Accepted(mesh)) {
            indexTotal += mesh->GetIndexCount();
            rawVertices += mesh->GetVertexCount();
        }
    }
    initialized = true;
    sourceTimeStamp = source->GetTimeStamp();
    geometry.vertexCount = rawVertices;

    if (indexTotal / 3 == 0) return;
    if (rawVertices >= swshadow::kRawVertexLimit) {
        ReportSource(kVertexLimitMessage, rawVertices);
        return;
    }

    geometry.Allocate(rawVertices, indexTotal);
    ReleaseBuffers();
    IDirect3DDevice8* device = GetDevice();
    if (!device || device->CreateVertexBuffer(UINT(rawVertices) * 2 * kVolumeStride, D3DUSAGE_WRITEONLY, kVolumeFVF,
                                              D3DPOOL_DEFAULT, &vertexBuffer) != D3D_OK) {
        vertexBuffer = nullptr;
        ReportInternal("Couldn't CreateVertexBuffer");
        return;
    }
    // Second pass: weld each accepted surface and append its triangles and edges.
    geometry.vertexCount = 0;
    int t = 0;
    std::vector<D3DXVECTOR3> welded;
    std::vector<uint16_t> indices;
    for (int i = 0; i < surfaceCount; ++i) {
        Kco_DX8_ObjectDataChannel* mesh = MeshOfSurface(source, i);
        if (!mesh) continue;
        mesh->UpdateData();
        if (!Accepted(mesh)) continue;
        int n = mesh->GetVertexCount();
        const int m = mesh->GetIndexCount();
        // A mesh that grew since the first pass would not fit the arrays.
        if (n > int(geometry.positions.size()) - geometry.vertexCount) break;
        welded.assign(size_t(std::max(n, 0)), D3DXVECTOR3());
        indices.assign(size_t(m), 0);
        WeldObjectdata(&n, welded.data(), indices.data(), mesh);
        t = geometry.AppendSurface(welded.data(), n, indices.data(), m, t);
    }

    // Extruded copies sit in slots N + v: past 32,768 welded vertices they need the
    // device's 32-bit indices.
    const uint32_t maxVertexIndex = MaxVertexIndex(device);
    if (!geometry.FinishBuild(maxVertexIndex)) {
        ReportSource(WeldedLimitMessage(swshadow::ShadowGeometry::VertexLimit(maxVertexIndex)).c_str(),
                     geometry.vertexCount);
        AbandonBuild();
        return;
    }
    if (device->CreateIndexBuffer(UINT(geometry.VolumeIndexCapacity()) * UINT(geometry.IndexSize()),
                                  D3DUSAGE_WRITEONLY, geometry.wideIndices ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                  D3DPOOL_DEFAULT, &indexBuffer) != D3D_OK) {
        indexBuffer = nullptr;
        ReportInternal("Couldn't CreateIndexBuffer");
        AbandonBuild();
        return;
    }

    BYTE* data = nullptr;
    if (vertexBuffer->Lock(0, 0, &data, 0) == D3D_OK && data) {
        auto* slots = reinterpret_cast<VolumeVertex*>(data);
        for (int v = 0; v < geometry.vertexCount; ++v) {
            const D3DXVECTOR3& p = geometry.positions[size_t(v)];
            slots[v] = {p.x, p.y, p.z, 1.0f, 1.0f};
        }
        vertexBuffer->Unlock();
    }
}

void Kco_DX8_SoftwareStencilShadowObject::WeldObjectdata(int* count, D3DXVECTOR3* out, uint16_t* outIndices,
                                                         Kco_DX8_ObjectDataChannel* mesh) {
    if (!count || !mesh) return;
    const int n = std::max(*count, 0);
    std::vector<D3DXVECTOR3> points(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) points[size_t(j)] = mesh->GetVertexPosition(j);
    std::vector<int> map(static_cast<size_t>(n));
    int welded = n;
    if (skinned) {
        std::copy(points.begin(), points.end(), out);
        for (int j = 0; j < n; ++j) map[size_t(j)] = j;
    } else {
        welded = swshadow::WeldSpatial(points.data(), n, out, map.data());
    }
    // An index past the vertices maps to 0, as an unset entry of the engine's list reads.
    const int m = mesh->GetIndexCount();
    for (int i = 0; i < m; ++i) {
        const int index = mesh->GetIndexes(i);
        outIndices[i] = uint16_t(index < n ? map[size_t(index)] : 0);
    }
    *count = welded;
}

void Kco_DX8_SoftwareStencilShadowObject::AddEdge(int a, int b) { geometry.AddEdge(a, b); }

void Kco_DX8_SoftwareStencilShadowObject::AddEdges(int a, int b) { geometry.AddEdges(a, b); }

// ---- construction ----

void Kco_DX8_SoftwareStencilShadowObject::SkinPositions(Kel_Channel* source, int surfaceCount) {
    int w = 0;
    const int limit = geometry.vertexCount;
    for (int i = 0; i < surfaceCount; ++i) {
        Kco_DX8_ObjectDataChannel* mesh = MeshOfSurface(source, i);
        if (!mesh) continue;
        mesh->UpdateData();
        if (!Accepted(mesh)) continue;
        const GUID type = mesh->GetChannelType().typeGuid;
        if (!IsSkinnedKind(type)) continue;
        // Both kinds declare the blend operations in the same order.
        auto* skin = static_cast<Kco_DX8_SkinnedObjectData*>(mesh);
        const int count = skin->GetBlendWeightCount();
        const int n = mesh->GetVertexCount();
        for (int j = 0; j < n && w < limit; ++j) {
            const VertexBlend blend = skin->GetVertexBlend(j);
            float weight[4] = {blend.weight[0], blend.weight[1], blend.weight[2],
                               1.0f - (blend.weight[0] + blend.weight[1] + blend.weight[2])};
            switch (count) {
            case 1: weight[0] = 1.0f, weight[1] = weight[2] = weight[3] = 0.0f; break;
            case 2: weight[1] = 1.0f - weight[0], weight[2] = weight[3] = 0.0f; break;
            case 3: weight[2] = 1.0f - (weight[0] + weight[1]), weight[3] = 0.0f; break;
            default: break;
            }
            const D3DXVECTOR3 p = mesh->GetVertexPosition(j);
            D3DXVECTOR3 sum;
            for (int k = 0; k < 4; ++k) {
                const D3DXMATRIX bone = skin->GetBlendMatrix(int((blend.matrixNumbers >> (8 * k)) & 0xFF));
                D3DXVECTOR3 q;
                D3DXVec3TransformCoord(&q, &p, &bone);
                sum += q * weight[k];
            }
            geometry.positions[size_t(w++)] = sum;
        }
    }
}

void Kco_DX8_SoftwareStencilShadowObject::CreateShadowVolume(const D3DXVECTOR3& light, float extrusion, bool caps) {
    Kel_Channel* source = GetChild(kSourceLink);
    if (!source) return;
    if (source->GetTimeStamp() != sourceTimeStamp) initialized = false;
    if (!initialized) InitializeObjectInfo();
    if (!initialized) return;
    // A failed build has no arrays or buffers: nothing to build, nothing to draw.
    if (!geometry.HasGeometry() || !vertexBuffer || !indexBuffer) {
        uploadedIndexCount = 0;
        return;
    }
    const int surfaceCount = source->GetChildTypeCount(type_guids::kSurfaceChannel);
    auto* object = source->IsOfType(type_guids::kObjectChannel) ? static_cast<Kco_DX8_ObjectChannel*>(source) : nullptr;

    worldMatrix = skinned || !object ? Identity() : object->GetObjectMatrix();
    D3DXMATRIX toObject;
    if (!D3DXMatrixInverse(&toObject, nullptr, &worldMatrix)) {
        // A flattened object has no inside for a light to be placed in: no volume.
        uploadedIndexCount = 0;
        return;
    }
    D3DXVECTOR3 localLight;
    D3DXVec3TransformCoord(&localLight, &light, &toObject);
    if (extrusion == -1.0f) extrusion = CalculateMaxVolumeDistance(object, light);

    if (skinned) SkinPositions(source, surfaceCount);
    geometry.Construct(localLight, extrusion, caps, skinned);

    const int n = geometry.vertexCount;
    BYTE* data = nullptr;
    if (vertexBuffer->Lock(0, 0, &data, 0) == D3D_OK && data) {
        auto* slots = reinterpret_cast<VolumeVertex*>(data);
        for (int i = 0; i < geometry.extrudedCount; ++i) {
            const swshadow::ExtrudedVertex& x = geometry.extrudedVertices[size_t(i)];
            slots[x.slot] = {x.position.x, x.position.y, x.position.z, 1.0f, 1.0f};
        }
        if (skinned)
            for (int v = 0; v < n; ++v) {
                const D3DXVECTOR3& p = geometry.positions[size_t(v)];
                slots[v] = {p.x, p.y, p.z, 0.0f, 1.0f};
            }
        vertexBuffer->Unlock();
    }

    data = nullptr;
    if (indexBuffer->Lock(0, 0, &data, 0) != D3D_OK || !data) {
        ReportInternal("Couldn't lock INDEX buffer");
        // The old indices name slots this construction may have moved: draw nothing.
        uploadedIndexCount = 0;
        return;
    }
    std::memcpy(data, geometry.VolumeIndexData(), size_t(geometry.volumeIndexCount) * size_t(geometry.IndexSize()));
    indexBuffer->Unlock();
    uploadedIndexCount = geometry.volumeIndexCount;
}

// The automatic extrusion factor. Its base is the classic rule: the distance d from the light
// to the far plane along the line through the box corner farthest from the light (at most the
// far clipping distance), over |light| + m, m being that corner's distance. The base stands
// wherever it works; its faults are mended where they occur:
// - |light| is measured from the world origin, so the farther a scene lies from it, the
//   shorter its volumes. The light's distance from the eye takes its place when that is
//   smaller: a light no farther from the origin than from the eye keeps the base value.
// - A volume extruded past the far plane loses its far cap there, and depth-fail its shadow.
//   A factor that would do so is lowered until every extruded box corner stays in front of the
//   far plane (99% of its way there, clear of depth 1.0; extruded vertices lie in the hull of
//   the extruded corners, so the whole volume does), but never below m / n − 1 (n: the light's
//   distance from the box), which still takes every copy at least as far from the light as the
//   farthest corner: a long caster reaching towards the far plane keeps its shadow.
// - A volume that ends, even next to the light, before the far distance (or the far plane) may
//   stop above what it should darken: the factor is raised until the copy of the box's nearest
//   point gets that far, but not past the far-plane limit.
float Kco_DX8_SoftwareStencilShadowObject::CalculateMaxVolumeDistance(Kco_DX8_ObjectChannel* object,
                                                                      const D3DXVECTOR3& light) {
    if (!object || !directGraphics) return 1.0f;
    const ProjectionInformation* projection = directGraphics->GetProjectionInformation();
    if (!projection) return 1.0f;
    const float farClip = projection->farClip;
    D3DXPLANE farPlane = directGraphics->GetViewFrustumPlane(kFarFrustumPlane);
    D3DXMATRIX view = directGraphics->GetCameraMatrix(), cameraWorld;
    const bool haveEye = D3DXMatrixInverse(&cameraWorld, nullptr, &view) != nullptr;
    const D3DXVECTOR3 eye(cameraWorld._41, cameraWorld._42, cameraWorld._43);

    D3DXVECTOR3 mn, mx;
    object->GetBoundingBoxMinMax(&mn, &mx);
    const D3DXVECTOR3 corners[8] = {{mn.x, mn.y, mn.z}, {mx.x, mn.y, mn.z}, {mx.x, mn.y, mx.z}, {mn.x, mn.y, mx.z},
                                    {mn.x, mx.y, mn.z}, {mx.x, mx.y, mn.z}, {mx.x, mx.y, mx.z}, {mn.x, mx.y, mx.z}};
    float m = 0.0f, nearestCorner = std::numeric_limits<float>::infinity();
    const D3DXVECTOR3* farthest = nullptr;
    for (const D3DXVECTOR3& corner : corners) {
        const D3DXVECTOR3 away = light - corner;
        const float dist = D3DXVec3Length(&away);
        if (dist > m) m = dist, farthest = &corner;  // the first of equals wins
        if (dist > 0.0f) nearestCorner = std::min(nearestCorner, dist);
    }
    // Every corner at the light: no direction to extrude along.
    if (!farthest) return 1.0f;

    float base = 1.0f;  // no line to the far plane
    D3DXVECTOR3 hit;
    if (D3DXPlaneIntersectLine(&hit, &farPlane, &light, farthest)) {
        const D3DXVECTOR3 reach = hit - light;
        const float d = std::min(D3DXVec3Length(&reach), farClip);
        const D3DXVECTOR3 fromEye = light - eye;
        const float fromOrigin = D3DXVec3Length(&light);
        const float offset = haveEye ? std::min(fromOrigin, D3DXVec3Length(&fromEye)) : fromOrigin;
        base = d / (offset + m);
    }

    // The inside of the far plane is the eye's side.
    const float normalLength = std::sqrt(farPlane.a * farPlane.a + farPlane.b * farPlane.b + farPlane.c * farPlane.c);
    if (!(normalLength > 0.0f) || !haveEye) return base;
    const float side = D3DXPlaneDotCoord(&farPlane, &eye) < 0.0f ? -1.0f / normalLength : 1.0f / normalLength;
    float limit = std::numeric_limits<float>::infinity();
    for (const D3DXVECTOR3& corner : corners) {
        const D3DXVECTOR3 away = corner - light;
        // A corner beyond the far plane cannot be brought inside; one moving away from it
        // never reaches it.
        const float inside = side * D3DXPlaneDotCoord(&farPlane, &corner);
        const float approach = -side * D3DXPlaneDotNormal(&farPlane, &away);
        if (inside > 0.0f && approach > 0.0f) limit = std::min(limit, inside / approach);
    }
    const float cap = kFarPlaneShare * limit;

    // n: the light's distance from the box (from its nearest corner when it is inside), and
    // the far plane's distance along the ray through that nearest point.
    const auto clamp = [](float v, float lo, float hi) { return std::max(lo, std::min(v, hi)); };
    const D3DXVECTOR3 onBox(clamp(light.x, mn.x, mx.x), clamp(light.y, mn.y, mx.y), clamp(light.z, mn.z, mx.z));
    const D3DXVECTOR3 toBox = onBox - light;
    const float n = D3DXVec3Length(&toBox) > 0.0f ? D3DXVec3Length(&toBox) : nearestCorner;
    if (base > cap) return std::max(cap, std::min(base, m / n - 1.0f));

    // Short of it: the copy of the box's nearest point must get as far from the light as the
    // far distance, or 99% of the way to the far plane when that comes first.
    float target = farClip;
    const D3DXVECTOR3 nearestPoint = D3DXVec3Length(&toBox) > 0.0f ? toBox : D3DXVECTOR3(0, 0, 0);
    const float lightInside = side * D3DXPlaneDotCoord(&farPlane, &light);
    const float rate = n > 0.0f ? -side * D3DXPlaneDotNormal(&farPlane, &nearestPoint) / n : 0.0f;
    if (lightInside > 0.0f && rate > 0.0f) target = std::min(target, kFarPlaneShare * lightInside / rate);
    const float reach = target / n - 1.0f;
    return base < reach ? std::min(reach, cap) : base;
}

void Kco_DX8_SoftwareStencilShadowObject::DrawCurrentVolume() {
    IDirect3DDevice8* device = GetDevice();
    if (!device || !vertexBuffer || !indexBuffer || uploadedIndexCount < 3) return;
    device->SetTransform(D3DTS_WORLD, &worldMatrix);
    device->SetVertexShader(kVolumeFVF);
    device->SetStreamSource(0, vertexBuffer, kVolumeStride);
    device->SetIndices(indexBuffer, 0);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, UINT(2 * geometry.vertexCount), 0,
                                 UINT(uploadedIndexCount / 3));
}
