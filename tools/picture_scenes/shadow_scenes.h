// Scenes drawn through the engine: 3D objects from primitive meshes, a point light, a camera
// and the stencil shadow render channel with software shadow objects, at 320 x 240.
//
// Their goal is "close", not "identical": with depth-fail the volumes are closed by caps made
// of the caster's own triangles, so cap and surface meet at equal depths, and which of the
// two passes the LESS test is decided by the last bit of each device's depth arithmetic
// (the two set up the same projection by different float steps). The pixels that differ are
// all on the casters' surfaces (the torus: 107 of 76,800, lit against shadowed), the torus by
// depth-pass (no caps) is identical, and the drawing rules themselves are held to
// "identical" by the device scenes. Beside that, a pixel of the cube scenes' lit ground
// differs by 1/255 (the lighting's rounding).
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
