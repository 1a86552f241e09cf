// Drawing and clearing: Direct3D's state and conventions mapped onto fixed-function GL.
#include <d3d8/d3d8.h>

#include "device_gl.h"
#include "largest_index.h"

#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

using d3d8_detail::DeviceGL;
using d3d8_detail::VertexLayout;

GLenum CompareFor(DWORD function) {
    switch (function) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

GLenum StencilOpFor(DWORD op) {
    switch (op) {
        case D3DSTENCILOP_ZERO: return GL_ZERO;
        case D3DSTENCILOP_REPLACE: return GL_REPLACE;
        case D3DSTENCILOP_INCRSAT: return GL_INCR;
        case D3DSTENCILOP_DECRSAT: return GL_DECR;
        case D3DSTENCILOP_INVERT: return GL_INVERT;
        case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
        case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
        default: return GL_KEEP;
    }
}

GLenum BlendFor(DWORD blend) {
    switch (blend) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        default: return GL_ONE;
    }
}

GLenum BlendOpFor(DWORD op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN: return GL_MIN;
        case D3DBLENDOP_MAX: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

void Unpack(D3DCOLOR c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>(c >> 24) / 255.0f;
}

const float* Components(const D3DCOLORVALUE& c) { return &c.r; }

// Direct3D samples pixel (i, j) at window point (i, j); GL samples its pixel (i, j) at
// (i + 0.5, j + 0.5), with rows counted upwards. Folded into the projection: half a pixel
// right, half a pixel down (or, drawn upside down, y mirrored and half a pixel up in GL's
// terms), and clip depth 0..w stretched to GL's -w..w so that the depth range maps as the
// viewport's MinZ..MaxZ.
D3DXMATRIX ToGLClip(const D3DMATRIX& p, float viewportWidth, float viewportHeight, bool flipY) {
    D3DXMATRIX r(p);
    for (int i = 0; i < 4; ++i) {
        r.m[i][0] = p.m[i][0] + p.m[i][3] / viewportWidth;
        r.m[i][1] = flipY ? -p.m[i][1] + p.m[i][3] / viewportHeight
                          : p.m[i][1] - p.m[i][3] / viewportHeight;
        r.m[i][2] = 2.0f * p.m[i][2] - p.m[i][3];
    }
    return r;
}

// Pre-transformed vertices are in render-target pixels with depth 0..1.
D3DXMATRIX ScreenToGLClip(float width, float height, bool flipY) {
    const float sy = flipY ? 2.0f / height : -2.0f / height;
    const float ty = flipY ? 1.0f / height - 1.0f : 1.0f - 1.0f / height;
    return D3DXMATRIX(2.0f / width, 0, 0, 0,
                      0, sy, 0, 0,
                      0, 0, 2.0f, 0,
                      1.0f / width - 1.0f, ty, -1.0f, 1.0f);
}

// A rectangle of render-target rows (top down) as GL's window rows.
GLint GLRow(const DeviceGL& g, LONG top, LONG bottom, UINT targetHeight) {
    return g.flipY ? top : static_cast<GLint>(targetHeight) - bottom;
}

}  // namespace

void IDirect3DDevice8::ApplyState(DeviceGL& g, const VertexLayout& layout) {
    auto& f = g.gl;
    const auto& rs = renderStates_;
    auto changed = [&](std::initializer_list<D3DRENDERSTATETYPE> states) {
        if (!g.appliedValid) return true;
        for (D3DRENDERSTATETYPE s : states)
            if (g.applied[s] != rs[s]) return true;
        return false;
    };
    auto toggle = [&](GLenum cap, bool on) { (on ? f.Enable : f.Disable)(cap); };

    if (changed({D3DRS_ZENABLE})) toggle(GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
    if (changed({D3DRS_ZWRITEENABLE})) f.DepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    if (changed({D3DRS_ZFUNC})) f.DepthFunc(CompareFor(rs[D3DRS_ZFUNC]));
    if (changed({D3DRS_STENCILENABLE})) toggle(GL_STENCIL_TEST, rs[D3DRS_STENCILENABLE] != 0);
    // The stencil buffer has 8 bits: reference and masks are taken modulo 256.
    if (changed({D3DRS_STENCILFUNC, D3DRS_STENCILREF, D3DRS_STENCILMASK}))
        f.StencilFunc(CompareFor(rs[D3DRS_STENCILFUNC]),
                      static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFF),
                      rs[D3DRS_STENCILMASK] & 0xFF);
    if (changed({D3DRS_STENCILWRITEMASK})) f.StencilMask(rs[D3DRS_STENCILWRITEMASK] & 0xFF);
    if (changed({D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS}))
        f.StencilOp(StencilOpFor(rs[D3DRS_STENCILFAIL]), StencilOpFor(rs[D3DRS_STENCILZFAIL]),
                    StencilOpFor(rs[D3DRS_STENCILPASS]));
    if (changed({D3DRS_CULLMODE})) {
        toggle(GL_CULL_FACE, rs[D3DRS_CULLMODE] != D3DCULL_NONE);
        // GL's front faces are the clockwise ones (see GL()).
        f.CullFace(rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_FRONT : GL_BACK);
    }
    if (changed({D3DRS_COLORWRITEENABLE})) {
        const DWORD bits = rs[D3DRS_COLORWRITEENABLE];
        f.ColorMask((bits & D3DCOLORWRITEENABLE_RED) != 0, (bits & D3DCOLORWRITEENABLE_GREEN) != 0,
                    (bits & D3DCOLORWRITEENABLE_BLUE) != 0,
                    (bits & D3DCOLORWRITEENABLE_ALPHA) != 0);
    }
    if (changed({D3DRS_ALPHABLENDENABLE}))
        toggle(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
    if (changed({D3DRS_SRCBLEND, D3DRS_DESTBLEND})) {
        const DWORD src = rs[D3DRS_SRCBLEND];
        // The two "both" factors set the destination factor as well.
        if (src == D3DBLEND_BOTHSRCALPHA)
            f.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        else if (src == D3DBLEND_BOTHINVSRCALPHA)
            f.BlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
        else
            f.BlendFunc(BlendFor(src), BlendFor(rs[D3DRS_DESTBLEND]));
    }
    if (changed({D3DRS_BLENDOP})) f.BlendEquation(BlendOpFor(rs[D3DRS_BLENDOP]));
    if (changed({D3DRS_ALPHATESTENABLE})) toggle(GL_ALPHA_TEST, rs[D3DRS_ALPHATESTENABLE] != 0);
    if (changed({D3DRS_ALPHAFUNC, D3DRS_ALPHAREF}))
        f.AlphaFunc(CompareFor(rs[D3DRS_ALPHAFUNC]),
                    static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f);
    if (changed({D3DRS_SHADEMODE}))
        f.ShadeModel(rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH);
    if (changed({D3DRS_FILLMODE}))
        f.PolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                                         : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                                   : GL_FILL);
    if (changed({D3DRS_NORMALIZENORMALS}))
        toggle(GL_NORMALIZE, rs[D3DRS_NORMALIZENORMALS] != 0);
    if (changed({D3DRS_AMBIENT})) {
        float ambient[4];
        Unpack(rs[D3DRS_AMBIENT], ambient);
        f.LightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    }
    if (changed({D3DRS_LOCALVIEWER}))
        f.LightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, rs[D3DRS_LOCALVIEWER] ? GL_TRUE : GL_FALSE);
    if (changed({D3DRS_SPECULARENABLE})) g.lightsDirty = g.materialDirty = true;
    g.applied = rs;
    g.appliedValid = true;

    // Transforms: world then view into GL's model-view, projection (mapped) into its own.
    const bool transformed = layout.transformed;
    if (transformed != g.lastTransformed || g.transformsDirty) {
        D3DXMATRIX projection, modelView;
        if (transformed) {
            f.Viewport(0, 0, static_cast<GLsizei>(backBufferWidth_),
                       static_cast<GLsizei>(backBufferHeight_));
            f.DepthRange(0.0, 1.0);
            projection = ScreenToGLClip(static_cast<float>(backBufferWidth_),
                                        static_cast<float>(backBufferHeight_), g.flipY);
            D3DXMatrixIdentity(&modelView);
        } else {
            const D3DVIEWPORT8& v = viewport_;
            f.Viewport(static_cast<GLint>(v.X),
                       GLRow(g, static_cast<LONG>(v.Y), static_cast<LONG>(v.Y + v.Height),
                             backBufferHeight_),
                       static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
            f.DepthRange(v.MinZ, v.MaxZ);
            projection = ToGLClip(projection_, static_cast<float>(v.Width),
                                  static_cast<float>(v.Height), g.flipY);
            modelView = D3DXMATRIX(world_[0]) * view_;
        }
        // A row-major row-vector matrix read column-major is its transpose: GL's form.
        f.MatrixMode(GL_PROJECTION);
        f.LoadMatrixf(&projection.m[0][0]);
        f.MatrixMode(GL_MODELVIEW);
        f.LoadMatrixf(&modelView.m[0][0]);
        g.lastTransformed = transformed;
        // After screen-space vertices the next transformed draw loads its matrices again.
        g.transformsDirty = transformed;
    }

    // Lighting: pre-transformed vertices are never lit.
    const bool lighting = rs[D3DRS_LIGHTING] != 0 && !transformed;
    if (lighting != g.lastLighting) toggle(GL_LIGHTING, lighting);
    g.lastLighting = lighting;
    if (lighting) {
        // With vertex colours on, the diffuse (and ambient) material can come from the
        // vertex's diffuse colour.
        const bool vertexColour = rs[D3DRS_COLORVERTEX] != 0 && layout.diffuse >= 0;
        const bool diffuse = vertexColour && rs[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
        const bool ambient = vertexColour && rs[D3DRS_AMBIENTMATERIALSOURCE] == D3DMCS_COLOR1;
        const int mode = (diffuse ? 1 : 0) | (ambient ? 2 : 0);
        if (mode != g.lastColourMaterial) {
            if (mode == 0) {
                f.Disable(GL_COLOR_MATERIAL);
            } else {
                f.ColorMaterial(GL_FRONT_AND_BACK, mode == 1   ? GL_DIFFUSE
                                                   : mode == 2 ? GL_AMBIENT
                                                               : GL_AMBIENT_AND_DIFFUSE);
                f.Enable(GL_COLOR_MATERIAL);
            }
            // Tracking overwrote the material's colours.
            if (g.lastColourMaterial > 0) g.materialDirty = true;
            g.lastColourMaterial = mode;
        }
        if (g.lightsDirty) ApplyLights(g);
        if (g.materialDirty) {
            const float none[4] = {0, 0, 0, 0};
            const bool specular = rs[D3DRS_SPECULARENABLE] != 0;
            f.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT, Components(material_.Ambient));
            f.Materialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, Components(material_.Diffuse));
            f.Materialfv(GL_FRONT_AND_BACK, GL_EMISSION, Components(material_.Emissive));
            f.Materialfv(GL_FRONT_AND_BACK, GL_SPECULAR,
                         specular ? Components(material_.Specular) : none);
            f.Materialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(material_.Power, 0.0f, 128.0f));
            g.materialDirty = false;
        }
    }
}

void IDirect3DDevice8::ApplyLights(DeviceGL& g) {
    auto& f = g.gl;
    // GL keeps light positions in eye space, transformed by the model-view of the moment.
    f.MatrixMode(GL_MODELVIEW);
    f.LoadMatrixf(&view_.m[0][0]);
    const bool specular = renderStates_[D3DRS_SPECULARENABLE] != 0;
    const float none[4] = {0, 0, 0, 0};
    GLenum unit = GL_LIGHT0;
    for (const auto& [index, slot] : lights_) {
        if (!slot.enabled) continue;
        const D3DLIGHT8& l = slot.light;
        f.Lightfv(unit, GL_AMBIENT, Components(l.Ambient));
        f.Lightfv(unit, GL_DIFFUSE, Components(l.Diffuse));
        f.Lightfv(unit, GL_SPECULAR, specular ? Components(l.Specular) : none);
        if (l.Type == D3DLIGHT_DIRECTIONAL) {
            // Direct3D gives the way the light travels, GL the way towards the light.
            const float towards[4] = {-l.Direction.x, -l.Direction.y, -l.Direction.z, 0.0f};
            f.Lightfv(unit, GL_POSITION, towards);
            f.Lightf(unit, GL_SPOT_CUTOFF, 180.0f);
        } else {
            const float position[4] = {l.Position.x, l.Position.y, l.Position.z, 1.0f};
            f.Lightfv(unit, GL_POSITION, position);
            // All-zero attenuation would divide by zero; it is read as no attenuation.
            const bool none0 = l.Attenuation0 == 0 && l.Attenuation1 == 0 && l.Attenuation2 == 0;
            f.Lightf(unit, GL_CONSTANT_ATTENUATION, none0 ? 1.0f : l.Attenuation0);
            f.Lightf(unit, GL_LINEAR_ATTENUATION, l.Attenuation1);
            f.Lightf(unit, GL_QUADRATIC_ATTENUATION, l.Attenuation2);
            if (l.Type == D3DLIGHT_SPOT) {
                // GL has one cone: the outer one, with the fall-off as its exponent.
                const float direction[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
                f.Lightfv(unit, GL_SPOT_DIRECTION, direction);
                f.Lightf(unit, GL_SPOT_CUTOFF, std::clamp(l.Phi * 0.5f * 57.29578f, 0.0f, 90.0f));
                f.Lightf(unit, GL_SPOT_EXPONENT, std::clamp(l.Falloff, 0.0f, 128.0f));
            } else {
                f.Lightf(unit, GL_SPOT_CUTOFF, 180.0f);
            }
        }
        f.Enable(unit++);
    }
    for (; unit < GL_LIGHT0 + 8; ++unit) f.Disable(unit);
    const D3DXMATRIX modelView = D3DXMATRIX(world_[0]) * view_;
    f.LoadMatrixf(&modelView.m[0][0]);
    g.lightsDirty = false;
}

HRESULT IDirect3DDevice8::Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, DWORD fvf,
                               unsigned vertexBuffer, const BYTE* vertexBase, UINT stride,
                               UINT firstVertex, bool indexed, unsigned indexBuffer,
                               const BYTE* indexBase, bool wideIndices) {
    DeviceGL* g = GL();
    if (!g) return D3DERR_NOTAVAILABLE;
    auto& f = g->gl;
    const VertexLayout layout = d3d8_detail::LayoutOf(fvf);
    ApplyState(*g, layout);

    if (g->pointerBuffer != vertexBuffer || g->pointerBase != vertexBase ||
        g->pointerStride != stride || g->lastFvf != fvf) {
        if (g->boundArray != vertexBuffer) f.BindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        g->boundArray = vertexBuffer;
        const auto s = static_cast<GLsizei>(stride);
        // The base may be a byte offset into a GL buffer posing as a pointer: added as an
        // integer, since adding to a null pointer is not allowed.
        const auto at = [vertexBase](int offset) {
            return reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(vertexBase) +
                                                 static_cast<std::uintptr_t>(offset));
        };
        f.VertexPointer(3, GL_FLOAT, s, vertexBase);
        if (layout.normal >= 0) {
            f.EnableClientState(GL_NORMAL_ARRAY);
            f.NormalPointer(GL_FLOAT, s, at(layout.normal));
        } else {
            f.DisableClientState(GL_NORMAL_ARRAY);
            f.Normal3f(0.0f, 0.0f, 0.0f);  // no normal: only ambient light reaches it
        }
        if (layout.diffuse >= 0) {
            f.EnableClientState(GL_COLOR_ARRAY);
            // A D3DCOLOR is the bytes blue, green, red, alpha.
            f.ColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, s, at(layout.diffuse));
        } else {
            f.DisableClientState(GL_COLOR_ARRAY);
            f.Color4f(1.0f, 1.0f, 1.0f, 1.0f);  // no diffuse colour: white
        }
        g->pointerBuffer = vertexBuffer;
        g->pointerBase = vertexBase;
        g->pointerStride = stride;
        g->lastFvf = fvf;
    }

    const GLenum mode = d3d8_detail::ModeFor(type);
    const auto count = static_cast<GLsizei>(d3d8_detail::VerticesFor(type, primitiveCount));
    if (indexed) {
        if (g->boundElement != indexBuffer) f.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
        g->boundElement = indexBuffer;
        f.DrawElements(mode, count, wideIndices ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, indexBase);
    } else {
        f.DrawArrays(mode, static_cast<GLint>(firstVertex), count);
    }
    return D3D_OK;
}

namespace {

// The largest vertex number whose bytes lie wholly inside a buffer, or -1 for none.
std::int64_t LastWholeVertex(std::size_t bufferBytes, UINT stride, UINT vertexSize) {
    if (bufferBytes < vertexSize) return -1;
    return static_cast<std::int64_t>((bufferBytes - vertexSize) / stride);
}

}  // namespace

HRESULT IDirect3DDevice8::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                                        UINT PrimitiveCount) {
    const std::uint64_t count = d3d8_detail::VerticesFor(PrimitiveType, PrimitiveCount);
    const VertexLayout layout = d3d8_detail::LayoutOf(vertexShader_);
    IDirect3DVertexBuffer8* vb = streams_[0].buffer;
    const UINT stride = streams_[0].stride;
    if (!layout.valid || !vb || vb->storage_.locked || stride < layout.size || stride == 0)
        return D3DERR_INVALIDCALL;
    if (PrimitiveCount == 0) return D3D_OK;
    if (count == 0 || count > 0x7FFFFFFF ||
        static_cast<std::int64_t>(StartVertex + count - 1) >
            LastWholeVertex(vb->storage_.bytes.size(), stride, layout.size))
        return D3DERR_INVALIDCALL;
    DeviceGL* g = GL();
    if (!g) return D3DERR_NOTAVAILABLE;
    if (!vb->storage_.glName) UploadBuffer(vb->storage_, false);
    return Draw(PrimitiveType, PrimitiveCount, vertexShader_, vb->storage_.glName, nullptr, stride,
                StartVertex, false, 0, nullptr);
}

HRESULT IDirect3DDevice8::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT MinIndex,
                                               UINT NumVertices, UINT StartIndex,
                                               UINT PrimitiveCount) {
    const std::uint64_t count = d3d8_detail::VerticesFor(PrimitiveType, PrimitiveCount);
    const VertexLayout layout = d3d8_detail::LayoutOf(vertexShader_);
    IDirect3DVertexBuffer8* vb = streams_[0].buffer;
    IDirect3DIndexBuffer8* ib = indices_;
    const UINT stride = streams_[0].stride;
    if (!layout.valid || !vb || !ib || vb->storage_.locked || ib->storage_.locked ||
        stride < layout.size || stride == 0)
        return D3DERR_INVALIDCALL;
    if (PrimitiveCount == 0) return D3D_OK;
    const UINT indexSize = ib->IndexSize();
    const std::size_t indexCount = ib->storage_.bytes.size() / indexSize;
    if (count == 0 || count > 0x7FFFFFFF || std::uint64_t{StartIndex} + count > indexCount)
        return D3DERR_INVALIDCALL;
    // Every index read must name a vertex inside the buffer: the bound kept for the whole
    // index buffer settles it at once; only when it fails are the drawn indices scanned.
    const std::int64_t last = LastWholeVertex(vb->storage_.bytes.size(), stride, layout.size);
    if (std::int64_t{baseVertexIndex_} + ib->largestIndex_ > last &&
        std::int64_t{baseVertexIndex_} +
                d3d8_detail::LargestIndex(ib->storage_.bytes.data(), StartIndex, count, indexSize == 4) >
            last)
        return D3DERR_INVALIDCALL;
    DeviceGL* g = GL();
    if (!g) return D3DERR_NOTAVAILABLE;
    if (!vb->storage_.glName) UploadBuffer(vb->storage_, false);
    if (!ib->storage_.glName) UploadBuffer(ib->storage_, true);
    // The base vertex moves the vertex pointers; GL then reads index i at base + i.
    const auto* vertexBase = reinterpret_cast<const BYTE*>(
        static_cast<std::uintptr_t>(std::uint64_t{baseVertexIndex_} * stride));
    const auto* indexBase =
        reinterpret_cast<const BYTE*>(static_cast<std::uintptr_t>(std::uint64_t{StartIndex} * indexSize));
    return Draw(PrimitiveType, PrimitiveCount, vertexShader_, vb->storage_.glName, vertexBase,
                stride, 0, true, ib->storage_.glName, indexBase, indexSize == 4);
}

HRESULT IDirect3DDevice8::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                          const void* pVertexStreamZeroData,
                                          UINT VertexStreamZeroStride) {
    const std::uint64_t count = d3d8_detail::VerticesFor(PrimitiveType, PrimitiveCount);
    const VertexLayout layout = d3d8_detail::LayoutOf(vertexShader_);
    if (!layout.valid || !pVertexStreamZeroData || VertexStreamZeroStride < layout.size ||
        count > 0x7FFFFFFF || (PrimitiveCount > 0 && count == 0))
        return D3DERR_INVALIDCALL;
    SetStreamSource(0, nullptr, 0);
    if (PrimitiveCount == 0) return D3D_OK;
    return Draw(PrimitiveType, PrimitiveCount, vertexShader_, 0,
                static_cast<const BYTE*>(pVertexStreamZeroData), VertexStreamZeroStride, 0, false,
                0, nullptr);
}

HRESULT IDirect3DDevice8::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType,
                                                 UINT MinVertexIndex, UINT NumVertexIndices,
                                                 UINT PrimitiveCount, const void* pIndexData,
                                                 D3DFORMAT IndexDataFormat,
                                                 const void* pVertexStreamZeroData,
                                                 UINT VertexStreamZeroStride) {
    const std::uint64_t count = d3d8_detail::VerticesFor(PrimitiveType, PrimitiveCount);
    const VertexLayout layout = d3d8_detail::LayoutOf(vertexShader_);
    if (!layout.valid || !pIndexData || !pVertexStreamZeroData ||
        IndexDataFormat != D3DFMT_INDEX16 || VertexStreamZeroStride < layout.size ||
        count > 0x7FFFFFFF || (PrimitiveCount > 0 && count == 0))
        return D3DERR_INVALIDCALL;
    // The caller's vertices end at MinVertexIndex + NumVertexIndices; no index may go past.
    const auto* indices = static_cast<const BYTE*>(pIndexData);
    if (PrimitiveCount > 0 &&
        std::uint64_t{d3d8_detail::LargestIndex(indices, 0, count)} >=
            std::uint64_t{MinVertexIndex} + NumVertexIndices)
        return D3DERR_INVALIDCALL;
    SetStreamSource(0, nullptr, 0);
    SetIndices(nullptr, 0);
    if (PrimitiveCount == 0) return D3D_OK;
    return Draw(PrimitiveType, PrimitiveCount, vertexShader_, 0,
                static_cast<const BYTE*>(pVertexStreamZeroData), VertexStreamZeroStride, 0, true, 0,
                indices);
}

HRESULT IDirect3DDevice8::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color,
                                float Z, DWORD Stencil) {
    constexpr DWORD kAll = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
    if ((Count > 0 && !pRects) || Flags == 0 || (Flags & ~kAll)) return D3DERR_INVALIDCALL;
    DeviceGL* g = GL();
    if (!g) return D3DERR_NOTAVAILABLE;
    auto& f = g->gl;
    GLbitfield mask = 0;
    if (Flags & D3DCLEAR_TARGET) {
        float c[4];
        Unpack(Color, c);
        f.ClearColor(c[0], c[1], c[2], c[3]);
        f.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_ZBUFFER) {
        f.ClearDepth(std::clamp(Z, 0.0f, 1.0f));
        f.DepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (Flags & D3DCLEAR_STENCIL) {
        f.ClearStencil(static_cast<GLint>(Stencil & 0xFF));
        f.StencilMask(0xFF);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    const D3DVIEWPORT8& v = viewport_;
    const D3DRECT whole{static_cast<LONG>(v.X), static_cast<LONG>(v.Y),
                        static_cast<LONG>(v.X + v.Width), static_cast<LONG>(v.Y + v.Height)};
    f.Enable(GL_SCISSOR_TEST);
    for (DWORD i = 0; i < std::max<DWORD>(Count, 1); ++i) {
        D3DRECT r = whole;
        if (Count > 0) {
            r.x1 = std::max(r.x1, pRects[i].x1);
            r.y1 = std::max(r.y1, pRects[i].y1);
            r.x2 = std::min(r.x2, pRects[i].x2);
            r.y2 = std::min(r.y2, pRects[i].y2);
        }
        if (r.x2 <= r.x1 || r.y2 <= r.y1) continue;
        f.Scissor(r.x1, GLRow(*g, r.y1, r.y2, backBufferHeight_), r.x2 - r.x1, r.y2 - r.y1);
        f.Clear(mask);
    }
    f.Disable(GL_SCISSOR_TEST);
    // The write masks opened above are put back at the next draw.
    for (D3DRENDERSTATETYPE s :
         {D3DRS_COLORWRITEENABLE, D3DRS_ZWRITEENABLE, D3DRS_STENCILWRITEMASK})
        g->applied[s] = ~renderStates_[s];
    return D3D_OK;
}
