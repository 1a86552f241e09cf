// The viewer's window on Linux: an FLTK GL window whose context the stand-in device draws
// into.
#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>

#include <cstdio>
#include <cstdlib>

#include "engine_host.h"
#include "frame_output.h"
#include "frame_renderer.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/type_guids.h"

#if VIEWER_WITH_WINDOW
#include <FL/Fl.H>
#include <FL/Fl_Gl_Window.H>
#include <GL/glx.h>

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
            graphics->SetDirect3dDevice(d3d8host::CreateOffscreenDevice(UINT(w()), UINT(h())));
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
            graphics->SetDirect3dDevice(d3d8host::DevicePtr(new IDirect3DDevice8(UINT(w()), UINT(h()), GlxLoader)));
            deviceMade_ = true;
        }
        if (!valid()) scene::ResizeScene(host_.Engine(), host_.Group(), unsigned(w()), unsigned(h()));
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
