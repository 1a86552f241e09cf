// Scenes drawn through the engine: 3D objects from primitive meshes, a point light, a camera
// and the stencil shadow render channel with software shadow objects, at 320 x 240.
#pragma once

#include <string>
#include <vector>

class EngineHost;

namespace picture_scenes {

constexpr unsigned kShadowSceneWidth = 320, kShadowSceneHeight = 240;

struct ShadowScene {
    std::string name;
    void (*build)(EngineHost& host);  // fills the host's group
};

std::vector<ShadowScene> ShadowScenes();

}  // namespace picture_scenes
