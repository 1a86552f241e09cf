// The stencil shadow render channel: for each light (link 0, "Lights", any number of
// Kco_DX8_PointLight) and each shadow object (link 1, "Shadow Objects", any number of
// Kco_DX8_StencilShadowBaseObject) it has the object build its volume and draws it into
// the stencil buffer, then darkens the pixels whose stencil count is not zero.
//
// Each volume is drawn in two passes with colour and depth writes off. Depth-pass
// (front faces increment, back faces decrement where the depth test passes) when the
// camera surely lies outside the volume; depth-fail with caps (back faces increment,
// front faces decrement where the depth test fails) when the camera may be inside it.
// Lights are handled one after another, each with a cleared stencil buffer and its share
// of the darkening.
#pragma once

#include <vecmath/d3dx_types.h>

#include "plugin_frame/siblings/d3d_device_use.h"

class Kco_DX8_StencilShadowBaseObject;
class Kco_DX8_ObjectChannel;
class IDirect3DVertexBuffer8;

// How the render channel picks the stencil method per light and object ("SSMO").
enum StencilShadowMethod : int32_t {
    kShadowMethodAuto = 0,       // depth-fail with caps only where the camera may be inside
    kShadowMethodDepthPass = 1,  // always depth-pass, no caps
    kShadowMethodDepthFail = 2,  // always depth-fail with caps
};

class Kco_DX8_StencilShadow : public Kco_DX8_D3DDeviceUse {
public:
    Kco_DX8_StencilShadow();
    ~Kco_DX8_StencilShadow() override;

    // Draws nothing: shadows need the frame's objects drawn first, so the frame renderer
    // calls RenderShadows after them.
    void CallChannel() override;
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void InvalidateDeviceObjects() override;

    // ---- added, in this order ----
    // All lights, all shadow objects, then the darkening; the device's render states are
    // put back to depth test on, depth write on, stencil off, colour writes on, no blending.
    virtual void RenderShadows();
    // Whether the camera may lie inside the volume the object casts from the light: the
    // line from the light to the camera passes through the object's box (grown by the near
    // clipping distance) before it reaches the camera.
    virtual bool GetIfCameraMayBeInsideVolume(const D3DXVECTOR3& light, Kco_DX8_StencilShadowBaseObject* object);
    // Draws the current volume of `object` in the two stencil passes.
    virtual void DrawVolumePasses(Kco_DX8_StencilShadowBaseObject* object, bool depthFail);
    // Blends black at `alpha` over every pixel whose stencil value is not zero.
    virtual void DarkenStencilledPixels(float alpha);
    virtual void SetShadowDarkness(float darkness);
    virtual float GetShadowDarkness();
    virtual void SetExtrusion(float extrusion);
    virtual float GetExtrusion();
    virtual void SetShadowMethod(int method);
    virtual int GetShadowMethod();

protected:
    float shadowDarkness = 0.5f;  // "SSDA": share of the light taken away in shadow, 0..1
    float extrusion = -1.0f;      // "SSEX": passed to CreateShadowVolume; -1 reaches the far plane
    int32_t shadowMethod = kShadowMethodAuto;  // "SSMO"
    IDirect3DVertexBuffer8* darkenQuad = nullptr;  // owned: the screen-covering quad

    // The 3D object a shadow object casts from (its first child when that is one), or null.
    static Kco_DX8_ObjectChannel* SourceObjectOf(Kco_DX8_StencilShadowBaseObject* object);
};
