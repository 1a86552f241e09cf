// Objects from model files (the importer is built for Linux only so far).
#include "engine_host.h"
#include "model_import.h"
#include "os/native_path.h"
#include "plugin_frame/siblings/mesh_file.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "plugin_frame/type_guids.h"
#include "scene_builder.h"

namespace scene {

namespace {
constexpr int kSurfacesLink = 0;
constexpr int kMeshLink = 0;
}  // namespace

Kco_DX8_ObjectChannel* SceneBuilder::AddModel(const char* name, const std::string& fileName, const D3DXMATRIX& placement,
                                              std::string* error) {
    const model::Model m = model::ReadModel(os::NativePath(fileName));
    if (!m.error.empty()) {
        if (error) *error = m.error;
        return nullptr;
    }
    auto* object = host_.Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel, name);
    if (!object) return nullptr;
    for (int p = 0; p < int(m.parts.size()); ++p) {
        auto* surface = host_.Create<Kco_DX8_SurfaceChannel>(type_guids::kSurfaceChannel);
        auto* mesh = host_.Create<Kco_DX8_MeshFile>(type_guids::kMeshFile);
        if (!surface || !mesh) return nullptr;
        mesh->SetMeshFile(fileName.c_str(), p);
        surface->SetMaterialColor(m.parts[p].color);
        if (!host_.Link(surface, mesh, kMeshLink) || !host_.Link(object, surface, kSurfacesLink)) return nullptr;
    }
    object->SetObjectMatrix(placement);
    return object;
}

}  // namespace scene
