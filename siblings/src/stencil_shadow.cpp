#include "plugin_frame/siblings/stencil_shadow.h"

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/point_light_channel.h"
#include "plugin_frame/siblings/stencil_shadow_base_object.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_StencilShadow,
                       (ChannelTypeInfo{"DX8 StencilShadow", type_guids::kStencilShadow, type_guids::kD3DDeviceUse, 0}))

namespace {

constexpr int kLightsLink = 0;
constexpr int kObjectsLink = 1;

struct QuadVertex {
    float x, y, z;
    DWORD color;
};

// Whether the segment from a to b meets the box (slab test, both ends included).
bool SegmentMeetsBox(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) {
    float t0 = 0.0f, t1 = 1.0f;
    const float from[3] = {a.x, a.y, a.z}, to[3] = {b.x, b.y, b.z};
    const float mn[3] = {lo.x, lo.y, lo.z}, mx[3] = {hi.x, hi.y, hi.z};
    for (int k = 0; k < 3; ++k) {
        const float d = to[k] - from[k];
        if (std::fabs(d) < 1e-12f) {
            if (from[k] < mn[k] || from[k] > mx[k]) return false;
            continue;
        }
        float ta = (mn[k] - from[k]) / d, tb = (mx[k] - from[k]) / d;
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
        if (t0 > t1) return false;
    }
    return true;
}

}  // namespace

Kco_DX8_StencilShadow::Kco_DX8_StencilShadow() {
    SetChannelName("DX8 StencilShadow");
    SetChildCreationCount(2);
    SetChildCreateType(MakeChildCreation("DX8 PointLight", type_guids::kPointLight, -1, false, "Lights"), kLightsLink);
    SetChildCreateType(MakeChildCreation("DX8 StencilShadowBaseObject", type_guids::kStencilShadowBaseObject, -1, false,
                                         "Shadow Objects"),
                       kObjectsLink);
}

Kco_DX8_StencilShadow::~Kco_DX8_StencilShadow() { InvalidateDeviceObjects(); }

// Shadows darken what is already drawn, so they are drawn by the frame renderer after the
// objects (RenderShadows), not when the host calls the channels in group order.
void Kco_DX8_StencilShadow::CallChannel() {}

bool Kco_DX8_StencilShadow::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveField(saver, "SSDA", shadowDarkness);
    SaveField(saver, "SSEX", extrusion);
    SaveField(saver, "SSMO", shadowMethod);
    return true;
}

bool Kco_DX8_StencilShadow::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    float darkness = shadowDarkness;
    if (LoadField(loader, "SSDA", darkness)) SetShadowDarkness(darkness);
    LoadField(loader, "SSEX", extrusion);
    int32_t method = shadowMethod;
    if (LoadField(loader, "SSMO", method)) SetShadowMethod(method);
    return true;
}

void Kco_DX8_StencilShadow::InvalidateDeviceObjects() {
    if (darkenQuad) darkenQuad->Release();
    darkenQuad = nullptr;
}

Kco_DX8_ObjectChannel* Kco_DX8_StencilShadow::SourceObjectOf(Kco_DX8_StencilShadowBaseObject* object) {
    Kel_Channel* source = object ? object->GetChild(0) : nullptr;
    return source && source->IsOfType(type_guids::kObjectChannel) ? static_cast<Kco_DX8_ObjectChannel*>(source) : nullptr;
}

bool Kco_DX8_StencilShadow::GetIfCameraMayBeInsideVolume(const D3DXVECTOR3& light, Kco_DX8_StencilShadowBaseObject* object) {
    Kco_DX8_ObjectChannel* source = SourceObjectOf(object);
    if (!source || !directGraphics) return true;  // nothing to measure: take the safe method
    D3DXMATRIX view = directGraphics->GetCameraMatrix(), cameraWorld;
    if (!D3DXMatrixInverse(&cameraWorld, nullptr, &view)) return true;
    const D3DXVECTOR3 camera(cameraWorld._41, cameraWorld._42, cameraWorld._43);
    // The near plane's corners lie within this distance of the eye; a volume that comes
    // this close to the eye may cut the near plane.
    const ProjectionInformation* p = directGraphics->GetProjectionInformation();
    const float halfHeight = p->nearClip * std::tan(p->fieldOfView * 0.5f);
    const float reach = std::sqrt(p->nearClip * p->nearClip + halfHeight * halfHeight * (1.0f + p->aspect * p->aspect));
    D3DXVECTOR3 lo, hi;
    source->GetBoundingBoxMinMax(&lo, &hi);
    const D3DXVECTOR3 grow(reach, reach, reach);
    return SegmentMeetsBox(light, camera, lo - grow, hi + grow);
}

void Kco_DX8_StencilShadow::DrawVolumePasses(Kco_DX8_StencilShadowBaseObject* object, bool depthFail) {
    IDirect3DDevice8* device = GetDevice();
    if (!device || !object) return;
    device->SetRenderState(D3DRS_ZENABLE, 1);
    device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_STENCILENABLE, 1);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_STENCILREF, 0);
    device->SetRenderState(D3DRS_STENCILMASK, 0xFFFFFFFFu);
    device->SetRenderState(D3DRS_STENCILWRITEMASK, 0xFFFFFFFFu);
    device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    // Wrapping counts: a pixel inside two volumes goes up and down again without sticking.
    if (depthFail) {
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);  // back faces
        device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_INCR);
        object->DrawCurrentVolume();
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);  // front faces
        device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_DECR);
        object->DrawCurrentVolume();
    } else {
        device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);  // front faces
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
        object->DrawCurrentVolume();
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);  // back faces
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_DECR);
        object->DrawCurrentVolume();
    }
}

void Kco_DX8_StencilShadow::DarkenStencilledPixels(float alpha) {
    IDirect3DDevice8* device = GetDevice();
    if (!device || alpha <= 0.0f) return;
    const DWORD color = DWORD(std::lround(std::clamp(alpha, 0.0f, 1.0f) * 255.0f)) << 24;
    if (!darkenQuad) {
        if (device->CreateVertexBuffer(4 * sizeof(QuadVertex), D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                       D3DPOOL_MANAGED, &darkenQuad) != D3D_OK) {
            darkenQuad = nullptr;
            return;
        }
    }
    // The quad covers the clip-space square, so it needs identity transforms; its colour
    // carries this call's alpha.
    BYTE* data = nullptr;
    if (darkenQuad->Lock(0, 0, &data, 0) != D3D_OK || !data) return;
    const QuadVertex quad[4] = {{-1, 1, 0.5f, color}, {1, 1, 0.5f, color}, {-1, -1, 0.5f, color}, {1, -1, 0.5f, color}};
    std::memcpy(data, quad, sizeof(quad));
    darkenQuad->Unlock();

    D3DMATRIX saved[3];
    const D3DTRANSFORMSTATETYPE slots[3] = {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION};
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (int k = 0; k < 3; ++k) {
        device->GetTransform(slots[k], &saved[k]);
        device->SetTransform(slots[k], &identity);
    }
    device->SetRenderState(D3DRS_ZENABLE, 0);
    device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_STENCILENABLE, 1);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_NOTEQUAL);
    device->SetRenderState(D3DRS_STENCILREF, 0);
    device->SetRenderState(D3DRS_STENCILMASK, 0xFFFFFFFFu);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->SetStreamSource(0, darkenQuad, sizeof(QuadVertex));
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    for (int k = 0; k < 3; ++k) device->SetTransform(slots[k], &saved[k]);
}

// The links are walked in place, once to count and once to draw: a frame allocates nothing.
void Kco_DX8_StencilShadow::RenderShadows() {
    IDirect3DDevice8* device = GetDevice();
    if (!device) return;
    auto lightAt = [this](int k) -> Kco_DX8_PointLight* {
        Kel_Channel* c = GetChildFromLinkPosition(kLightsLink, k);
        return c && c->IsOfType(type_guids::kPointLight) ? static_cast<Kco_DX8_PointLight*>(c) : nullptr;
    };
    auto objectAt = [this](int k) -> Kco_DX8_StencilShadowBaseObject* {
        Kel_Channel* c = GetChildFromLinkPosition(kObjectsLink, k);
        return c && c->IsOfType(type_guids::kStencilShadowBaseObject) ? static_cast<Kco_DX8_StencilShadowBaseObject*>(c)
                                                                       : nullptr;
    };
    const int lightPositions = GetChildLinkPositionCount(kLightsLink);
    const int objectPositions = GetChildLinkPositionCount(kObjectsLink);
    int lightCount = 0;
    bool anyObject = false;
    for (int k = 0; k < lightPositions; ++k) lightCount += lightAt(k) != nullptr;
    for (int k = 0; k < objectPositions && !anyObject; ++k) anyObject = objectAt(k) != nullptr;
    if (lightCount == 0 || !anyObject) return;

    D3DMATRIX savedWorld;
    device->GetTransform(D3DTS_WORLD, &savedWorld);
    const float share = shadowDarkness / float(lightCount);
    for (int l = 0; l < lightPositions; ++l) {
        Kco_DX8_PointLight* light = lightAt(l);
        if (!light) continue;
        device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0);
        const D3DXVECTOR3 position = light->GetLightPosition();
        for (int o = 0; o < objectPositions; ++o) {
            Kco_DX8_StencilShadowBaseObject* object = objectAt(o);
            if (!object) continue;
            const bool depthFail = shadowMethod == kShadowMethodDepthFail ||
                                   (shadowMethod == kShadowMethodAuto && GetIfCameraMayBeInsideVolume(position, object));
            object->CreateShadowVolume(position, extrusion, depthFail);
            DrawVolumePasses(object, depthFail);
        }
        DarkenStencilledPixels(share);
    }
    device->SetTransform(D3DTS_WORLD, &savedWorld);
    device->SetRenderState(D3DRS_ZENABLE, 1);
    device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_STENCILENABLE, 0);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_LIGHTING, 1);
}

void Kco_DX8_StencilShadow::SetShadowDarkness(float darkness) {
    shadowDarkness = darkness == darkness ? std::clamp(darkness, 0.0f, 1.0f) : 0.5f;
}

float Kco_DX8_StencilShadow::GetShadowDarkness() { return shadowDarkness; }

void Kco_DX8_StencilShadow::SetExtrusion(float e) { extrusion = e; }

float Kco_DX8_StencilShadow::GetExtrusion() { return extrusion; }

void Kco_DX8_StencilShadow::SetShadowMethod(int method) {
    shadowMethod = method >= kShadowMethodAuto && method <= kShadowMethodDepthFail ? method : kShadowMethodAuto;
}

int Kco_DX8_StencilShadow::GetShadowMethod() { return shadowMethod; }
