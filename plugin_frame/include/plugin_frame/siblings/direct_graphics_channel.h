// The unique direct-graphics channel: owns the device and knows the camera. The device is
// made off screen (a hidden window on Windows) on first use; GetDirect3dDevice is null where
// none can be made.
#pragma once

#include <d3d8/device_host.h>
#include <vecmath/d3dx_types.h>

#include "plugin_frame/kel_channel.h"

// The record GetProjectionInformation returns; the second float is the far clipping
// distance.
struct ProjectionInformation {
    float nearClip = 1.0f;
    float farClip = 1000.0f;
    float fieldOfView = 0.785398163f;  // radians, vertical
    float aspect = 4.0f / 3.0f;
};

class Kco_DX8_DirectGraphicsChannel : public Kel_Channel {
public:
    Kco_DX8_DirectGraphicsChannel();
    ~Kco_DX8_DirectGraphicsChannel() override;

    virtual IDirect3DDevice8* GetDirect3dDevice();
    // The view matrix.
    virtual D3DXMATRIX GetCameraMatrix();
    // The device's current world transform.
    virtual D3DXMATRIX GetWorldMatrix();
    // One plane of the current view frustum, in world space: 0 left, 1 right, 2 top,
    // 3 bottom, 4 far, 5 near; normals point inwards. Shadow objects ask for plane 4 to
    // extrude their volumes to the far end of the frustum.
    virtual D3DXPLANE GetViewFrustumPlane(int index);
    virtual ProjectionInformation* GetProjectionInformation();

    // Host side: sets the view matrix (also the device's view transform) and the projection.
    virtual void SetCameraMatrix(const D3DXMATRIX& view);
    virtual void SetProjectionInformation(const ProjectionInformation& info);
    // Host side: draws from now on with `replacement` (a window's device, say), which gets
    // the camera and projection. Call it before anything made device objects.
    virtual void SetDirect3dDevice(d3d8host::DevicePtr replacement);

protected:
    // The device, made when first asked for; null when none can be had.
    IDirect3DDevice8* Device();
    void SetDeviceTransforms();

    d3d8host::DevicePtr device;
    bool deviceTried = false;
    D3DXMATRIX cameraMatrix;
    ProjectionInformation projection;
};
