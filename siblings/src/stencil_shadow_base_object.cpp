#include "plugin_frame/siblings/stencil_shadow_base_object.h"

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_StencilShadowBaseObject,
                       (ChannelTypeInfo{"DX8 StencilShadowBaseObject", type_guids::kStencilShadowBaseObject,
                                        type_guids::kD3DDeviceUse, 0}))

Kco_DX8_StencilShadowBaseObject::Kco_DX8_StencilShadowBaseObject() {
    SetChannelName("DX8 StencilShadowBaseObject");
}

Kco_DX8_StencilShadowBaseObject::~Kco_DX8_StencilShadowBaseObject() = default;

void Kco_DX8_StencilShadowBaseObject::InvalidateDeviceObjects() {}

// The abstract object casts no shadow: an implementation overrides both.
void Kco_DX8_StencilShadowBaseObject::CreateShadowVolume(const D3DXVECTOR3&, float, bool) {}

void Kco_DX8_StencilShadowBaseObject::DrawCurrentVolume() {}
