#include "scene_builder.h"

#include "engine_host.h"
#include "plugin_frame/siblings/camera_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/point_light_channel.h"
#include "plugin_frame/siblings/primitive_mesh.h"
#include "plugin_frame/siblings/stencil_shadow.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "plugin_frame/type_guids.h"

namespace scene {

namespace {
constexpr int kSurfacesLink = 0;
constexpr int kMeshLink = 0;
constexpr int kLightsLink = 0;
constexpr int kShadowObjectsLink = 1;
constexpr int kShadowSourceLink = 0;
}  // namespace

Kco_DX8_ObjectChannel* SceneBuilder::AddPrimitive(const char* name, int shape, const D3DXVECTOR3& size, int segments,
                                                  int rings, const D3DXVECTOR4& color, const D3DXMATRIX& placement) {
    auto* object = host_.Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel, name);
    auto* surface = host_.Create<Kco_DX8_SurfaceChannel>(type_guids::kSurfaceChannel);
    auto* mesh = host_.Create<Kco_DX8_PrimitiveMesh>(type_guids::kPrimitiveMesh);
    if (!object || !surface || !mesh) return nullptr;
    mesh->SetShape(shape);
    mesh->SetSize(size);
    mesh->SetTessellation(segments, rings);
    surface->SetMaterialColor(color);
    if (!host_.Link(surface, mesh, kMeshLink) || !host_.Link(object, surface, kSurfacesLink)) return nullptr;
    object->SetObjectMatrix(placement);
    return object;
}

Kco_DX8_PointLight* SceneBuilder::AddPointLight(const char* name, const D3DXVECTOR3& position, const D3DXVECTOR4& color) {
    auto* light = host_.Create<Kco_DX8_PointLight>(type_guids::kPointLight, name);
    if (!light) return nullptr;
    light->SetLightPosition(position);
    light->SetLightColor(color);
    return light;
}

Kco_DX8_Camera* SceneBuilder::AddCamera(const char* name, const D3DXVECTOR3& eye, const D3DXVECTOR3& at,
                                        float fieldOfView, float nearClip, float farClip) {
    auto* camera = host_.Create<Kco_DX8_Camera>(type_guids::kCamera, name);
    if (!camera) return nullptr;
    camera->SetLookAt(eye, at, D3DXVECTOR3(0.0f, 1.0f, 0.0f));
    camera->SetPerspective(fieldOfView, nearClip, farClip);
    return camera;
}

Kco_DX8_StencilShadow* SceneBuilder::AddShadowRenderer(const char* name, const std::vector<Kco_DX8_PointLight*>& lights) {
    auto* renderer = host_.Create<Kco_DX8_StencilShadow>(type_guids::kStencilShadow, name);
    if (!renderer) return nullptr;
    for (Kco_DX8_PointLight* light : lights)
        if (!host_.Link(renderer, light, kLightsLink)) return nullptr;
    return renderer;
}

Kel_Channel* SceneBuilder::AddShadowCaster(Kco_DX8_StencilShadow* renderer, const GUID& shadowType,
                                           Kco_DX8_ObjectChannel* object) {
    Kel_Channel* caster = host_.Create(shadowType);
    if (!caster || !renderer) return nullptr;
    if (object && !host_.Link(caster, object, kShadowSourceLink)) return nullptr;
    if (!host_.Link(renderer, caster, kShadowObjectsLink)) return nullptr;
    return caster;
}

}  // namespace scene
