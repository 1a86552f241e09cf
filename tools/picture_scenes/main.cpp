// picture_scenes FOLDER [NAME...]: draws the device scenes and the stencil shadow scenes
// through this build's Direct3D 8 (the system's on Windows, the OSMesa stand-in on Linux)
// into FOLDER/<scene>.png, and lists them with their goals in FOLDER/scenes.txt
// ("<name> identical|close|reported" a line). With names, only those scenes. Exit 1 when a scene
// cannot be drawn or written, 2 for bad arguments.
#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "device_scenes.h"
#include "engine_host.h"
#include "frame_renderer.h"
#include "shadow_scenes.h"

namespace {

struct Run {
    std::string folder;
    std::vector<std::string> only;
    FILE* list = nullptr;
    int failures = 0;

    bool Wanted(const std::string& name) const {
        return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
    }
    void Written(const std::string& name, picture_scenes::Goal goal, IDirect3DDevice8* device) {
        const std::string path = folder + "/" + name + ".png";
        if (d3d8host::SaveBackBufferPng(device, path.c_str()) != D3D_OK) {
            std::fprintf(stderr, "picture_scenes: can't write %s\n", path.c_str());
            ++failures;
            return;
        }
        const char* goals[] = {"identical", "close", "reported"};
        std::fprintf(list, "%s %s\n", name.c_str(), goals[int(goal)]);
    }
    void Failed(const std::string& name, const char* why) {
        std::fprintf(stderr, "picture_scenes: %s: %s\n", name.c_str(), why);
        ++failures;
    }
};

void DrawDeviceScenes(Run& run) {
    using namespace picture_scenes;
    for (const DeviceScene& scene : DeviceScenes()) {
        if (!run.Wanted(scene.name)) continue;
        d3d8host::DevicePtr device = d3d8host::CreateOffscreenDevice(kDeviceSceneSize, kDeviceSceneSize);
        if (!d3d8host::CanDraw(device.get())) {
            run.Failed(scene.name, "no device");
            continue;
        }
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
        scene.draw(device.get());
        device->EndScene();
        if (device->Present(nullptr, nullptr, nullptr, nullptr) != D3D_OK) {
            run.Failed(scene.name, "Present failed");
            continue;
        }
        run.Written(scene.name, scene.goal, device.get());
    }
}

void DrawShadowScenes(Run& run, const std::string& channels) {
    using namespace picture_scenes;
    for (const ShadowScene& scene : ShadowScenes()) {
        if (!run.Wanted(scene.name)) continue;
        EngineHost host(channels);
        scene.build(host);
        if (!scene::SceneDevice(host.Engine())) {
            run.Failed(scene.name, "no device (the channel libraries not found?)");
            continue;
        }
        if (!scene::ResizeScene(host.Engine(), host.Group(), kShadowSceneWidth, kShadowSceneHeight)) {
            run.Failed(scene.name, "the device cannot take the scene's size");
            continue;
        }
        if (!scene::RenderFrame(host.Engine(), host.Group())) {
            run.Failed(scene.name, "not drawn");
            continue;
        }
        run.Written(scene.name, Goal::Close, scene::SceneDevice(host.Engine()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: picture_scenes FOLDER [NAME...]\n");
        return 2;
    }
    Run run;
    run.folder = argv[1];
    run.only.assign(argv + 2, argv + argc);
    const std::string listPath = run.folder + "/scenes.txt";
    run.list = std::fopen(listPath.c_str(), "w");
    if (!run.list) {
        std::fprintf(stderr, "picture_scenes: can't write %s\n", listPath.c_str());
        return 1;
    }
    DrawDeviceScenes(run);
    DrawShadowScenes(run, CHANNELS_DIR);
    std::fclose(run.list);
    return run.failures ? 1 : 0;
}
