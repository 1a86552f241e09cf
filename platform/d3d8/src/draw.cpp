// Drawing and clearing.
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

void Unpack(D3DCOLOR c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>(c >> 24) / 255.0f;
}

}  // namespace

HRESULT IDirect3DDevice8::Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, DWORD fvf,
                               unsigned vertexBuffer, const BYTE* vertexBase, UINT stride,
                               UINT firstVertex, bool indexed, unsigned indexBuffer,
                               const BYTE* indexBase, const BYTE* indices, bool wideIndices) {
    DeviceGL* g = GL();
    if (!g) return D3DERR_NOTAVAILABLE;
    auto& f = g->gl;
    const VertexLayout layout = d3d8_detail::LayoutOf(fvf);
    if (!ApplyState(*g, layout, type)) return E_FAIL;  // GL refused the lighting program

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
        // The specular colour is read only as a material colour when lighting.
        if (layout.specular >= 0) {
            f.EnableClientState(GL_SECONDARY_COLOR_ARRAY);
            f.SecondaryColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, s, at(layout.specular));
        } else {
            f.DisableClientState(GL_SECONDARY_COLOR_ARRAY);
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
    if ((type == D3DPT_LINELIST || type == D3DPT_LINESTRIP) && renderStates_[D3DRS_LASTPIXEL])
        DrawLastPixels(*g, layout, type, static_cast<UINT>(count), firstVertex,
                       indexed ? indices : nullptr, wideIndices);
    return D3D_OK;
}

// GL leaves out the pixel a line ends in (its end lies inside that pixel's diamond);
// with D3DRS_LASTPIXEL on, Direct3D draws it. Each line's end vertex is drawn again as
// a point: once per line of a list, once at the end of a strip.
void IDirect3DDevice8::DrawLastPixels(DeviceGL& g, const VertexLayout& layout,
                                      D3DPRIMITIVETYPE type, UINT count, UINT firstVertex,
                                      const BYTE* indices, bool wideIndices) {
    auto& f = g.gl;
    std::vector<GLuint>& ends = g.lineEnds;
    ends.clear();
    const auto vertexAt = [&](UINT i) -> GLuint {
        if (!indices) return firstVertex + i;
        if (wideIndices) {
            DWORD index;
            std::memcpy(&index, indices + 4 * std::size_t{i}, 4);
            return index;
        }
        WORD index;
        std::memcpy(&index, indices + 2 * std::size_t{i}, 2);
        return index;
    };
    if (type == D3DPT_LINESTRIP)
        ends.push_back(vertexAt(count - 1));
    else
        for (UINT i = 1; i < count; i += 2) ends.push_back(vertexAt(i));
    ApplyTransforms(g, layout, D3DPT_POINTLIST);
    if (g.boundElement != 0) f.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    g.boundElement = 0;
    f.DrawElements(GL_POINTS, static_cast<GLsizei>(ends.size()), GL_UNSIGNED_INT, ends.data());
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
                StartVertex, false, 0, nullptr, nullptr);
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
                stride, 0, true, ib->storage_.glName, indexBase,
                ib->storage_.bytes.data() + std::size_t{StartIndex} * indexSize, indexSize == 4);
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
                0, nullptr, nullptr);
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
                indices, indices);
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
        // Drawn upside down, GL's rows are Direct3D's.
        f.Scissor(r.x1, r.y1, r.x2 - r.x1, r.y2 - r.y1);
        f.Clear(mask);
    }
    f.Disable(GL_SCISSOR_TEST);
    g->scissorOn = false;
    // The write masks opened above are put back at the next draw.
    for (D3DRENDERSTATETYPE s :
         {D3DRS_COLORWRITEENABLE, D3DRS_ZWRITEENABLE, D3DRS_STENCILWRITEMASK})
        g->applied[s] = ~renderStates_[s];
    return D3D_OK;
}
