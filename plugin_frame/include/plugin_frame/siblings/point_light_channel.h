// A point light: position (its own, or the translation of a matrix child on link 0,
// "Light Matrix", so a project can move it), colour, range and attenuation.
#pragma once

#include <vecmath/d3dx_types.h>

#include "plugin_frame/siblings/d3d_device_use.h"

class Kco_DX8_PointLight : public Kco_DX8_D3DDeviceUse {
public:
    Kco_DX8_PointLight();
    ~Kco_DX8_PointLight() override;

    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;

    // ---- added, in this order ----
    // World-space position: the saved position placed by the matrix child when there is one.
    virtual D3DXVECTOR3 GetLightPosition();
    virtual void SetLightPosition(const D3DXVECTOR3& position);
    // Diffuse colour r, g, b, a, 0..1.
    virtual D3DXVECTOR4 GetLightColor();
    virtual void SetLightColor(const D3DXVECTOR4& color);
    // Distance beyond which the light has no effect, in world units.
    virtual float GetLightRange();
    virtual void SetLightRange(float range);
    // Constant, linear and quadratic attenuation factors.
    virtual D3DXVECTOR3 GetAttenuation();
    virtual void SetAttenuation(const D3DXVECTOR3& attenuation);
    // Puts the light into the device's light slot `index` and enables it.
    virtual bool SetLightToDevice(unsigned long index);

protected:
    D3DXVECTOR3 position{0.0f, 10.0f, 0.0f};       // "LPOS", world units
    D3DXVECTOR4 color{1.0f, 1.0f, 1.0f, 1.0f};     // "LCOL"
    float range = 1000.0f;                         // "LRNG", world units
    D3DXVECTOR3 attenuation{1.0f, 0.0f, 0.0f};     // "LATT": constant, linear, quadratic
};
