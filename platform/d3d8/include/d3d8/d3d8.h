// Stand-in for the Direct3D 8 device: an ordinary C++ object, created and owned by whoever
// plays the graphics channel, that keeps the device state the plug-ins set and read back.
// Operations are virtual so that buffers, drawing and a software rasteriser can be added
// (or a test can watch the calls) without changing the callers.
#pragma once

#include <d3d8/d3d8types.h>

#include <array>

class IDirect3DDevice8 {
public:
    // The render target's size; the viewport starts out covering all of it.
    explicit IDirect3DDevice8(UINT backBufferWidth = 640, UINT backBufferHeight = 480);
    virtual ~IDirect3DDevice8();

    IDirect3DDevice8(const IDirect3DDevice8&) = delete;
    IDirect3DDevice8& operator=(const IDirect3DDevice8&) = delete;

    // Every transform state is the identity until it is set.
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix);
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix);

    // Render states start at the values a freshly created device with a depth and stencil
    // buffer reports; states without a listed default start at 0.
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value);

    // A viewport must lie inside the render target and keep its depth range within 0..1.
    virtual HRESULT SetViewport(const D3DVIEWPORT8* viewport);
    virtual HRESULT GetViewport(D3DVIEWPORT8* viewport);

    UINT BackBufferWidth() const { return backBufferWidth_; }
    UINT BackBufferHeight() const { return backBufferHeight_; }

private:
    static constexpr DWORD kRenderStateCount = 256;
    static constexpr DWORD kWorldMatrixCount = 256;
    static constexpr DWORD kTextureStageCount = 8;

    D3DMATRIX* TransformSlot(D3DTRANSFORMSTATETYPE state);

    UINT backBufferWidth_;
    UINT backBufferHeight_;
    D3DMATRIX view_;
    D3DMATRIX projection_;
    std::array<D3DMATRIX, kTextureStageCount> texture_;
    std::array<D3DMATRIX, kWorldMatrixCount> world_;
    std::array<DWORD, kRenderStateCount> renderStates_{};
    D3DVIEWPORT8 viewport_;
};
