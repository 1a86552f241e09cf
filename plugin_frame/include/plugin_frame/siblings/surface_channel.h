// A surface of a 3D object: a material colour and one object data mesh (link 0, "Mesh").
#pragma once

#include <vecmath/d3dx_types.h>

#include "plugin_frame/siblings/d3d_device_use.h"

class Kco_DX8_ObjectDataChannel;

class Kco_DX8_SurfaceChannel : public Kco_DX8_D3DDeviceUse {
public:
    Kco_DX8_SurfaceChannel();
    ~Kco_DX8_SurfaceChannel() override;

    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;

    // ---- added, in this order ----
    // The first object data child (link 0), or null.
    virtual Kco_DX8_ObjectDataChannel* GetMesh();
    // Diffuse colour r, g, b, a, each 0..1 (default light grey, opaque).
    virtual D3DXVECTOR4 GetMaterialColor();
    virtual void SetMaterialColor(const D3DXVECTOR4& color);
    // Ambient share of the diffuse colour: the material's ambient is diffuse x this (0..1).
    virtual float GetAmbientFactor();
    virtual void SetAmbientFactor(float factor);
    // Sets the material on the device and draws the mesh placed by `world`.
    virtual void DrawSurface(const D3DXMATRIX& world);

protected:
    D3DXVECTOR4 materialColor{0.8f, 0.8f, 0.8f, 1.0f};  // "SMCO"
    float ambientFactor = 1.0f;                          // "SMAM"
};
