#include <d3d8/d3d8.h>

#include "device_gl.h"

#include <vecmath/d3dx_math.h>

#include <new>

namespace {

D3DMATRIX IdentityMatrix() {
    D3DXMATRIX m;
    return *D3DXMatrixIdentity(&m);
}

}  // namespace

IDirect3DDevice8::IDirect3DDevice8(UINT backBufferWidth, UINT backBufferHeight)
    : backBufferWidth_(backBufferWidth),
      backBufferHeight_(backBufferHeight),
      view_(IdentityMatrix()),
      projection_(IdentityMatrix()),
      viewport_{0, 0, backBufferWidth, backBufferHeight, 0.0f, 1.0f} {
    texture_.fill(IdentityMatrix());
    world_.fill(IdentityMatrix());

    constexpr DWORD kTrue = 1, kAllBits = 0xFFFFFFFFu;
    renderStates_[D3DRS_ZENABLE] = kTrue;
    renderStates_[D3DRS_FILLMODE] = 3;   // solid
    renderStates_[D3DRS_SHADEMODE] = 2;  // Gouraud
    renderStates_[D3DRS_ZWRITEENABLE] = kTrue;
    renderStates_[D3DRS_LASTPIXEL] = kTrue;
    renderStates_[D3DRS_SRCBLEND] = 2;   // one
    renderStates_[D3DRS_DESTBLEND] = 1;  // zero
    renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
    renderStates_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    renderStates_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    renderStates_[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    renderStates_[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    renderStates_[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    renderStates_[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    renderStates_[D3DRS_STENCILMASK] = kAllBits;
    renderStates_[D3DRS_STENCILWRITEMASK] = kAllBits;
    renderStates_[D3DRS_TEXTUREFACTOR] = kAllBits;
    renderStates_[D3DRS_CLIPPING] = kTrue;
    renderStates_[D3DRS_LIGHTING] = kTrue;
    renderStates_[D3DRS_COLORVERTEX] = kTrue;
    renderStates_[D3DRS_LOCALVIEWER] = kTrue;
    renderStates_[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    renderStates_[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    renderStates_[D3DRS_COLORWRITEENABLE] = 0xF;  // red, green, blue and alpha
    renderStates_[D3DRS_BLENDOP] = 1;              // add
}

IDirect3DDevice8::IDirect3DDevice8(UINT backBufferWidth, UINT backBufferHeight,
                                   GLProcLoader loader)
    : IDirect3DDevice8(backBufferWidth, backBufferHeight) {
    externalLoader_ = loader;
}

IDirect3DDevice8::~IDirect3DDevice8() {
    for (Stream& stream : streams_)
        if (stream.buffer) stream.buffer->Release();
    if (indices_) indices_->Release();
    // Buffers still held elsewhere outlive the device as plain memory.
    d3d8_detail::DeviceGL* gl = CurrentGL();
    for (d3d8_detail::BufferStorage* storage : liveBuffers_) {
        if (gl && storage->glName) gl->gl.DeleteBuffers(1, &storage->glName);
        storage->glName = 0;
        storage->device = nullptr;
    }
    ReleaseGL();
}

D3DMATRIX* IDirect3DDevice8::TransformSlot(D3DTRANSFORMSTATETYPE state) {
    const DWORD s = state;
    if (s == D3DTS_VIEW) return &view_;
    if (s == D3DTS_PROJECTION) return &projection_;
    if (s >= D3DTS_TEXTURE0 && s < D3DTS_TEXTURE0 + kTextureStageCount)
        return &texture_[s - D3DTS_TEXTURE0];
    if (s >= D3DTS_WORLD && s < D3DTS_WORLD + kWorldMatrixCount) return &world_[s - D3DTS_WORLD];
    return nullptr;
}

HRESULT IDirect3DDevice8::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    D3DMATRIX* slot = TransformSlot(state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *slot = *matrix;
    if (gl_ && (slot == &view_ || slot == &projection_ || slot == &world_[0])) {
        gl_->transformsDirty = true;
        // Lights are given in world space and sent to GL through the view.
        if (slot == &view_) gl_->lightsDirty = true;
    }
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    D3DMATRIX* slot = TransformSlot(state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *matrix = *slot;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state == 0 || state >= kRenderStateCount) return D3DERR_INVALIDCALL;
    renderStates_[state] = value;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (state == 0 || state >= kRenderStateCount || !value) return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetViewport(const D3DVIEWPORT8* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    const D3DVIEWPORT8& v = *viewport;
    // Widened so that a huge X plus Width cannot wrap around into range; a rasteriser
    // trusting the viewport would otherwise write outside the target.
    if (std::uint64_t{v.X} + v.Width > backBufferWidth_ ||
        std::uint64_t{v.Y} + v.Height > backBufferHeight_)
        return D3DERR_INVALIDCALL;
    // Written this way round so that NaN depths are refused too.
    if (!(v.MinZ >= 0.0f && v.MinZ <= 1.0f && v.MaxZ >= 0.0f && v.MaxZ <= 1.0f))
        return D3DERR_INVALIDCALL;
    viewport_ = v;
    if (gl_) gl_->transformsDirty = true;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetViewport(D3DVIEWPORT8* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = viewport_;
    return D3D_OK;
}


HRESULT IDirect3DDevice8::SetLight(DWORD Index, const D3DLIGHT8* pLight) {
    if (!pLight || pLight->Type < D3DLIGHT_POINT || pLight->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    lights_[Index].light = *pLight;
    if (gl_) gl_->lightsDirty = true;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetLight(DWORD Index, D3DLIGHT8* pLight) {
    const auto it = lights_.find(Index);
    if (!pLight || it == lights_.end()) return D3DERR_INVALIDCALL;
    *pLight = it->second.light;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::LightEnable(DWORD Index, BOOL Enable) {
    constexpr std::size_t kMaxActiveLights = 8;  // what the fixed-function GL pipeline has
    auto it = lights_.find(Index);
    if (Enable && !(it != lights_.end() && it->second.enabled)) {
        std::size_t active = 0;
        for (const auto& [index, slot] : lights_) active += slot.enabled ? 1 : 0;
        if (active >= kMaxActiveLights) return D3DERR_INVALIDCALL;
    }
    if (it == lights_.end()) {
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = {0.0f, 0.0f, 1.0f};
        it = lights_.emplace(Index, LightSlot{light, false}).first;
    }
    it->second.enabled = Enable != 0;
    if (gl_) gl_->lightsDirty = true;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetLightEnable(DWORD Index, BOOL* pEnable) {
    const auto it = lights_.find(Index);
    if (!pEnable || it == lights_.end()) return D3DERR_INVALIDCALL;
    *pEnable = it->second.enabled ? 1 : 0;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetMaterial(const D3DMATERIAL8* pMaterial) {
    if (!pMaterial) return D3DERR_INVALIDCALL;
    material_ = *pMaterial;
    if (gl_) gl_->materialDirty = true;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetMaterial(D3DMATERIAL8* pMaterial) {
    if (!pMaterial) return D3DERR_INVALIDCALL;
    *pMaterial = material_;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                             IDirect3DVertexBuffer8** ppVertexBuffer) {
    if (!ppVertexBuffer) return D3DERR_INVALIDCALL;
    *ppVertexBuffer = nullptr;
    if (Length == 0 || Pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (FVF != 0) {
        const d3d8_detail::VertexLayout layout = d3d8_detail::LayoutOf(FVF);
        if (!layout.valid || Length < layout.size) return D3DERR_INVALIDCALL;
    }
    if (Length > kMaxBufferBytes) return D3DERR_OUTOFVIDEOMEMORY;
    IDirect3DVertexBuffer8* buffer;
    try {
        buffer = new IDirect3DVertexBuffer8(this, Length, Usage, FVF, Pool);
        liveBuffers_.push_back(&buffer->storage_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *ppVertexBuffer = buffer;
    return D3D_OK;
}

// GL draws 32-bit indices (GL_UNSIGNED_INT); the vertex limit is what hardware of the
// time reported for them.
HRESULT IDirect3DDevice8::GetDeviceCaps(D3DCAPS8* pCaps) {
    if (!pCaps) return D3DERR_INVALIDCALL;
    *pCaps = D3DCAPS8{};
    pCaps->MaxPrimitiveCount = 0xFFFFF;
    pCaps->MaxVertexIndex = 0xFFFFFF;
    pCaps->MaxStreams = kStreamCount;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, IDirect3DIndexBuffer8** ppIndexBuffer) {
    if (!ppIndexBuffer) return D3DERR_INVALIDCALL;
    *ppIndexBuffer = nullptr;
    if (Pool > D3DPOOL_SCRATCH || (Format != D3DFMT_INDEX16 && Format != D3DFMT_INDEX32) ||
        Length < (Format == D3DFMT_INDEX32 ? 4u : 2u))
        return D3DERR_INVALIDCALL;
    if (Length > kMaxBufferBytes) return D3DERR_OUTOFVIDEOMEMORY;
    IDirect3DIndexBuffer8* buffer;
    try {
        buffer = new IDirect3DIndexBuffer8(this, Length, Usage, Format, Pool);
        liveBuffers_.push_back(&buffer->storage_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *ppIndexBuffer = buffer;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData,
                                          UINT Stride) {
    if (StreamNumber >= kStreamCount) return D3DERR_INVALIDCALL;
    if (pStreamData && pStreamData->storage_.device != this) return D3DERR_INVALIDCALL;
    Stream& stream = streams_[StreamNumber];
    // The new reference is taken first, so rebinding the same buffer cannot free it.
    if (pStreamData) pStreamData->AddRef();
    if (stream.buffer) stream.buffer->Release();
    stream.buffer = pStreamData;
    stream.stride = Stride;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData,
                                          UINT* pStride) {
    if (StreamNumber >= kStreamCount || !ppStreamData || !pStride) return D3DERR_INVALIDCALL;
    const Stream& stream = streams_[StreamNumber];
    *ppStreamData = stream.buffer;
    *pStride = stream.stride;
    if (stream.buffer) stream.buffer->AddRef();
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) {
    if (pIndexData && pIndexData->storage_.device != this) return D3DERR_INVALIDCALL;
    if (pIndexData) pIndexData->AddRef();
    if (indices_) indices_->Release();
    indices_ = pIndexData;
    baseVertexIndex_ = BaseVertexIndex;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetIndices(IDirect3DIndexBuffer8** ppIndexData,
                                     UINT* pBaseVertexIndex) {
    if (!ppIndexData || !pBaseVertexIndex) return D3DERR_INVALIDCALL;
    *ppIndexData = indices_;
    *pBaseVertexIndex = baseVertexIndex_;
    if (indices_) indices_->AddRef();
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetVertexShader(DWORD Handle) {
    vertexShader_ = Handle;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetVertexShader(DWORD* pHandle) {
    if (!pHandle) return D3DERR_INVALIDCALL;
    *pHandle = vertexShader_;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::EndScene() { return D3D_OK; }
