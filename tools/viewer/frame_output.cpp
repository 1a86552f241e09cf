#include "frame_output.h"

#include <d3d8/d3d8.h>

#include <unistd.h>

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

#if VIEWER_WITH_WINDOW
#include <FL/Fl.H>
#include <FL/Fl_Gl_Window.H>
#include <GL/glx.h>
#endif

namespace {

bool WritePng(IDirect3DDevice8* device, const FrameOutput& output, unsigned frame) {
    if (output.pngFolder.empty() || !output.Picked(frame)) return true;
    char name[32];
    std::snprintf(name, sizeof(name), "frame_%04u.png", frame);
    const std::string path = os::NativePath(output.pngFolder + "\\" + name);
    if (device->SaveBackBufferPng(path.c_str()) == D3D_OK) return true;
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

}  // namespace

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
    if (draw && !scene::ResizeScene(host.Engine(), output.width, output.height)) {
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
                (device->ReadBackColor(pixels) != D3D_OK || !gif.Add(pixels))) {
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

#if VIEWER_WITH_WINDOW

namespace {

void* GlxLoader(const char* name) {
    return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

// Steps a frame per timer tick and draws it in draw(), where the window's context is
// current: the device is made there, on the first draw, so it draws into that context.
class ViewerWindow : public Fl_Gl_Window {
public:
    ViewerWindow(EngineHost& host, unsigned frames, float frameTime, const FrameOutput& output)
        : Fl_Gl_Window(int(output.width), int(output.height), "VantrelViewer"),
          host_(host), frames_(frames), frameTime_(frameTime), output_(output) {
        mode(FL_RGB | FL_DOUBLE | FL_DEPTH | FL_STENCIL);
        resizable(this);
        callback(CloseThunk, this);
    }

    // The device must go while the window's context still exists (hiding deletes it): the
    // channel gets a fresh off-screen device, and the window's is destroyed here.
    void ReleaseDevice() {
        if (!deviceMade_) return;
        make_current();
        if (Kco_DX8_DirectGraphicsChannel* graphics = Graphics())
            graphics->SetDirect3dDevice(std::make_unique<IDirect3DDevice8>(UINT(w()), UINT(h())));
        deviceMade_ = false;
    }
    static void CloseThunk(Fl_Widget* widget, void*) {
        auto* window = static_cast<ViewerWindow*>(widget);
        window->ReleaseDevice();
        window->hide();
    }

    // Channels may draw while they are called, so frames are stepped inside draw(), where
    // the window's context is current; the timer only asks for the next one.
    void Tick() {
        if (stepped_ + (pending_ ? 1u : 0u) >= frames_) return;
        pending_ = true;
        redraw();
    }
    static void TickThunk(void* self) { static_cast<ViewerWindow*>(self)->Tick(); }

    bool Finished() const { return stepped_ >= frames_ && !pending_ && drawnOnce_; }
    int failures = 0;

protected:
    Kco_DX8_DirectGraphicsChannel* Graphics() {
        return static_cast<Kco_DX8_DirectGraphicsChannel*>(
            host_.Engine().GetUniqueChannel(type_guids::kDirectGraphicsChannel, nullptr));
    }

    void draw() override {
        Kco_DX8_DirectGraphicsChannel* graphics = Graphics();
        if (!graphics) return;
        if (!deviceMade_) {
            graphics->SetDirect3dDevice(std::make_unique<IDirect3DDevice8>(UINT(w()), UINT(h()), GlxLoader));
            deviceMade_ = true;
        }
        if (!valid()) scene::ResizeScene(host_.Engine(), unsigned(w()), unsigned(h()));
        const bool step = pending_;
        if (step) host_.Step(frameTime_, 1), ++stepped_;
        if (!scene::RenderFrame(host_.Engine(), host_.Group())) ++failures;
        if (step && !WritePng(graphics->GetDirect3dDevice(), output_, stepped_ - 1)) ++failures;
        pending_ = false;
        drawnOnce_ = true;
        if (step && stepped_ < frames_) Fl::add_timeout(double(frameTime_) * 0.04, TickThunk, this);
    }

private:
    EngineHost& host_;
    unsigned frames_;
    float frameTime_;
    FrameOutput output_;
    unsigned stepped_ = 0;
    bool pending_ = false;  // a frame asked for, not yet stepped and drawn
    bool deviceMade_ = false;
    bool drawnOnce_ = false;
};

}  // namespace

int RunFramesInWindow(EngineHost& host, unsigned frames, float frameTime, const FrameOutput& output) {
    if (!PrepareFolder(output)) return 1;
    if (!Fl::gl_visual(FL_RGB | FL_DOUBLE | FL_DEPTH | FL_STENCIL)) {
        std::fprintf(stderr, "VantrelViewer: no display with a depth and stencil GL visual\n");
        return 1;
    }
    ViewerWindow window(host, frames, frameTime, output);
    window.show();
    Fl::add_timeout(0.0, ViewerWindow::TickThunk, &window);
    if (std::getenv("VANTREL_VIEWER_CLOSE_AFTER_FRAMES")) {
        // Unattended runs (tests under a virtual display): close once every frame is drawn.
        while (window.shown() && !window.Finished()) Fl::wait(0.05);
        if (window.shown()) ViewerWindow::CloseThunk(&window, nullptr);
    }
    Fl::run();
    window.ReleaseDevice();
    return window.failures ? 1 : 0;
}

#else

int RunFramesInWindow(EngineHost&, unsigned, float, const FrameOutput&) {
    std::fprintf(stderr, "VantrelViewer: built without window support\n");
    return 1;
}

#endif
