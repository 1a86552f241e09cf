#include "swshadow/software_stencil_shadow_object.h"

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
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
    if (device->CreateIndexBuffer(UINT(geometry.VolumeIndexCapacity()) * sizeof(uint16_t), D3DUSAGE_WRITEONLY,
                                  D3DFMT_INDEX16, D3DPOOL_DEFAULT, &indexBuffer) != D3D_OK) {
        indexBuffer = nullptr;
        ReportInternal("Couldn't CreateIndexBuffer");
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

    if (!geometry.FinishBuild()) {
        // Extruded copies sit in slots N + v of a 16-bit index buffer.
        ReportSource(kVertexLimitMessage, 2 * geometry.vertexCount);
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
    std::memcpy(data, geometry.volumeIndices.data(), size_t(geometry.volumeIndexCount) * sizeof(uint16_t));
    indexBuffer->Unlock();
    uploadedIndexCount = geometry.volumeIndexCount;
}

// The longest extrusion whose far cap stays in front of the far plane: extruded copies
// lie in the hull of the extruded bounding-box corners, so keeping every corner inside
// keeps the whole volume inside, and depth-fail's far cap is never clipped away.
float Kco_DX8_SoftwareStencilShadowObject::CalculateMaxVolumeDistance(Kco_DX8_ObjectChannel* object,
                                                                      const D3DXVECTOR3& light) {
    if (!object || !directGraphics) return 1.0f;
    const ProjectionInformation* projection = directGraphics->GetProjectionInformation();
    if (!projection) return 1.0f;
    const D3DXPLANE farPlane = directGraphics->GetViewFrustumPlane(kFarFrustumPlane);

    // Everything in sight lies within `reach` of the eye.
    const float spread = std::tan(projection->fieldOfView * 0.5f) * std::sqrt(1.0f + projection->aspect * projection->aspect);
    const float reach = projection->farClip * std::sqrt(1.0f + spread * spread);
    D3DXMATRIX view = directGraphics->GetCameraMatrix(), cameraWorld;
    if (!D3DXMatrixInverse(&cameraWorld, nullptr, &view)) D3DXMatrixIdentity(&cameraWorld);
    const D3DXVECTOR3 eye(cameraWorld._41, cameraWorld._42, cameraWorld._43);

    D3DXVECTOR3 mn, mx;
    object->GetBoundingBoxMinMax(&mn, &mx);
    float limit = std::numeric_limits<float>::infinity(), nearest = limit, fromEye = 0.0f;
    for (int i = 0; i < 8; ++i) {
        const D3DXVECTOR3 corner(i & 1 ? mx.x : mn.x, i & 2 ? mx.y : mn.y, i & 4 ? mx.z : mn.z);
        const D3DXVECTOR3 away = corner - light, seen = corner - eye;
        const float dist = D3DXVec3Length(&away);
        if (dist > 0.0f) nearest = std::min(nearest, dist);
        fromEye = std::max(fromEye, D3DXVec3Length(&seen));
        // A corner beyond the far plane cannot be brought inside; one moving away from it
        // never reaches it.
        const float inside = D3DXPlaneDotCoord(&farPlane, &corner);
        const float approach = -D3DXPlaneDotNormal(&farPlane, &away);
        if (inside > 0.0f && approach > 0.0f) limit = std::min(limit, inside / approach);
    }
    // Every corner at the light: no direction to extrude along.
    if (!(nearest < std::numeric_limits<float>::infinity())) return 1.0f;
    // No point in sight is farther than reach + fromEye from the object: the copy of every
    // point at least `closest` from the light then moves past every receiver. This is the
    // factor when no corner moves towards the far plane, and it bounds rays that run almost
    // along it.
    const auto clamp = [](float v, float lo, float hi) { return std::max(lo, std::min(v, hi)); };  // lo > hi allowed
    const D3DXVECTOR3 onBox(clamp(light.x, mn.x, mx.x), clamp(light.y, mn.y, mx.y), clamp(light.z, mn.z, mx.z));
    const D3DXVECTOR3 toBox = onBox - light;
    const float closest = D3DXVec3Length(&toBox) > 0.0f ? D3DXVec3Length(&toBox) : nearest;
    const float pastEverything = (reach + fromEye) / closest;
    return std::min(kFarPlaneShare * limit, pastEverything);
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
