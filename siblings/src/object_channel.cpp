#include "plugin_frame/siblings/object_channel.h"

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_ObjectChannel,
                       (ChannelTypeInfo{"DX8 Object", type_guids::kObjectChannel, type_guids::kObjectChannel, 0}))

Kco_DX8_ObjectChannel::Kco_DX8_ObjectChannel() {
    SetChannelName("DX8 Object");
    D3DXMatrixIdentity(&objectMatrix);
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

D3DXMATRIX Kco_DX8_ObjectChannel::GetObjectMatrix() { return objectMatrix; }

void Kco_DX8_ObjectChannel::SetObjectMatrix(const D3DXMATRIX& m) {
    objectMatrix = m;
    SetTimeStamp();
}

bool Kco_DX8_ObjectChannel::GetIfObjectIsVisible() {
    if (!directGraphics) return false;
    D3DXMATRIX world = directGraphics->GetWorldMatrix();
    // The box is outside when all eight corners lie behind one frustum plane.
    for (int p = 0; p < 6; ++p) {
        D3DXPLANE plane = directGraphics->GetViewFrustumPlane(p);
        int behind = 0;
        for (int c = 0; c < 8; ++c) {
            D3DXVECTOR3 corner((c & 1) ? boxMax.x : boxMin.x, (c & 2) ? boxMax.y : boxMin.y,
                               (c & 4) ? boxMax.z : boxMin.z);
            D3DXVec3TransformCoord(&corner, &corner, &world);
            if (D3DXPlaneDotCoord(&plane, &corner) < 0.0f) ++behind;
        }
        if (behind == 8) return false;
    }
    return true;
}

void Kco_DX8_ObjectChannel::GetBoundingBoxMinMax(D3DXVECTOR3* outMin, D3DXVECTOR3* outMax) {
    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (int c = 0; c < 8; ++c) {
        D3DXVECTOR3 corner((c & 1) ? boxMax.x : boxMin.x, (c & 2) ? boxMax.y : boxMin.y,
                           (c & 4) ? boxMax.z : boxMin.z);
        D3DXVec3TransformCoord(&corner, &corner, &objectMatrix);
        D3DXVec3Minimize(&lo, &lo, &corner);
        D3DXVec3Maximize(&hi, &hi, &corner);
    }
    if (outMin) *outMin = lo;
    if (outMax) *outMax = hi;
}

void Kco_DX8_ObjectChannel::SetLocalBoundingBox(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) {
    boxMin = lo;
    boxMax = hi;
}

Kco_DX8_DirectGraphicsChannel* Kco_DX8_ObjectChannel::GetDirectGraphicsChannel() { return directGraphics; }
