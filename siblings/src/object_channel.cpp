#include "plugin_frame/siblings/object_channel.h"

#include <d3d8/d3d8.h>

#include <algorithm>
#include <vecmath/d3dx_math.h>

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/siblings/skinned_object_data.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_ObjectChannel,
                       (ChannelTypeInfo{"DX8 3D Object", type_guids::kObjectChannel, type_guids::kObjectChannel, 0}))

namespace {

bool IsSkinned(Kel_Channel* mesh) {
    const GUID type = mesh->Type().typeGuid;
    return type == type_guids::kSkinnedObjectData || type == type_guids::kBoneOffsetObjectData;
}

void Grow(D3DXVECTOR3& lo, D3DXVECTOR3& hi, const D3DXVECTOR3& p) {
    D3DXVec3Minimize(&lo, &lo, &p);
    D3DXVec3Maximize(&hi, &hi, &p);
}

void GrowByBox(D3DXVECTOR3& lo, D3DXVECTOR3& hi, const D3DXVECTOR3& boxLo, const D3DXVECTOR3& boxHi, const D3DXMATRIX* m) {
    for (int c = 0; c < 8; ++c) {
        D3DXVECTOR3 corner((c & 1) ? boxHi.x : boxLo.x, (c & 2) ? boxHi.y : boxLo.y, (c & 4) ? boxHi.z : boxLo.z);
        if (m) D3DXVec3TransformCoord(&corner, &corner, m);
        Grow(lo, hi, corner);
    }
}

}  // namespace

Kco_DX8_ObjectChannel::Kco_DX8_ObjectChannel() {
    SetChannelName("DX8 3D Object");
    D3DXMatrixIdentity(&objectMatrix);
    SetChildCreationCount(2);
    SetChildCreateType(MakeChildCreation("DX8 Surface", type_guids::kSurfaceChannel, -1, false, "Surfaces"), 0);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 1, false, "Object Matrix"), 1);
    if (engineInterface)
        directGraphics = static_cast<Kco_DX8_DirectGraphicsChannel*>(
            engineInterface->GetUniqueChannel(type_guids::kDirectGraphicsChannel, nullptr));
}

Kco_DX8_ObjectChannel::~Kco_DX8_ObjectChannel() = default;

bool Kco_DX8_ObjectChannel::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    saver.SaveTag("OBMA");
    saver.SaveBlockSize(64);
    saver.SaveDataToFile(&objectMatrix.m[0][0], 64);
    const float box[6] = {boxMin.x, boxMin.y, boxMin.z, boxMax.x, boxMax.y, boxMax.z};
    SaveField(saver, "OBBX", box);
    return true;
}

bool Kco_DX8_ObjectChannel::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    if (loader.GetInfoIfTag("OBMA")) loader.CopyTagDataToPointer(&objectMatrix.m[0][0], 64);
    float box[6] = {boxMin.x, boxMin.y, boxMin.z, boxMax.x, boxMax.y, boxMax.z};
    if (LoadField(loader, "OBBX", box)) {
        boxMin = D3DXVECTOR3(box[0], box[1], box[2]);
        boxMax = D3DXVECTOR3(box[3], box[4], box[5]);
    }
    return true;
}

void Kco_DX8_ObjectChannel::DoDependencyInit(Kel_List* list) {
    AddChannelGuidDepend(type_guids::kDirectGraphicsChannel, list);
}

D3DXMATRIX Kco_DX8_ObjectChannel::GetObjectMatrix() {
    auto* child = GetChildFromLinkPosition(1, 0);
    if (child && child->IsOfType(type_guids::kMatrixChannel)) return static_cast<Kco_MatrixChannel*>(child)->GetMatrix();
    return objectMatrix;
}

void Kco_DX8_ObjectChannel::SetObjectMatrix(const D3DXMATRIX& m) { objectMatrix = m; }

uint32_t Kco_DX8_ObjectChannel::GetTimeStamp() {
    if (seenLinkGeneration != GetLinkGeneration()) {
        seenLinkGeneration = GetLinkGeneration();
        SetTimeStamp();
    }
    uint32_t stamp = Kel_Channel::GetTimeStamp();
    for (int s = 0; s < GetSurfaceCount(); ++s) {
        Kco_DX8_SurfaceChannel* surface = GetSurface(s);
        if (Kco_DX8_ObjectDataChannel* mesh = surface ? surface->GetMesh() : nullptr) stamp = std::max(stamp, mesh->GetTimeStamp());
    }
    return stamp;
}

bool Kco_DX8_ObjectChannel::GetIfObjectIsVisible() {
    if (!directGraphics) return false;
    D3DXVECTOR3 lo, hi;
    GetLocalBoundingBox(&lo, &hi);
    const D3DXMATRIX world = directGraphics->GetWorldMatrix();
    // The box is outside when all eight corners lie behind one frustum plane.
    for (int p = 0; p < 6; ++p) {
        const D3DXPLANE plane = directGraphics->GetViewFrustumPlane(p);
        int behind = 0;
        for (int c = 0; c < 8; ++c) {
            D3DXVECTOR3 corner((c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z);
            D3DXVec3TransformCoord(&corner, &corner, &world);
            if (D3DXPlaneDotCoord(&plane, &corner) < 0.0f) ++behind;
        }
        if (behind == 8) return false;
    }
    return true;
}

// Plain meshes are placed by the object matrix; skinned ones are already in world space
// through their blend matrices.
void Kco_DX8_ObjectChannel::GetBoundingBoxMinMax(D3DXVECTOR3* outMin, D3DXVECTOR3* outMax) {
    const D3DXMATRIX m = GetObjectMatrix();
    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    bool any = false;
    for (int s = 0; s < GetSurfaceCount(); ++s) {
        Kco_DX8_SurfaceChannel* surface = GetSurface(s);
        Kco_DX8_ObjectDataChannel* mesh = surface ? surface->GetMesh() : nullptr;
        if (!mesh) continue;
        mesh->UpdateData();
        if (mesh->GetVertexCount() == 0) continue;
        any = true;
        if (IsSkinned(mesh)) {
            auto* skin = static_cast<Kco_DX8_SkinnedObjectData*>(mesh);
            for (int j = 0; j < skin->GetVertexCount(); ++j) Grow(lo, hi, skin->GetBlendedVertexPosition(j));
        } else {
            GrowByBox(lo, hi, mesh->GetBoundingBoxMin(), mesh->GetBoundingBoxMax(), &m);
        }
    }
    if (!any) GrowByBox(lo, hi, boxMin, boxMax, &m);
    if (outMin) *outMin = lo;
    if (outMax) *outMax = hi;
}

void Kco_DX8_ObjectChannel::SetLocalBoundingBox(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) {
    boxMin = lo;
    boxMax = hi;
}

void Kco_DX8_ObjectChannel::GetLocalBoundingBox(D3DXVECTOR3* outMin, D3DXVECTOR3* outMax) {
    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    bool any = false;
    for (int s = 0; s < GetSurfaceCount(); ++s) {
        Kco_DX8_SurfaceChannel* surface = GetSurface(s);
        Kco_DX8_ObjectDataChannel* mesh = surface ? surface->GetMesh() : nullptr;
        if (!mesh) continue;
        mesh->UpdateData();
        if (mesh->GetVertexCount() == 0) continue;
        any = true;
        GrowByBox(lo, hi, mesh->GetBoundingBoxMin(), mesh->GetBoundingBoxMax(), nullptr);
    }
    if (!any) lo = boxMin, hi = boxMax;
    if (outMin) *outMin = lo;
    if (outMax) *outMax = hi;
}

Kco_DX8_DirectGraphicsChannel* Kco_DX8_ObjectChannel::GetDirectGraphicsChannel() { return directGraphics; }

int Kco_DX8_ObjectChannel::GetSurfaceCount() { return GetChildTypeCount(type_guids::kSurfaceChannel); }

Kco_DX8_SurfaceChannel* Kco_DX8_ObjectChannel::GetSurface(int i) {
    return static_cast<Kco_DX8_SurfaceChannel*>(GetChildFromLinkGuid(type_guids::kSurfaceChannel, i));
}

void Kco_DX8_ObjectChannel::DrawObject() {
    const D3DXMATRIX m = GetObjectMatrix();
    for (int s = 0; s < GetSurfaceCount(); ++s)
        if (Kco_DX8_SurfaceChannel* surface = GetSurface(s)) surface->DrawSurface(m);
}
