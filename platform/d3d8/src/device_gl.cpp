#include "device_gl.h"

namespace d3d8_detail {

bool GLFunctions::Load(IDirect3DDevice8::GLProcLoader loader) {
    bool complete = true;
#define D3D8_GL_LOAD(member, name)                                          \
    member = reinterpret_cast<decltype(member)>(loader(#name));             \
    complete = complete && member != nullptr;
    D3D8_GL_FUNCTIONS(D3D8_GL_LOAD)
#undef D3D8_GL_LOAD
    ProvokingVertex = reinterpret_cast<decltype(ProvokingVertex)>(loader("glProvokingVertex"));
    return complete;
}

VertexLayout LayoutOf(DWORD fvf) {
    constexpr DWORD kKnown = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE |
                             D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK |
                             D3DFVF_LASTBETA_UBYTE4 | 0xFFFF0000u;
    VertexLayout layout;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if ((fvf & ~kKnown) || position == 0) return layout;
    UINT offset = 0;
    if (position == D3DFVF_XYZ) {
        offset = 12;
    } else if (position == D3DFVF_XYZRHW) {
        offset = 16;
        layout.transformed = true;
    } else {
        // XYZB1..XYZB5: the blend weights follow the position and are not applied.
        offset = 12 + 4 * ((position - D3DFVF_XYZB1) / 2 + 1);
    }
    if (fvf & D3DFVF_NORMAL) {
        layout.normal = static_cast<int>(offset);
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) offset += 4;
    if (fvf & D3DFVF_DIFFUSE) {
        layout.diffuse = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        layout.specular = static_cast<int>(offset);
        offset += 4;
    }
    const DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets > 8) return layout;
    for (DWORD set = 0; set < sets; ++set) {
        static constexpr UINT kFloats[4] = {2, 3, 4, 1};  // by the two size bits
        offset += 4 * kFloats[(fvf >> (16 + 2 * set)) & 3];
    }
    layout.size = offset;
    layout.valid = true;
    return layout;
}

UINT VerticesFor(D3DPRIMITIVETYPE type, UINT n) {
    switch (type) {
        case D3DPT_POINTLIST: return n;
        case D3DPT_LINELIST: return 2 * n;
        case D3DPT_LINESTRIP: return n + 1;
        case D3DPT_TRIANGLELIST: return 3 * n;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return n + 2;
    }
    return 0;
}

GLenum ModeFor(D3DPRIMITIVETYPE type) {
    switch (type) {
        case D3DPT_POINTLIST: return GL_POINTS;
        case D3DPT_LINELIST: return GL_LINES;
        case D3DPT_LINESTRIP: return GL_LINE_STRIP;
        case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
        case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    }
    return GL_TRIANGLES;
}

}  // namespace d3d8_detail
