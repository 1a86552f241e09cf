#include "plugin_frame/siblings/surface_channel.h"

#include <d3d8/d3d8.h>

#include <algorithm>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_SurfaceChannel,
                       (ChannelTypeInfo{"DX8 Surface", type_guids::kSurfaceChannel, type_guids::kD3DDeviceUse, 0}))

Kco_DX8_SurfaceChannel::Kco_DX8_SurfaceChannel() {
    SetChannelName("DX8 Surface");
    SetChildCreationCount(1);
    SetChildCreateType(MakeChildCreation("DX8 ObjectData", type_guids::kObjectDataChannel, 0, false, "Mesh"), 0);
}

Kco_DX8_SurfaceChannel::~Kco_DX8_SurfaceChannel() = default;

bool Kco_DX8_SurfaceChannel::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    const float color[4] = {materialColor.x, materialColor.y, materialColor.z, materialColor.w};
    SaveField(saver, "SMCO", color);
    SaveField(saver, "SMAM", ambientFactor);
    return true;
}

bool Kco_DX8_SurfaceChannel::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    float color[4] = {materialColor.x, materialColor.y, materialColor.z, materialColor.w};
    if (LoadField(loader, "SMCO", color)) SetMaterialColor(D3DXVECTOR4{color[0], color[1], color[2], color[3]});
    float ambient = ambientFactor;
    if (LoadField(loader, "SMAM", ambient)) SetAmbientFactor(ambient);
    return true;
}

Kco_DX8_ObjectDataChannel* Kco_DX8_SurfaceChannel::GetMesh() {
    Kel_Channel* child = GetChildFromLinkGuid(type_guids::kObjectDataChannel, 0);
    return static_cast<Kco_DX8_ObjectDataChannel*>(child);
}

D3DXVECTOR4 Kco_DX8_SurfaceChannel::GetMaterialColor() { return materialColor; }

void Kco_DX8_SurfaceChannel::SetMaterialColor(const D3DXVECTOR4& color) {
    auto unit = [](float v) { return v == v ? std::clamp(v, 0.0f, 1.0f) : 0.0f; };
    materialColor = D3DXVECTOR4{unit(color.x), unit(color.y), unit(color.z), unit(color.w)};
}

float Kco_DX8_SurfaceChannel::GetAmbientFactor() { return ambientFactor; }

void Kco_DX8_SurfaceChannel::SetAmbientFactor(float factor) {
    ambientFactor = factor == factor ? std::clamp(factor, 0.0f, 1.0f) : 1.0f;
}

void Kco_DX8_SurfaceChannel::DrawSurface(const D3DXMATRIX& world) {
    IDirect3DDevice8* device = GetDevice();
    Kco_DX8_ObjectDataChannel* mesh = GetMesh();
    if (!device || !mesh) return;
    D3DMATERIAL8 material{};
    material.Diffuse = D3DCOLORVALUE{materialColor.x, materialColor.y, materialColor.z, materialColor.w};
    material.Ambient = D3DCOLORVALUE{materialColor.x * ambientFactor, materialColor.y * ambientFactor,
                                     materialColor.z * ambientFactor, materialColor.w};
    device->SetMaterial(&material);
    mesh->UpdateData();
    mesh->SetWorldMatrix(world);
    mesh->StreamVertexData();
}
