#include "plugin_frame/siblings/point_light_channel.h"

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_PointLight,
                       (ChannelTypeInfo{"DX8 PointLight", type_guids::kPointLight, type_guids::kD3DDeviceUse, 0}))

Kco_DX8_PointLight::Kco_DX8_PointLight() {
    SetChannelName("DX8 PointLight");
    SetChildCreationCount(1);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 0, false, "Light Matrix"), 0);
}

Kco_DX8_PointLight::~Kco_DX8_PointLight() = default;

bool Kco_DX8_PointLight::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveField(saver, "LPOS", position);
    SaveField(saver, "LCOL", color);
    SaveField(saver, "LRNG", range);
    SaveField(saver, "LATT", attenuation);
    return true;
}

bool Kco_DX8_PointLight::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    LoadField(loader, "LPOS", position);
    LoadField(loader, "LCOL", color);
    float r = range;
    if (LoadField(loader, "LRNG", r)) SetLightRange(r);
    LoadField(loader, "LATT", attenuation);
    return true;
}

D3DXVECTOR3 Kco_DX8_PointLight::GetLightPosition() {
    Kel_Channel* child = GetChildFromLinkPosition(0, 0);
    if (!child || !child->IsOfType(type_guids::kMatrixChannel)) return position;
    const D3DXMATRIX m = static_cast<Kco_MatrixChannel*>(child)->GetMatrix();
    D3DXVECTOR3 placed;
    D3DXVec3TransformCoord(&placed, &position, &m);
    return placed;
}

void Kco_DX8_PointLight::SetLightPosition(const D3DXVECTOR3& p) { position = p; }

D3DXVECTOR4 Kco_DX8_PointLight::GetLightColor() { return color; }

void Kco_DX8_PointLight::SetLightColor(const D3DXVECTOR4& c) { color = c; }

float Kco_DX8_PointLight::GetLightRange() { return range; }

void Kco_DX8_PointLight::SetLightRange(float r) { range = r > 0.0f ? r : 0.0f; }

D3DXVECTOR3 Kco_DX8_PointLight::GetAttenuation() { return attenuation; }

void Kco_DX8_PointLight::SetAttenuation(const D3DXVECTOR3& a) { attenuation = a; }

bool Kco_DX8_PointLight::SetLightToDevice(unsigned long index) {
    IDirect3DDevice8* device = GetDevice();
    if (!device) return false;
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = D3DCOLORVALUE{color.x, color.y, color.z, color.w};
    light.Position = GetLightPosition();
    light.Range = range;
    light.Attenuation0 = attenuation.x;
    light.Attenuation1 = attenuation.y;
    light.Attenuation2 = attenuation.z;
    if (device->SetLight(DWORD(index), &light) != D3D_OK) return false;
    return device->LightEnable(DWORD(index), 1) == D3D_OK;
}
