// The unique direct-graphics channel: owns the device and knows the camera.
#pragma once

#include <memory>

#include <vecmath/d3dx_types.h>

#include "plugin_frame/kel_channel.h"

class IDirect3DDevice8;

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
    virtual void SetDirect3dDevice(std::unique_ptr<IDirect3DDevice8> replacement);

protected:
    std::unique_ptr<IDirect3DDevice8> device;
    D3DXMATRIX cameraMatrix;
    ProjectionInformation projection;
};
