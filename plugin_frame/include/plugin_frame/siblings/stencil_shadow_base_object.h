// The abstract stencil shadow object: the render channel Kco_DX8_StencilShadow asks it, per
// light, to build its shadow volume and to draw it into the stencil buffer. The base's
// own operations do nothing; a shadow object plug-in implements them.
#pragma once

#include <vecmath/d3dx_types.h>

#include "plugin_frame/siblings/d3d_device_use.h"

class Kco_DX8_StencilShadowBaseObject : public Kco_DX8_D3DDeviceUse {
public:
    Kco_DX8_StencilShadowBaseObject();
    Kco_DX8_StencilShadowBaseObject(const Kco_DX8_StencilShadowBaseObject&) = default;
    Kco_DX8_StencilShadowBaseObject& operator=(const Kco_DX8_StencilShadowBaseObject&) = default;
    ~Kco_DX8_StencilShadowBaseObject() override;

    void InvalidateDeviceObjects() override;

    // ---- added, in this order ----
    // Builds the volume for a point light in world space. `extrusion` multiplies each
    // vertex's distance from the light (-1.0 asks the object for one that reaches the far
    // plane); `caps` asks for near and far caps (needed for depth-fail drawing).
    virtual void CreateShadowVolume(const D3DXVECTOR3& light, float extrusion, bool caps);
    // Draws the last volume built; sets no render states (they are the caller's).
    virtual void DrawCurrentVolume();
};
