// Stand-in for the Direct3D 8 device: an ordinary C++ object, created and owned by whoever
// plays the graphics channel. It keeps the device state the plug-ins set and read back, and
// draws for real through OpenGL: into an off-screen Mesa context it owns (the default, so
// tests and headless runs need no display), or into whatever GL context is current when it
// is called (a window's). Operations are virtual so that a test can watch or fail the calls.
//
// Conventions are Direct3D's: row-vector matrices (world, then view, then projection),
// depth 0..1 after projection, pixel centres at integer window coordinates, the window's
// y axis pointing down, clockwise front faces, D3DCULL_CCW culling by default, 8-bit stencil.
//
// Operations marked "stand-in addition" have no counterpart on the original interface.
#pragma once

#include <d3d8/standin/d3d8types.h>

#include <array>
#include <map>
#include <memory>
#include <vector>

class IDirect3DDevice8;

namespace d3d8_detail {

struct DeviceGL;
struct VertexLayout;
struct LightingSetup;

// What both buffer kinds keep: the bytes in memory (Lock hands out a pointer into them) and
// the GL buffer object they are copied into on Unlock, so that drawing sends nothing.
struct BufferStorage {
    std::vector<BYTE> bytes;
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    ULONG references = 1;
    bool locked = false;
    UINT lockOffset = 0, lockSize = 0;
    DWORD lockFlags = 0;
    unsigned glName = 0;                // 0 until first uploaded
    IDirect3DDevice8* device = nullptr;  // null once the device is gone
};

}  // namespace d3d8_detail

// A vertex buffer: Length bytes of vertices in the format given at creation.
class IDirect3DVertexBuffer8 {
public:
    IDirect3DVertexBuffer8(const IDirect3DVertexBuffer8&) = delete;
    IDirect3DVertexBuffer8& operator=(const IDirect3DVertexBuffer8&) = delete;

    // Creation hands out one reference; the buffer is freed when the last is released.
    virtual ULONG AddRef();
    virtual ULONG Release();
    virtual D3DRESOURCETYPE GetType();

    // Offset 0 and size 0 lock the whole buffer; size 0 alone locks up to the end. A range
    // outside the buffer, a null pointer or a second lock before Unlock fails with
    // D3DERR_INVALIDCALL and sets *ppbData to null.
    virtual HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags);
    // Copies the locked bytes into the GL buffer object (unless locked D3DLOCK_READONLY).
    virtual HRESULT Unlock();
    virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc);

protected:
    IDirect3DVertexBuffer8(IDirect3DDevice8* device, UINT length, DWORD usage, DWORD fvf,
                           D3DPOOL pool);
    virtual ~IDirect3DVertexBuffer8();

private:
    friend class IDirect3DDevice8;
    d3d8_detail::BufferStorage storage_;
    DWORD fvf_;
};

// An index buffer of 16-bit (D3DFMT_INDEX16) or 32-bit (D3DFMT_INDEX32) indices.
class IDirect3DIndexBuffer8 {
public:
    IDirect3DIndexBuffer8(const IDirect3DIndexBuffer8&) = delete;
    IDirect3DIndexBuffer8& operator=(const IDirect3DIndexBuffer8&) = delete;

    virtual ULONG AddRef();
    virtual ULONG Release();
    virtual D3DRESOURCETYPE GetType();
    // As IDirect3DVertexBuffer8::Lock.
    virtual HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags);
    virtual HRESULT Unlock();
    virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc);

protected:
    IDirect3DIndexBuffer8(IDirect3DDevice8* device, UINT length, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool);
    virtual ~IDirect3DIndexBuffer8();

private:
    friend class IDirect3DDevice8;
    d3d8_detail::BufferStorage storage_;
    D3DFORMAT format_;
    DWORD largestIndex_ = 0;  // no index in the buffer is larger; raised on Unlock
    UINT IndexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
};

using LPDIRECT3DDEVICE8 = IDirect3DDevice8*;
using LPDIRECT3DVERTEXBUFFER8 = IDirect3DVertexBuffer8*;
using LPDIRECT3DINDEXBUFFER8 = IDirect3DIndexBuffer8*;

class IDirect3DDevice8 {
public:
    // Resolves a GL function by name in the context the device draws into.
    using GLProcLoader = void* (*)(const char* name);

    // The render target's size; the viewport starts out covering all of it. Draws into an
    // off-screen Mesa context of that size with 24-bit depth and 8-bit stencil, created on
    // the first operation that needs GL (a device only used for its state never makes one).
    explicit IDirect3DDevice8(UINT backBufferWidth = 640, UINT backBufferHeight = 480);
    // Stand-in addition: draws into the GL context current on the calling thread whenever
    // the device is called (e.g. an FLTK GL window's, inside its draw()). The caller keeps
    // the same context current for every call that touches GL (buffer creation, Unlock,
    // Clear, drawing, read-back, Release of a buffer) and for the device's destruction;
    // loader resolves GL functions in it (glXGetProcAddressARB, for example).
    IDirect3DDevice8(UINT backBufferWidth, UINT backBufferHeight, GLProcLoader loader);
    virtual ~IDirect3DDevice8();

    IDirect3DDevice8(const IDirect3DDevice8&) = delete;
    IDirect3DDevice8& operator=(const IDirect3DDevice8&) = delete;

    // MaxVertexIndex 0xFFFFFF (32-bit indices draw), MaxPrimitiveCount 0xFFFFF, 16 streams.
    virtual HRESULT GetDeviceCaps(D3DCAPS8* pCaps);

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

    // Buffers. Length must be above 0 and, with a vertex format, hold one vertex; an index
    // buffer takes D3DFMT_INDEX16 or D3DFMT_INDEX32 and must hold one index. Requests above 256 MiB fail with
    // D3DERR_OUTOFVIDEOMEMORY.
    virtual HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                       IDirect3DVertexBuffer8** ppVertexBuffer);
    virtual HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                      IDirect3DIndexBuffer8** ppIndexBuffer);

    // The device holds a reference to the buffers bound here until they are replaced or the
    // device goes; the Get operations add a reference for the caller. Streams 0..15 exist,
    // drawing reads stream 0.
    virtual HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData,
                                    UINT Stride);
    virtual HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData,
                                    UINT* pStride);
    // BaseVertexIndex is added to every index read.
    virtual HRESULT SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex);
    virtual HRESULT GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex);

    // Fixed-function vertex formats only (a D3DFVF_* combination): position (XYZ, XYZRHW,
    // XYZB1..5 with the weights skipped), NORMAL, PSIZE, DIFFUSE, SPECULAR, TEX0..TEX8 with
    // any coordinate sizes. A handle that is no such format is kept, and drawing with it fails.
    virtual HRESULT SetVertexShader(DWORD Handle);
    virtual HRESULT GetVertexShader(DWORD* pHandle);

    // Drawing fails with D3DERR_INVALIDCALL when a buffer is missing or locked, the stride
    // is smaller than the vertex format, or a vertex or index read would fall outside its
    // buffer; with D3DERR_NOTAVAILABLE when no GL context could be made.
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                                  UINT PrimitiveCount);
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT MinIndex,
                                         UINT NumVertices, UINT StartIndex,
                                         UINT PrimitiveCount);
    // Vertices (and indices) from the caller's memory; afterwards stream 0 (and the index
    // buffer) are unbound, as on the original.
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                    const void* pVertexStreamZeroData,
                                    UINT VertexStreamZeroStride);
    virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex,
                                           UINT NumVertexIndices, UINT PrimitiveCount,
                                           const void* pIndexData, D3DFORMAT IndexDataFormat,
                                           const void* pVertexStreamZeroData,
                                           UINT VertexStreamZeroStride);

    // Clears the viewport (intersected with the rectangles, when Count is above 0) of what
    // Flags name, whatever the write masks and colour-write state say.
    virtual HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color,
                          float Z, DWORD Stencil);

    // Lights are numbered freely; up to 8 may be enabled at once. Enabling a light never set
    // gives it the default: a white directional light shining along +z.
    virtual HRESULT SetLight(DWORD Index, const D3DLIGHT8* pLight);
    virtual HRESULT GetLight(DWORD Index, D3DLIGHT8* pLight);
    virtual HRESULT LightEnable(DWORD Index, BOOL Enable);
    virtual HRESULT GetLightEnable(DWORD Index, BOOL* pEnable);
    virtual HRESULT SetMaterial(const D3DMATERIAL8* pMaterial);
    virtual HRESULT GetMaterial(D3DMATERIAL8* pMaterial);

    // Scene brackets. Drawing into the caller's context, BeginScene sends all state again,
    // since others may have changed GL's. Present finishes the GL work; a window's buffer
    // swap is its owner's. Its arguments (source and destination rectangles, window, dirty
    // region) are ignored.
    virtual HRESULT BeginScene();
    virtual HRESULT EndScene();
    virtual HRESULT Present(const void* pSourceRect = nullptr, const void* pDestRect = nullptr,
                            void* hDestWindowOverride = nullptr,
                            const void* pDirtyRegion = nullptr);

    UINT BackBufferWidth() const { return backBufferWidth_; }
    UINT BackBufferHeight() const { return backBufferHeight_; }

    // Stand-in addition: whether GL drawing is available (makes the off-screen context if
    // there is none yet).
    bool HasGL();
    // Stand-in addition: a new render target size (a resized window); the viewport is reset
    // to cover it, the off-screen target's contents are lost.
    HRESULT ResizeBackBuffer(UINT backBufferWidth, UINT backBufferHeight);

    // Stand-in additions: the render target read back, top row first, width x height items.
    // Colour as D3DCOLOR (0xAARRGGBB), depth as 0..1, stencil as 0..255.
    HRESULT ReadBackColor(std::vector<D3DCOLOR>& pixels);
    HRESULT ReadBackDepth(std::vector<float>& depths);
    HRESULT ReadBackStencil(std::vector<BYTE>& stencils);
    // Stand-in addition: the render target's colour as an RGBA PNG file.
    HRESULT SaveBackBufferPng(const char* path);
    // Stand-in addition: any image in the read-back layout as an RGBA PNG file.
    static HRESULT WritePng(const char* path, UINT width, UINT height, const D3DCOLOR* pixels);

private:
    static constexpr DWORD kRenderStateCount = 256;
    static constexpr DWORD kWorldMatrixCount = 256;
    static constexpr DWORD kTextureStageCount = 8;
    static constexpr UINT kStreamCount = 16;
    static constexpr UINT kMaxBufferBytes = 256u << 20;  // larger requests are refused

    struct Stream {
        IDirect3DVertexBuffer8* buffer = nullptr;
        UINT stride = 0;
    };
    struct LightSlot {
        D3DLIGHT8 light;
        bool enabled = false;
    };

    friend class IDirect3DVertexBuffer8;
    friend class IDirect3DIndexBuffer8;

    D3DMATRIX* TransformSlot(D3DTRANSFORMSTATETYPE state);
    d3d8_detail::DeviceGL* GL();         // makes the context current, creating it if need be
    d3d8_detail::DeviceGL* CurrentGL();  // as GL() but never creates one
    void ReleaseGL();
    void ResetGLState(d3d8_detail::DeviceGL& gl);  // GL's state made what the cache says
    void UploadBuffer(d3d8_detail::BufferStorage& storage, bool indices);
    void ForgetBuffer(d3d8_detail::BufferStorage& storage);
    // GL's state made the device's before a draw; false when lighting cannot be drawn.
    bool ApplyState(d3d8_detail::DeviceGL& gl, const d3d8_detail::VertexLayout& layout,
                    D3DPRIMITIVETYPE type);
    void ApplyDepthStencilStates(d3d8_detail::DeviceGL& gl);
    void ApplyColourStates(d3d8_detail::DeviceGL& gl);
    void ApplyRasterStates(d3d8_detail::DeviceGL& gl);
    void ApplyTransforms(d3d8_detail::DeviceGL& gl, const d3d8_detail::VertexLayout& layout,
                         D3DPRIMITIVETYPE type);
    bool ApplyLighting(d3d8_detail::DeviceGL& gl, const d3d8_detail::VertexLayout& layout);
    d3d8_detail::LightingSetup LightingSetupFor(const d3d8_detail::VertexLayout& layout) const;
    void UpdateLightingValues(d3d8_detail::DeviceGL& gl);  // lights and material, packed
    // vertexBuffer and indexBuffer are GL buffer names, 0 for the caller's memory; the
    // bases are byte offsets into the buffers, or pointers into that memory; indices are
    // the drawn indices in memory. Arguments are checked by the callers.
    HRESULT Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, DWORD fvf, unsigned vertexBuffer,
                 const BYTE* vertexBase, UINT stride, UINT firstVertex, bool indexed,
                 unsigned indexBuffer, const BYTE* indexBase, const BYTE* indices,
                 bool wideIndices = false);
    void DrawLastPixels(d3d8_detail::DeviceGL& gl, const d3d8_detail::VertexLayout& layout,
                        D3DPRIMITIVETYPE type, UINT count, UINT firstVertex,
                        const BYTE* indices, bool wideIndices);

    UINT backBufferWidth_;
    UINT backBufferHeight_;
    D3DMATRIX view_;
    D3DMATRIX projection_;
    std::array<D3DMATRIX, kTextureStageCount> texture_;
    std::array<D3DMATRIX, kWorldMatrixCount> world_;
    std::array<DWORD, kRenderStateCount> renderStates_{};
    D3DVIEWPORT8 viewport_;

    std::array<Stream, kStreamCount> streams_{};
    IDirect3DIndexBuffer8* indices_ = nullptr;
    UINT baseVertexIndex_ = 0;
    DWORD vertexShader_ = 0;
    std::map<DWORD, LightSlot> lights_;
    D3DMATERIAL8 material_{};

    GLProcLoader externalLoader_ = nullptr;  // null: the device owns an off-screen context
    bool glFailed_ = false;
    std::unique_ptr<d3d8_detail::DeviceGL> gl_;
    std::vector<d3d8_detail::BufferStorage*> liveBuffers_;
};
