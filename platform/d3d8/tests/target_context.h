// Tests that run once on the device's own off-screen context and once on a window's GL
// context on an X display (under xvfb-run); the window's run skips without a display.
#pragma once

#include "test_frame.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <memory>

namespace d3d8_test {

// A mapped, double-buffered window with depth and stencil and its GL context, current.
class WindowContext {
public:
    WindowContext(int width, int height) {
        display_ = XOpenDisplay(nullptr);
        if (!display_) return;
        int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8,
                            GLX_BLUE_SIZE, 8, GLX_DEPTH_SIZE, 24, GLX_STENCIL_SIZE, 8, None};
        XVisualInfo* visual = glXChooseVisual(display_, DefaultScreen(display_), attributes);
        if (!visual) return;
        const Window root = RootWindow(display_, visual->screen);
        XSetWindowAttributes set{};
        colormap_ = XCreateColormap(display_, root, visual->visual, AllocNone);
        set.colormap = colormap_;
        window_ = XCreateWindow(display_, root, 0, 0, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 0, visual->depth, InputOutput,
                                visual->visual, CWColormap, &set);
        context_ = glXCreateContext(display_, visual, nullptr, True);
        XFree(visual);
        XMapWindow(display_, window_);
        XSync(display_, False);
        if (context_ && !glXMakeCurrent(display_, window_, context_)) {
            glXDestroyContext(display_, context_);
            context_ = nullptr;
        }
    }
    ~WindowContext() {
        if (!display_) return;
        glXMakeCurrent(display_, None, nullptr);
        if (context_) glXDestroyContext(display_, context_);
        if (window_) XDestroyWindow(display_, window_);
        if (colormap_) XFreeColormap(display_, colormap_);
        XCloseDisplay(display_);
    }
    WindowContext(const WindowContext&) = delete;
    WindowContext& operator=(const WindowContext&) = delete;

    // Current again: another test may have made an off-screen context current meanwhile,
    // which the GLX side does not see, so it is released first and made current anew.
    bool Ready() const {
        if (!context_) return false;
        glXMakeCurrent(display_, None, nullptr);
        return glXMakeCurrent(display_, window_, context_);
    }
    static void* Loader(const char* name) {
        return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
    }

private:
    Display* display_ = nullptr;
    Colormap colormap_ = 0;
    Window window_ = 0;
    GLXContext context_ = nullptr;
};

enum class Target { OffScreen, Window };

// device_ is a 32x24 device drawing into the target of the test's parameter, unlit. The
// window is made once for the suite.
class OnEachTarget : public testing::TestWithParam<Target> {
protected:
    static constexpr UINT kWidth = 32, kHeight = 24;

    static void TearDownTestSuite() { window_.reset(); }

    void SetUp() override {
        if (GetParam() == Target::Window) {
            if (!window_) window_ = std::make_unique<WindowContext>(int{kWidth}, int{kHeight});
            if (!window_->Ready())
                GTEST_SKIP() << "no X display with a depth and stencil GL visual; "
                                "run under xvfb-run to draw into a window";
            device_ = std::make_unique<IDirect3DDevice8>(kWidth, kHeight, &WindowContext::Loader);
        } else {
            device_ = std::make_unique<IDirect3DDevice8>(kWidth, kHeight);
        }
        Unlit(*device_);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f,
                       0);
    }
    void TearDown() override { device_.reset(); }  // while the window's context is current

    D3DCOLOR Pixel(int x, int y) { return Rgb(Colours(*device_)[std::size_t(y) * kWidth + std::size_t(x)]); }

    static inline std::unique_ptr<WindowContext> window_;
    std::unique_ptr<IDirect3DDevice8> device_;
};

inline std::string TargetName(const testing::TestParamInfo<Target>& info) {
    return info.param == Target::Window ? "Window" : "OffScreen";
}

}  // namespace d3d8_test
