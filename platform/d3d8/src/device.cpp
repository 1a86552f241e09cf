#include <d3d8/d3d8.h>

#include <vecmath/d3dx_math.h>

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
    renderStates_[D3DRS_COLORWRITEENABLE] = 0xF;  // red, green, blue and alpha
    renderStates_[D3DRS_BLENDOP] = 1;              // add
}

IDirect3DDevice8::~IDirect3DDevice8() = default;  // stub

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
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetViewport(D3DVIEWPORT8* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = viewport_;
    return D3D_OK;
}

// ---- Stubs while the GL side is being written ----
namespace d3d8_detail { struct DeviceGL {}; }

IDirect3DDevice8::IDirect3DDevice8(UINT w, UINT h, GLProcLoader loader) : IDirect3DDevice8(w, h) {
    externalLoader_ = loader;
}
HRESULT IDirect3DDevice8::CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer8**) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::CreateIndexBuffer(UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer8**) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::SetStreamSource(UINT, IDirect3DVertexBuffer8*, UINT) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::GetStreamSource(UINT, IDirect3DVertexBuffer8**, UINT*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::SetIndices(IDirect3DIndexBuffer8*, UINT) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::GetIndices(IDirect3DIndexBuffer8**, UINT*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::SetVertexShader(DWORD) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::GetVertexShader(DWORD*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::DrawIndexedPrimitive(D3DPRIMITIVETYPE, UINT, UINT, UINT, UINT) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT, const void*, D3DFORMAT, const void*, UINT) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::SetLight(DWORD, const D3DLIGHT8*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::GetLight(DWORD, D3DLIGHT8*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::LightEnable(DWORD, BOOL) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::GetLightEnable(DWORD, BOOL*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::SetMaterial(const D3DMATERIAL8*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::GetMaterial(D3DMATERIAL8*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::BeginScene() { return D3D_OK; }
HRESULT IDirect3DDevice8::EndScene() { return D3D_OK; }
HRESULT IDirect3DDevice8::Present(const void*, const void*, void*, const void*) { return D3D_OK; }
bool IDirect3DDevice8::HasGL() { return false; }
HRESULT IDirect3DDevice8::ResizeBackBuffer(UINT, UINT) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::ReadBackColor(std::vector<D3DCOLOR>&) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::ReadBackDepth(std::vector<float>&) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::ReadBackStencil(std::vector<BYTE>&) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::SaveBackBufferPng(const char*) { return D3DERR_INVALIDCALL; }
HRESULT IDirect3DDevice8::WritePng(const char*, UINT, UINT, const D3DCOLOR*) { return D3DERR_INVALIDCALL; }
d3d8_detail::DeviceGL* IDirect3DDevice8::GL() { return nullptr; }
void IDirect3DDevice8::UploadBuffer(d3d8_detail::BufferStorage&, bool) {}
void IDirect3DDevice8::ForgetBuffer(d3d8_detail::BufferStorage&) {}
