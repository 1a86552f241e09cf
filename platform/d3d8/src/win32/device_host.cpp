// The host's operations on the system's Direct3D 8 device. d3d8.dll is loaded at run time
// (the compiler ships its header but no 64-bit import library). Off-screen devices draw on a
// hidden window of their own; every device has a lockable back buffer, kept across Present
// (D3DSWAPEFFECT_COPY), so frames can be read back after they are shown. Everything about a
// device is asked of the device itself: this library is linked into several modules (the
// graphics channel's DLL makes the device, the host program resets it), each with its own
// copy of anything kept here.
#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>

#include <cstring>
#include <cwchar>

#include "../png_file.h"
#include <d3d8/window_device.h>

namespace d3d8host {

namespace {

constexpr const wchar_t* kHiddenClass = L"VantrelOffscreenDevice";

IDirect3D8* Direct3D() {
    static IDirect3D8* d3d = [] () -> IDirect3D8* {
        HMODULE library = LoadLibraryW(L"d3d8.dll");
        if (!library) return nullptr;
        using Create = IDirect3D8*(WINAPI*)(UINT);
        auto create = reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(library, "Direct3DCreate8")));
        return create ? create(D3D_SDK_VERSION) : nullptr;
    }();
    return d3d;
}

HWND HiddenWindow(UINT width, UINT height) {
    static const bool registered = [] {
        WNDCLASSW cls{};
        cls.lpfnWndProc = DefWindowProcW;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = kHiddenClass;
        return RegisterClassW(&cls) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    if (!registered) return nullptr;
    return CreateWindowExW(0, kHiddenClass, L"", WS_POPUP, 0, 0, int(width), int(height), nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// The window the device was made on (its focus window, which is also its device window).
HWND DeviceWindow(IDirect3DDevice8* device) {
    D3DDEVICE_CREATION_PARAMETERS creation{};
    return SUCCEEDED(device->GetCreationParameters(&creation)) ? creation.hFocusWindow : nullptr;
}

bool IsHiddenWindow(HWND window) {
    wchar_t name[64] = {};
    return window && GetClassNameW(window, name, 64) > 0 && std::wcscmp(name, kHiddenClass) == 0;
}

// The present parameters every device is made with, for `window` and a back buffer of this
// size in the desktop's format.
bool PresentParameters(HWND window, UINT width, UINT height, D3DPRESENT_PARAMETERS& p) {
    IDirect3D8* d3d = Direct3D();
    D3DDISPLAYMODE mode{};
    if (!d3d || FAILED(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) return false;
    p = D3DPRESENT_PARAMETERS{};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = mode.Format;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    p.hDeviceWindow = window;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    return true;
}

void CoverBackBuffer(IDirect3DDevice8* device, UINT width, UINT height) {
    D3DVIEWPORT8 viewport{0, 0, width, height, 0.0f, 1.0f};
    device->SetViewport(&viewport);
}

}  // namespace

IDirect3DDevice8* CreateWindowDevice(HWND window, UINT width, UINT height) {
    IDirect3D8* d3d = Direct3D();
    D3DPRESENT_PARAMETERS p;
    if (!d3d || !window || width == 0 || height == 0 || !PresentParameters(window, width, height, p)) return nullptr;
    // The physics runs in double precision: the device must leave the FPU as it is.
    for (DWORD processing : {DWORD(D3DCREATE_HARDWARE_VERTEXPROCESSING), DWORD(D3DCREATE_SOFTWARE_VERTEXPROCESSING)}) {
        IDirect3DDevice8* device = nullptr;
        D3DPRESENT_PARAMETERS tried = p;
        if (SUCCEEDED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, processing | D3DCREATE_FPU_PRESERVE,
                                        &tried, &device)))
            return device;
    }
    return nullptr;
}

void DeviceRelease::operator()(IDirect3DDevice8* device) const {
    if (!device) return;
    HWND window = DeviceWindow(device);
    // An off-screen device's hidden window goes with the device (not while buffers still
    // hold it).
    if (device->Release() == 0 && IsHiddenWindow(window)) DestroyWindow(window);
}

DevicePtr CreateOffscreenDevice(UINT width, UINT height) {
    HWND window = HiddenWindow(width, height);
    if (!window) return nullptr;
    IDirect3DDevice8* device = CreateWindowDevice(window, width, height);
    if (!device) DestroyWindow(window);
    return DevicePtr(device);
}

bool CanDraw(IDirect3DDevice8* device) { return device != nullptr; }

void BackBufferSize(IDirect3DDevice8* device, UINT& width, UINT& height) {
    width = height = 0;
    IDirect3DSurface8* surface = nullptr;
    if (!device || FAILED(device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface)) || !surface) return;
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(surface->GetDesc(&desc))) {
        width = desc.Width;
        height = desc.Height;
    }
    surface->Release();
}

HRESULT ReadBackColor(IDirect3DDevice8* device, std::vector<D3DCOLOR>& pixels) {
    if (!device) return D3DERR_INVALIDCALL;
    IDirect3DSurface8* surface = nullptr;
    if (FAILED(device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface)) || !surface) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked{};
    HRESULT result = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (SUCCEEDED(result)) {
        const bool hasAlpha = desc.Format == D3DFMT_A8R8G8B8;
        if (desc.Format == D3DFMT_X8R8G8B8 || hasAlpha) {
            pixels.resize(std::size_t{desc.Width} * desc.Height);
            for (UINT y = 0; y < desc.Height; ++y) {
                const auto* row = static_cast<const BYTE*>(locked.pBits) + std::ptrdiff_t(y) * locked.Pitch;
                D3DCOLOR* out = pixels.data() + std::size_t{y} * desc.Width;
                std::memcpy(out, row, std::size_t{desc.Width} * 4);
                if (!hasAlpha)
                    for (UINT x = 0; x < desc.Width; ++x) out[x] |= 0xFF000000u;
            }
        } else {
            result = D3DERR_NOTAVAILABLE;  // a 16-bit desktop: not read back
        }
        surface->UnlockRect();
    }
    surface->Release();
    return result;
}

DeviceState CheckDevice(IDirect3DDevice8* device) {
    switch (device->TestCooperativeLevel()) {
        case D3D_OK: return DeviceState::Ready;
        case D3DERR_DEVICENOTRESET: return DeviceState::NeedsReset;
        default: return DeviceState::Lost;
    }
}

HRESULT ResetDevice(IDirect3DDevice8* device, UINT width, UINT height) {
    if (!device) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0) BackBufferSize(device, width, height);
    HWND window = DeviceWindow(device);
    D3DPRESENT_PARAMETERS params;
    if (!PresentParameters(window, width, height, params)) return D3DERR_NOTAVAILABLE;
    if (IsHiddenWindow(window))
        SetWindowPos(window, nullptr, 0, 0, int(width), int(height), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const HRESULT result = device->Reset(&params);
    if (FAILED(result)) return result;
    CoverBackBuffer(device, width, height);
    return D3D_OK;
}

HRESULT WritePng(const char* path, UINT width, UINT height, const D3DCOLOR* pixels) {
    return d3d8_detail::WriteRgbaPng(path, width, height, pixels);
}

HRESULT SaveBackBufferPng(IDirect3DDevice8* device, const char* path) {
    std::vector<D3DCOLOR> pixels;
    const HRESULT read = ReadBackColor(device, pixels);
    if (FAILED(read)) return read;
    UINT width = 0, height = 0;
    BackBufferSize(device, width, height);
    return WritePng(path, width, height, pixels.data());
}

}  // namespace d3d8host
