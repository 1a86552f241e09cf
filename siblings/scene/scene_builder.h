// Builds scenes in a host's channel group the way a project holds them: a 3D object with
// a surface per mesh, the mesh as a primitive or model-file channel, point lights, a
// camera, and a stencil shadow render channel with its lights and shadow objects.
#pragma once

#include <string>
#include <vector>

#include <vecmath/d3dx_types.h>

#include "plugin_frame/guid.h"

class EngineHost;
class Kel_Channel;
class Kco_DX8_Camera;
class Kco_DX8_ObjectChannel;
class Kco_DX8_PointLight;
class Kco_DX8_StencilShadow;

namespace scene {

class SceneBuilder {
public:
    explicit SceneBuilder(EngineHost& host) : host_(host) {}

    // An object with one surface of `color` holding a primitive mesh (PrimitiveShape).
    Kco_DX8_ObjectChannel* AddPrimitive(const char* name, int shape, const D3DXVECTOR3& size, int segments, int rings,
                                        const D3DXVECTOR4& color, const D3DXMATRIX& placement);
    // An object with one surface per part of a model file (the parts' own colours); null
    // when the file cannot be read. `error` receives the reason.
    Kco_DX8_ObjectChannel* AddModel(const char* name, const std::string& fileName, const D3DXMATRIX& placement,
                                    std::string* error = nullptr);
    Kco_DX8_PointLight* AddPointLight(const char* name, const D3DXVECTOR3& position, const D3DXVECTOR4& color);
    Kco_DX8_Camera* AddCamera(const char* name, const D3DXVECTOR3& eye, const D3DXVECTOR3& at, float fieldOfView,
                              float nearClip, float farClip);
    // A render channel linked to `lights`; shadow objects join it with AddShadowCaster.
    Kco_DX8_StencilShadow* AddShadowRenderer(const char* name, const std::vector<Kco_DX8_PointLight*>& lights);
    // A shadow object of type `shadowType` (a stencil shadow object plug-in) casting from
    // `object`, linked into `renderer`; null when the type cannot be made or linked.
    Kel_Channel* AddShadowCaster(Kco_DX8_StencilShadow* renderer, const GUID& shadowType, Kco_DX8_ObjectChannel* object);

private:
    EngineHost& host_;
};

}  // namespace scene
