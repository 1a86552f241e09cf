// Small scenes drawn straight through the Direct3D 8 interface, each on a fresh device: the
// drawing rules the device tests check (fill rule, pixel centres, every stencil operation,
// culling, depth), plus lighting, lines and points.
#pragma once

#include <functional>
#include <string>
#include <vector>

class IDirect3DDevice8;

namespace picture_scenes {

// How closely the two builds' pictures of a scene must agree.
enum class Goal {
    Identical,  // every pixel equal
    Close,      // 99.5% of pixels within 2/255 in every channel
    Reported,   // compared and printed, no goal: Wine draws lines by GL's rule (no last
                // pixel, ties on half pixels the other way), not by Direct3D's
};

struct DeviceScene {
    std::string name;
    Goal goal;
    std::function<void(IDirect3DDevice8*)> draw;  // between BeginScene and EndScene
};

constexpr unsigned kDeviceSceneSize = 64;  // width and height of every device scene

std::vector<DeviceScene> DeviceScenes();

}  // namespace picture_scenes
