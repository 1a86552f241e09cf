#include "plugin_frame/siblings/camera_channel.h"

#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_Camera, (ChannelTypeInfo{"DX8 Camera", type_guids::kCamera, type_guids::kD3DDeviceUse, 0}))

Kco_DX8_Camera::Kco_DX8_Camera() {
    SetChannelName("DX8 Camera");
    SetChildCreationCount(1);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 0, false, "Camera Matrix"), 0);
}

Kco_DX8_Camera::~Kco_DX8_Camera() = default;

bool Kco_DX8_Camera::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveField(saver, "CEYE", eye);
    SaveField(saver, "CTAR", at);
    SaveField(saver, "CUPV", up);
    SaveField(saver, "CFOV", fieldOfView);
    SaveField(saver, "CNEA", nearClip);
    SaveField(saver, "CFAR", farClip);
    return true;
}

bool Kco_DX8_Camera::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    LoadField(loader, "CEYE", eye);
    LoadField(loader, "CTAR", at);
    LoadField(loader, "CUPV", up);
    float fov = fieldOfView, n = nearClip, f = farClip;
    LoadField(loader, "CFOV", fov);
    LoadField(loader, "CNEA", n);
    LoadField(loader, "CFAR", f);
    SetPerspective(fov, n, f);
    return true;
}

void Kco_DX8_Camera::SetLookAt(const D3DXVECTOR3& e, const D3DXVECTOR3& a, const D3DXVECTOR3& u) {
    eye = e;
    at = a;
    up = u;
}

D3DXVECTOR3 Kco_DX8_Camera::GetEyePosition() {
    Kel_Channel* child = GetChildFromLinkPosition(0, 0);
    if (!child || !child->IsOfType(type_guids::kMatrixChannel)) return eye;
    const D3DXMATRIX m = static_cast<Kco_MatrixChannel*>(child)->GetMatrix();
    D3DXVECTOR3 placed;
    D3DXVec3TransformCoord(&placed, &eye, &m);
    return placed;
}

D3DXMATRIX Kco_DX8_Camera::GetViewMatrix() {
    D3DXVECTOR3 e = eye, a = at, u = up;
    if (Kel_Channel* child = GetChildFromLinkPosition(0, 0); child && child->IsOfType(type_guids::kMatrixChannel)) {
        const D3DXMATRIX m = static_cast<Kco_MatrixChannel*>(child)->GetMatrix();
        D3DXVec3TransformCoord(&e, &eye, &m);
        D3DXVec3TransformCoord(&a, &at, &m);
        D3DXVec3TransformNormal(&u, &up, &m);
    }
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &e, &a, &u);
    return view;
}

// Out-of-range values are kept inside what a perspective projection can use.
void Kco_DX8_Camera::SetPerspective(float fov, float n, float f) {
    fieldOfView = fov == fov ? std::clamp(fov, 0.01f, 3.1f) : 0.785398163f;
    nearClip = n == n && n > 1e-4f ? n : 1e-4f;
    farClip = f == f && f > nearClip * 1.001f ? f : nearClip * 1000.0f;
}

float Kco_DX8_Camera::GetFieldOfView() { return fieldOfView; }

float Kco_DX8_Camera::GetNearClip() { return nearClip; }

float Kco_DX8_Camera::GetFarClip() { return farClip; }

bool Kco_DX8_Camera::Apply() {
    if (!directGraphics) return false;
    ProjectionInformation info = *directGraphics->GetProjectionInformation();
    info.nearClip = nearClip;
    info.farClip = farClip;
    info.fieldOfView = fieldOfView;
    if (IDirect3DDevice8* device = GetDevice()) {
        UINT width = 0, height = 0;
        d3d8host::BackBufferSize(device, width, height);
        info.aspect = float(width) / float(std::max<UINT>(height, 1));
    }
    directGraphics->SetProjectionInformation(info);
    directGraphics->SetCameraMatrix(GetViewMatrix());
    return true;
}
