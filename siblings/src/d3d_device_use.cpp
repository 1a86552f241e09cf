#include "plugin_frame/siblings/d3d_device_use.h"

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_D3DDeviceUse,
                       (ChannelTypeInfo{"DX8 D3DDeviceUse", type_guids::kD3DDeviceUse, type_guids::kD3DDeviceUse, 0}))

Kco_DX8_D3DDeviceUse::Kco_DX8_D3DDeviceUse() {
    SetChannelName("DX8 D3DDeviceUse");
    if (engineInterface)
        directGraphics = static_cast<Kco_DX8_DirectGraphicsChannel*>(
            engineInterface->GetUniqueChannel(type_guids::kDirectGraphicsChannel, nullptr));
}

Kco_DX8_D3DDeviceUse::~Kco_DX8_D3DDeviceUse() = default;

void Kco_DX8_D3DDeviceUse::DoDependencyInit(Kel_List* list) {
    AddChannelGuidDepend(type_guids::kDirectGraphicsChannel, list);
}

void Kco_DX8_D3DDeviceUse::InvalidateDeviceObjects() {}

void Kco_DX8_D3DDeviceUse::InvalidateDirectGraphics() {
    InvalidateDeviceObjects();
    directGraphics = nullptr;
}

IDirect3DDevice8* Kco_DX8_D3DDeviceUse::GetDevice() const {
    return directGraphics ? directGraphics->GetDirect3dDevice() : nullptr;
}
