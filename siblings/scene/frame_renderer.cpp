#include "frame_renderer.h"

#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/siblings/camera_channel.h"
#include "plugin_frame/siblings/d3d_device_use.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/point_light_channel.h"
#include "plugin_frame/siblings/stencil_shadow.h"
#include "plugin_frame/type_guids.h"

namespace scene {

namespace {

constexpr DWORD kMaxLights = 8;

Kco_DX8_DirectGraphicsChannel* Graphics(EngineInterface& engine) {
    return static_cast<Kco_DX8_DirectGraphicsChannel*>(
        engine.GetUniqueChannel(type_guids::kDirectGraphicsChannel, nullptr));
}

template <typename T>
void ForEachOfType(Kel_ChannelGroup& group, const GUID& type, auto&& action) {
    for (int i = 0; i < group.GetChannelCount(); ++i)
        if (Kel_Channel* c = group.GetChannel(i); c && c->IsOfType(type)) action(static_cast<T*>(c));
}

}  // namespace

void ReleaseDeviceObjects(Kel_ChannelGroup& group) {
    ForEachOfType<Kco_DX8_D3DDeviceUse>(group, type_guids::kD3DDeviceUse,
                                        [](Kco_DX8_D3DDeviceUse* user) { user->InvalidateDeviceObjects(); });
}

IDirect3DDevice8* SceneDevice(EngineInterface& engine) {
    Kco_DX8_DirectGraphicsChannel* graphics = Graphics(engine);
    return graphics ? graphics->GetDirect3dDevice() : nullptr;
}

namespace {

// group: the channels to release device objects before a reset; null when none hold any.
bool Resize(EngineInterface& engine, Kel_ChannelGroup* group, unsigned width, unsigned height) {
    Kco_DX8_DirectGraphicsChannel* graphics = Graphics(engine);
    IDirect3DDevice8* device = graphics ? graphics->GetDirect3dDevice() : nullptr;
    if (!device) return false;
    UINT oldWidth = 0, oldHeight = 0;
    d3d8host::BackBufferSize(device, oldWidth, oldHeight);
    if (oldWidth != width || oldHeight != height) {
        if (group) ReleaseDeviceObjects(*group);
        if (d3d8host::ResetDevice(device, width, height) != D3D_OK) return false;
    }
    ProjectionInformation info = *graphics->GetProjectionInformation();
    info.aspect = float(width) / float(height ? height : 1);
    graphics->SetProjectionInformation(info);
    return true;
}

}  // namespace

bool ResizeScene(EngineInterface& engine, Kel_ChannelGroup& group, unsigned width, unsigned height) {
    return Resize(engine, &group, width, height);
}

bool ResizeScene(EngineInterface& engine, unsigned width, unsigned height) {
    return Resize(engine, nullptr, width, height);
}

bool RenderFrame(EngineInterface& engine, Kel_ChannelGroup& group, const FrameSettings& settings) {
    IDirect3DDevice8* device = SceneDevice(engine);
    if (!d3d8host::CanDraw(device)) return false;
    switch (d3d8host::CheckDevice(device)) {
        case d3d8host::DeviceState::Ready: break;
        case d3d8host::DeviceState::Lost: return false;  // nothing can be drawn until it comes back
        case d3d8host::DeviceState::NeedsReset:
            ReleaseDeviceObjects(group);
            if (d3d8host::ResetDevice(device) != D3D_OK) return false;
            break;
    }

    bool haveCamera = false;
    ForEachOfType<Kco_DX8_Camera>(group, type_guids::kCamera, [&](Kco_DX8_Camera* camera) {
        if (!haveCamera) haveCamera = camera->Apply();
    });

    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, settings.background, 1.0f, 0);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_STENCILENABLE, 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    device->SetRenderState(D3DRS_LIGHTING, 1);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    device->SetRenderState(D3DRS_AMBIENT, settings.ambient);

    DWORD lightCount = 0;
    ForEachOfType<Kco_DX8_PointLight>(group, type_guids::kPointLight, [&](Kco_DX8_PointLight* light) {
        if (lightCount < kMaxLights && light->SetLightToDevice(lightCount)) ++lightCount;
    });
    for (DWORD k = lightCount; k < kMaxLights; ++k) device->LightEnable(k, 0);

    ForEachOfType<Kco_DX8_ObjectChannel>(group, type_guids::kObjectChannel,
                                         [](Kco_DX8_ObjectChannel* object) { object->DrawObject(); });
    ForEachOfType<Kco_DX8_StencilShadow>(group, type_guids::kStencilShadow,
                                         [](Kco_DX8_StencilShadow* shadow) { shadow->RenderShadows(); });
    device->EndScene();
    return device->Present(nullptr, nullptr, nullptr, nullptr) == D3D_OK;
}

}  // namespace scene
