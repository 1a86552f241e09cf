// A camera: eye, target and up vector with a perspective projection. Apply() hands the
// view matrix and the projection to the direct-graphics channel, whose frustum planes and
// projection information then follow the camera. Link 0 ("Camera Matrix") may hold a
// matrix channel that places eye, target and up (as points / a direction) in the world.
#pragma once

#include <vecmath/d3dx_types.h>

#include "plugin_frame/siblings/d3d_device_use.h"

class Kco_DX8_Camera : public Kco_DX8_D3DDeviceUse {
public:
    Kco_DX8_Camera();
    ~Kco_DX8_Camera() override;

    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;

    // ---- added, in this order ----
    virtual void SetLookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up);
    // Eye position in world space (placed by the matrix child when there is one).
    virtual D3DXVECTOR3 GetEyePosition();
    // The left-handed look-at view matrix.
    virtual D3DXMATRIX GetViewMatrix();
    // Vertical field of view in radians, near and far clipping distances; the aspect ratio
    // follows the render target.
    virtual void SetPerspective(float fieldOfView, float nearClip, float farClip);
    virtual float GetFieldOfView();
    virtual float GetNearClip();
    virtual float GetFarClip();
    // Sets view and projection on the direct-graphics channel; false without one.
    virtual bool Apply();

protected:
    D3DXVECTOR3 eye{0.0f, 2.0f, -8.0f};  // "CEYE"
    D3DXVECTOR3 at{0.0f, 0.0f, 0.0f};    // "CTAR"
    D3DXVECTOR3 up{0.0f, 1.0f, 0.0f};    // "CUPV"
    float fieldOfView = 0.785398163f;    // "CFOV", radians
    float nearClip = 0.1f;               // "CNEA", world units
    float farClip = 1000.0f;             // "CFAR", world units
};
