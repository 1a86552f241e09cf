#include "frame_output.h"

#include <d3d8/d3d8.h>

#include <d3d8/device_host.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "engine_host.h"
#include "frame_renderer.h"
#include "gif_writer.h"
#include "progress_line.h"
#include "os/native_path.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/type_guids.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

bool WritePng(IDirect3DDevice8* device, const FrameOutput& output, unsigned frame) {
    if (output.pngFolder.empty() || !output.Picked(frame)) return true;
    char name[32];
    std::snprintf(name, sizeof(name), "frame_%04u.png", frame);
    const std::string path = os::NativePath(output.pngFolder + "\\" + name);
    if (d3d8host::SaveBackBufferPng(device, path.c_str()) == D3D_OK) return true;
    std::fprintf(stderr, "VantrelViewer: can't write %s\n", path.c_str());
    return false;
}

bool PrepareFolder(const FrameOutput& output) {
    if (output.pngFolder.empty()) return true;
    std::error_code error;
    std::filesystem::create_directories(os::NativePath(output.pngFolder), error);
    if (!error) return true;
    std::fprintf(stderr, "VantrelViewer: can't make folder %s\n", output.pngFolder.c_str());
    return false;
}

bool FrameOutput::Picked(unsigned f) const {
    return picks.empty() || std::find(picks.begin(), picks.end(), f) != picks.end();
}

bool GroupHasScene(EngineHost& host) {
    Kel_ChannelGroup& group = host.Group();
    for (int i = 0; i < group.GetChannelCount(); ++i)
        if (group.GetChannel(i)->IsOfType(type_guids::kObjectChannel) || group.GetChannel(i)->IsOfType(type_guids::kCamera))
            return true;
    return false;
}

int RunFramesHeadless(EngineHost& host, unsigned frames, float frameTime, const FrameOutput& output) {
    const bool draw = !output.pngFolder.empty() || !output.gifPath.empty() || GroupHasScene(host);
    if (draw && !PrepareFolder(output)) return 1;
    if (draw && !scene::ResizeScene(host.Engine(), host.Group(), output.width, output.height)) {
        std::fprintf(stderr, "VantrelViewer: no device to draw with\n");
        return 1;
    }
    GifWriter gif;
    // A frame of T/25 s shows T * 4 hundredths of a second, at least one per GIF frame.
    const int delay = int(std::lround(double(frameTime) * 4.0 * output.gifEvery));
    if (!output.gifPath.empty() &&
        !gif.Open(os::NativePath(output.gifPath), output.width, output.height, output.gifShrink, delay)) {
        std::fprintf(stderr, "VantrelViewer: can't write %s: %s\n", output.gifPath.c_str(), gif.Error().c_str());
        return 1;
    }
    ProgressLine progress(stderr, frames, isatty(fileno(stderr)) != 0);
    std::vector<D3DCOLOR> pixels;
    unsigned written = 0;
    for (unsigned f = 0; f < frames; ++f) {
        host.Step(frameTime, 1);
        if (draw) {
            if (!scene::RenderFrame(host.Engine(), host.Group())) {
                if (output.progress) progress.Finish();
                std::fprintf(stderr, "VantrelViewer: frame %u could not be drawn\n", f);
                return 1;
            }
            IDirect3DDevice8* device = scene::SceneDevice(host.Engine());
            if (!WritePng(device, output, f)) {
                if (output.progress) progress.Finish();
                return 1;
            }
            if (!output.pngFolder.empty() && output.Picked(f)) ++written;
            if (!output.gifPath.empty() && f % output.gifEvery == 0 &&
                (d3d8host::ReadBackColor(device, pixels) != D3D_OK || !gif.Add(pixels))) {
                if (output.progress) progress.Finish();
                std::fprintf(stderr, "VantrelViewer: can't write %s: %s\n", output.gifPath.c_str(),
                             gif.Error().empty() ? "no frame to read back" : gif.Error().c_str());
                return 1;
            }
        }
        if (output.progress) progress.Update(f + 1);
    }
    if (output.progress) progress.Finish();
    if (!output.gifPath.empty()) {
        if (!gif.Close()) {
            std::fprintf(stderr, "VantrelViewer: can't write %s: %s\n", output.gifPath.c_str(), gif.Error().c_str());
            return 1;
        }
        std::printf("Wrote %u frames to %s\n", gif.FrameCount(), output.gifPath.c_str());
    }
    if (draw && !output.pngFolder.empty()) std::printf("Wrote %u frames to %s\n", written, output.pngFolder.c_str());
    return 0;
}
