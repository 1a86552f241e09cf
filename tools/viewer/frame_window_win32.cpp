// The viewer's window on Windows: a Win32 window the system's Direct3D 8 device presents
// every frame into. Frames are stepped on the frame clock (frameTime apart); a resized window
// resets the device to the new client size.
#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>
#include <d3d8/window_device.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine_host.h"
#include "frame_output.h"
#include "frame_renderer.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/type_guids.h"

namespace {

struct WindowRun {
    EngineHost* host = nullptr;
    bool closed = false;
    bool resized = false;
    unsigned width = 0, height = 0;
};
WindowRun* run = nullptr;  // the one window's run, for its window procedure

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            if (run) run->closed = true;
            return 0;
        case WM_SIZE:
            if (run && LOWORD(lParam) > 0 && HIWORD(lParam) > 0) {
                run->width = LOWORD(lParam);
                run->height = HIWORD(lParam);
                run->resized = true;
            }
            return 0;
        case WM_PAINT:
            // The frame is presented by the loop; the back buffer is kept, so shown again.
            if (run && run->host)
                if (IDirect3DDevice8* device = scene::SceneDevice(run->host->Engine()))
                    device->Present(nullptr, nullptr, nullptr, nullptr);
            ValidateRect(window, nullptr);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND OpenWindow(unsigned width, unsigned height) {
    static const wchar_t* const kClass = L"VantrelViewerWindow";
    WNDCLASSW cls{};
    cls.lpfnWndProc = ViewerWindowProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.lpszClassName = kClass;
    if (!RegisterClassW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    RECT frame{0, 0, LONG(width), LONG(height)};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExW(0, kClass, L"VantrelViewer", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window) ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int RunFramesInWindow(EngineHost& host, unsigned frames, float frameTime, const FrameOutput& output) {
    if (!PrepareFolder(output)) return 1;
    auto* graphics = static_cast<Kco_DX8_DirectGraphicsChannel*>(
        host.Engine().GetUniqueChannel(type_guids::kDirectGraphicsChannel, nullptr));
    WindowRun state{&host, false, false, output.width, output.height};
    run = &state;
    HWND window = OpenWindow(output.width, output.height);
    d3d8host::DevicePtr device(window ? d3d8host::CreateWindowDevice(window, output.width, output.height) : nullptr);
    if (!graphics || !device) {
        std::fprintf(stderr, "VantrelViewer: no Direct3D 8 device on a window\n");
        if (window) DestroyWindow(window);
        run = nullptr;
        return 1;
    }
    graphics->SetDirect3dDevice(std::move(device));
    scene::ResizeScene(host.Engine(), host.Group(), output.width, output.height);

    const bool closeAfterFrames = std::getenv("VANTREL_VIEWER_CLOSE_AFTER_FRAMES") != nullptr;
    const auto frameStep = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(double(frameTime)));
    auto next = std::chrono::steady_clock::now();
    int failures = 0;
    unsigned stepped = 0;
    while (!state.closed) {
        PumpMessages();
        if (state.closed) break;
        if (state.resized) {
            state.resized = false;
            if (!scene::ResizeScene(host.Engine(), host.Group(), state.width, state.height)) ++failures;
        }
        if (stepped < frames && std::chrono::steady_clock::now() >= next) {
            host.Step(frameTime, 1);
            ++stepped;
            next += frameStep;
            // A lost device draws nothing until it can be reset; the frame still counts.
            if (scene::RenderFrame(host.Engine(), host.Group())) {
                if (!WritePng(scene::SceneDevice(host.Engine()), output, stepped - 1)) ++failures;
            } else if (d3d8host::CheckDevice(scene::SceneDevice(host.Engine())) == d3d8host::DeviceState::Ready) {
                ++failures;
            }
            continue;
        }
        if (stepped >= frames && closeAfterFrames) break;
        if (stepped >= frames) {
            WaitMessage();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // The window's device goes before the window: the channels let their buffers go and
    // draw off screen from here on.
    scene::ReleaseDeviceObjects(host.Group());
    graphics->SetDirect3dDevice(d3d8host::CreateOffscreenDevice(output.width, output.height));
    DestroyWindow(window);
    run = nullptr;
    return failures ? 1 : 0;
}
