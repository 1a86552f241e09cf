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

IDirect3DDevice8::~IDirect3DDevice8() = default;

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
