#include "plugin_frame/siblings/direct_graphics_channel.h"

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_DirectGraphicsChannel,
                       (ChannelTypeInfo{"DX8 DirectGraphics", type_guids::kDirectGraphicsChannel,
                                        type_guids::kDirectGraphicsChannel, 0}))

namespace {
D3DXMATRIX ProjectionMatrix(const ProjectionInformation& p) {
    D3DXMATRIX m;
    D3DXMatrixPerspectiveFovLH(&m, p.fieldOfView, p.aspect, p.nearClip, p.farClip);
    return m;
}
}  // namespace

Kco_DX8_DirectGraphicsChannel::Kco_DX8_DirectGraphicsChannel() {
    SetChannelName("DX8 DirectGraphics");
    D3DXMatrixIdentity(&cameraMatrix);
}

Kco_DX8_DirectGraphicsChannel::~Kco_DX8_DirectGraphicsChannel() = default;

IDirect3DDevice8* Kco_DX8_DirectGraphicsChannel::Device() {
    if (!device && !deviceTried) {
        // Made once: where no device can be had (no display on Windows) it is not retried
        // for every channel that asks.
        deviceTried = true;
        device = d3d8host::CreateOffscreenDevice(640, 480);
        SetDeviceTransforms();
    }
    return device.get();
}

void Kco_DX8_DirectGraphicsChannel::SetDeviceTransforms() {
    if (!device) return;
    device->SetTransform(D3DTS_VIEW, &cameraMatrix);
    D3DXMATRIX projectionMatrix = ProjectionMatrix(projection);
    device->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
}

IDirect3DDevice8* Kco_DX8_DirectGraphicsChannel::GetDirect3dDevice() { return Device(); }

D3DXMATRIX Kco_DX8_DirectGraphicsChannel::GetCameraMatrix() { return cameraMatrix; }

D3DXMATRIX Kco_DX8_DirectGraphicsChannel::GetWorldMatrix() {
    D3DXMATRIX world;
    if (IDirect3DDevice8* d = Device()) d->GetTransform(D3DTS_WORLD, &world);
    else D3DXMatrixIdentity(&world);
    return world;
}

// Planes of view x projection (row vectors): a point p is inside when p . plane >= 0.
D3DXPLANE Kco_DX8_DirectGraphicsChannel::GetViewFrustumPlane(int index) {
    D3DXMATRIX projectionMatrix = ProjectionMatrix(projection);
    D3DXMATRIX m;
    D3DXMatrixMultiply(&m, &cameraMatrix, &projectionMatrix);
    auto column = [&m](int c) { return D3DXPLANE{m.m[0][c], m.m[1][c], m.m[2][c], m.m[3][c]}; };
    D3DXPLANE x = column(0), y = column(1), z = column(2), w = column(3);
    auto add = [](D3DXPLANE a, D3DXPLANE b, float s) {
        return D3DXPLANE{a.a + s * b.a, a.b + s * b.b, a.c + s * b.c, a.d + s * b.d};
    };
    D3DXPLANE plane;
    switch (index) {
        case 0: plane = add(w, x, 1.0f); break;   // left
        case 1: plane = add(w, x, -1.0f); break;  // right
        case 2: plane = add(w, y, -1.0f); break;  // top
        case 3: plane = add(w, y, 1.0f); break;   // bottom
        case 4: plane = add(w, z, -1.0f); break;  // far (depth 1): the one shadow volumes reach
        case 5: plane = z; break;                 // near (depth 0)
        default: return D3DXPLANE{0.0f, 0.0f, 0.0f, 0.0f};
    }
    D3DXPlaneNormalize(&plane, &plane);
    return plane;
}

ProjectionInformation* Kco_DX8_DirectGraphicsChannel::GetProjectionInformation() { return &projection; }

void Kco_DX8_DirectGraphicsChannel::SetCameraMatrix(const D3DXMATRIX& view) {
    cameraMatrix = view;
    if (IDirect3DDevice8* d = Device()) d->SetTransform(D3DTS_VIEW, &cameraMatrix);
}

void Kco_DX8_DirectGraphicsChannel::SetProjectionInformation(const ProjectionInformation& info) {
    projection = info;
    D3DXMATRIX projectionMatrix = ProjectionMatrix(projection);
    if (IDirect3DDevice8* d = Device()) d->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
}

void Kco_DX8_DirectGraphicsChannel::SetDirect3dDevice(d3d8host::DevicePtr replacement) {
    if (!replacement) return;
    device = std::move(replacement);
    deviceTried = true;
    SetDeviceTransforms();
}
