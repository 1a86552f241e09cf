#include "shadow_scenes.h"

#include <vecmath/d3dx_math.h>

#include "engine_host.h"
#include "plugin_frame/siblings/primitive_mesh.h"
#include "plugin_frame/siblings/stencil_shadow.h"
#include "plugin_frame/type_guids.h"
#include "scene_builder.h"

namespace picture_scenes {

namespace {

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

// The ground, a light above and a camera looking down at the origin; the shadows darken
// by half.
Kco_DX8_StencilShadow* Stage(scene::SceneBuilder& builder, int method, const D3DXVECTOR3& eye = {7, 9, -10},
                             const D3DXVECTOR3& at = {0, 0, 0}) {
    builder.AddPrimitive("ground", kPrimitivePlane, {60, 0, 60}, 24, 24, {0.9f, 0.9f, 0.9f, 1}, Translation(0, 0, 0));
    Kco_DX8_PointLight* lamp = builder.AddPointLight("lamp", {1.0f, 8.0f, -1.0f}, {1, 1, 1, 1});
    Kco_DX8_StencilShadow* shadows = builder.AddShadowRenderer("shadows", {lamp});
    if (!shadows) return nullptr;
    shadows->SetExtrusion(6.0f);
    shadows->SetShadowMethod(method);
    shadows->SetShadowDarkness(0.5f);
    builder.AddCamera("eye", eye, at, 0.9f, 0.5f, 400.0f);
    return shadows;
}

void Cube(EngineHost& host, int method) {
    scene::SceneBuilder builder(host);
    Kco_DX8_StencilShadow* shadows = Stage(builder, method);
    D3DXMATRIX placement;
    D3DXMatrixRotationY(&placement, 0.5f);
    placement *= Translation(0.3f, 3.0f, 0.2f);
    Kco_DX8_ObjectChannel* cube = builder.AddPrimitive("cube", kPrimitiveBox, {2, 2, 2}, 1, 1, {1, 0.1f, 0.1f, 1}, placement);
    if (shadows && cube) builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, cube);
}

void Torus(EngineHost& host, int method) {
    scene::SceneBuilder builder(host);
    Kco_DX8_StencilShadow* shadows = Stage(builder, method);
    Kco_DX8_ObjectChannel* torus = builder.AddPrimitive("torus", kPrimitiveTorus, {2.0f, 0.6f, 0}, 48, 16,
                                                        {1, 0.1f, 0.1f, 1}, Translation(1.0f, 3.0f, -1.0f));
    if (shadows && torus) builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, torus);
}

// Spheres and a box, the camera low between them: the render channel picks depth-fail
// with caps for the volumes it may stand in.
void CameraInside(EngineHost& host) {
    scene::SceneBuilder builder(host);
    Kco_DX8_StencilShadow* shadows = Stage(builder, kShadowMethodAuto, {0.4f, 1.2f, 0.1f}, {0.6f, 0.0f, 3.5f});
    D3DXMATRIX placement;
    D3DXMatrixRotationY(&placement, 0.5f);
    placement *= Translation(0.3f, 3.0f, 0.2f);
    Kco_DX8_ObjectChannel* cube = builder.AddPrimitive("cube", kPrimitiveBox, {2, 2, 2}, 1, 1, {1, 0.1f, 0.1f, 1}, placement);
    Kco_DX8_ObjectChannel* ball = builder.AddPrimitive("ball", kPrimitiveSphere, {0.8f, 0, 0}, 24, 12,
                                                       {0.1f, 0.3f, 1, 1}, Translation(-2.0f, 1.5f, 3.0f));
    if (!shadows) return;
    if (cube) builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, cube);
    if (ball) builder.AddShadowCaster(shadows, type_guids::kSoftwareStencilShadow, ball);
}

}  // namespace

std::vector<ShadowScene> ShadowScenes() {
    return {
        {"shadow_cube_depthpass", [](EngineHost& h) { Cube(h, kShadowMethodDepthPass); }},
        {"shadow_cube_depthfail", [](EngineHost& h) { Cube(h, kShadowMethodDepthFail); }},
        {"shadow_torus_depthpass", [](EngineHost& h) { Torus(h, kShadowMethodDepthPass); }},
        {"shadow_torus_depthfail", [](EngineHost& h) { Torus(h, kShadowMethodDepthFail); }},
        {"shadow_camera_inside", CameraInside},
    };
}

}  // namespace picture_scenes
