// Direct3D's state made GL's before a draw, in three parts: render states, transforms and
// lighting. Each sends only what changed since the draw before.
#include <d3d8/d3d8.h>

#include "device_gl.h"

#include <vecmath/d3dx_math.h>

#include <algorithm>

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

// Direct3D samples pixel (i, j) at window point (i, j); GL samples its pixel (i, j) at
// (i + 0.5, j + 0.5). Drawn upside down, GL's rows run top to bottom as Direct3D's do, so
// the projection mirrors y and moves the picture half a pixel right and down, plus the
// nudge (in pixels, see NudgeFor). Clip depth 0..w is stretched to GL's -w..w so that the
// depth range maps as the viewport's MinZ..MaxZ.
D3DXMATRIX ToGLClip(const D3DMATRIX& p, float viewportWidth, float viewportHeight, float nudge) {
    D3DXMATRIX r(p);
    const float sx = (1.0f + 2.0f * nudge) / viewportWidth;
    const float sy = (1.0f + 2.0f * nudge) / viewportHeight;
    for (int i = 0; i < 4; ++i) {
        r.m[i][0] = p.m[i][0] + p.m[i][3] * sx;
        r.m[i][1] = -p.m[i][1] + p.m[i][3] * sy;
        r.m[i][2] = 2.0f * p.m[i][2] - p.m[i][3];
    }
    return r;
}

// Pre-transformed vertices are in render-target pixels with depth 0..1.
D3DXMATRIX ScreenToGLClip(float width, float height, float nudge) {
    return D3DXMATRIX(2.0f / width, 0, 0, 0,
                      0, 2.0f / height, 0, 0,
                      0, 0, 2.0f, 0,
                      (1.0f + 2.0f * nudge) / width - 1.0f,
                      (1.0f + 2.0f * nudge) / height - 1.0f, -1.0f, 1.0f);
}

// GL gives a one-pixel point at x + 0.5 to pixel floor(x + 0.5), the right or lower one
// when x is a half; Direct3D's point covers [x - 0.5, x + 0.5) under the top-left rule,
// the left or upper one. A point moved up and left by one step of the rasteriser's
// sub-pixel grid (1/256) lands where Direct3D puts it. Lines get the same nudge: their
// ends on pixel centres then lie inside the end pixel's diamond rather than on GL's
// half-integer boundary, where which pixel a line ends in varied with the direction it
// runs and the framebuffer drawn into. Filled shapes need no nudge.
float NudgeFor(D3DPRIMITIVETYPE type, DWORD fillMode) {
    const bool pointsOrLines = type == D3DPT_POINTLIST || type == D3DPT_LINELIST ||
                               type == D3DPT_LINESTRIP || fillMode != D3DFILL_SOLID;
    return pointsOrLines ? -1.0f / 256.0f : 0.0f;
}

}  // namespace

namespace d3d8_detail {

// Only the states named differ from what GL was last given (or nothing was given yet).
struct StateDiff {
    const DeviceGL& g;
    const std::array<DWORD, 256>& rs;
    bool operator()(std::initializer_list<D3DRENDERSTATETYPE> states) const {
        if (!g.appliedValid) return true;
        for (D3DRENDERSTATETYPE s : states)
            if (g.applied[s] != rs[s]) return true;
        return false;
    }
};

}  // namespace d3d8_detail

void IDirect3DDevice8::ApplyDepthStencilStates(DeviceGL& g) {
    auto& f = g.gl;
    const auto& rs = renderStates_;
    const d3d8_detail::StateDiff changed{g, rs};
    if (changed({D3DRS_ZENABLE}))
        (rs[D3DRS_ZENABLE] != D3DZB_FALSE ? f.Enable : f.Disable)(GL_DEPTH_TEST);
    if (changed({D3DRS_ZWRITEENABLE})) f.DepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    if (changed({D3DRS_ZFUNC})) f.DepthFunc(CompareFor(rs[D3DRS_ZFUNC]));
    if (changed({D3DRS_STENCILENABLE}))
        (rs[D3DRS_STENCILENABLE] ? f.Enable : f.Disable)(GL_STENCIL_TEST);
    // The stencil buffer has 8 bits: reference and masks are taken modulo 256.
    if (changed({D3DRS_STENCILFUNC, D3DRS_STENCILREF, D3DRS_STENCILMASK}))
        f.StencilFunc(CompareFor(rs[D3DRS_STENCILFUNC]),
                      static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFF),
                      rs[D3DRS_STENCILMASK] & 0xFF);
    if (changed({D3DRS_STENCILWRITEMASK})) f.StencilMask(rs[D3DRS_STENCILWRITEMASK] & 0xFF);
    if (changed({D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS}))
        f.StencilOp(StencilOpFor(rs[D3DRS_STENCILFAIL]), StencilOpFor(rs[D3DRS_STENCILZFAIL]),
                    StencilOpFor(rs[D3DRS_STENCILPASS]));
}

void IDirect3DDevice8::ApplyColourStates(DeviceGL& g) {
    auto& f = g.gl;
    const auto& rs = renderStates_;
    const d3d8_detail::StateDiff changed{g, rs};
    if (changed({D3DRS_COLORWRITEENABLE})) {
        const DWORD bits = rs[D3DRS_COLORWRITEENABLE];
        f.ColorMask((bits & D3DCOLORWRITEENABLE_RED) != 0, (bits & D3DCOLORWRITEENABLE_GREEN) != 0,
                    (bits & D3DCOLORWRITEENABLE_BLUE) != 0,
                    (bits & D3DCOLORWRITEENABLE_ALPHA) != 0);
    }
    if (changed({D3DRS_ALPHABLENDENABLE}))
        (rs[D3DRS_ALPHABLENDENABLE] ? f.Enable : f.Disable)(GL_BLEND);
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
    if (changed({D3DRS_ALPHATESTENABLE}))
        (rs[D3DRS_ALPHATESTENABLE] ? f.Enable : f.Disable)(GL_ALPHA_TEST);
    // The reference is compared as the 8-bit alpha is: GL converts both to the same
    // fixed-point steps, so alpha equal to the reference passes LESSEQUAL and EQUAL.
    if (changed({D3DRS_ALPHAFUNC, D3DRS_ALPHAREF}))
        f.AlphaFunc(CompareFor(rs[D3DRS_ALPHAFUNC]),
                    static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f);
}

void IDirect3DDevice8::ApplyRasterStates(DeviceGL& g) {
    auto& f = g.gl;
    const auto& rs = renderStates_;
    const d3d8_detail::StateDiff changed{g, rs};
    if (changed({D3DRS_CULLMODE})) {
        (rs[D3DRS_CULLMODE] != D3DCULL_NONE ? f.Enable : f.Disable)(GL_CULL_FACE);
        // GL's front faces are the clockwise ones (see ResetGLState).
        f.CullFace(rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_FRONT : GL_BACK);
    }
    if (changed({D3DRS_SHADEMODE}))
        f.ShadeModel(rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH);
    if (changed({D3DRS_FILLMODE}))
        f.PolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                                         : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                                   : GL_FILL);
}

void IDirect3DDevice8::ApplyTransforms(DeviceGL& g, const VertexLayout& layout,
                                       D3DPRIMITIVETYPE type) {
    auto& f = g.gl;
    const bool transformed = layout.transformed;
    const float nudge = NudgeFor(type, renderStates_[D3DRS_FILLMODE]);
    const int nudgeKey = nudge != 0.0f ? 1 : 0;
    // Pre-transformed vertices are clipped to the viewport's rectangle.
    if (transformed != g.scissorOn) {
        (transformed ? f.Enable : f.Disable)(GL_SCISSOR_TEST);
        g.scissorOn = transformed;
        if (transformed) g.transformsDirty = true;  // the rectangle follows
    }
    if (transformed == g.lastTransformed && nudgeKey == g.lastNudge && !g.transformsDirty) return;
    const D3DVIEWPORT8& v = viewport_;
    D3DXMATRIX projection, modelView;
    if (transformed) {
        f.Viewport(0, 0, static_cast<GLsizei>(backBufferWidth_),
                   static_cast<GLsizei>(backBufferHeight_));
        f.Scissor(static_cast<GLint>(v.X), static_cast<GLint>(v.Y),
                  static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
        f.DepthRange(0.0, 1.0);
        projection = ScreenToGLClip(static_cast<float>(backBufferWidth_),
                                    static_cast<float>(backBufferHeight_), nudge);
        D3DXMatrixIdentity(&modelView);
    } else {
        f.Viewport(static_cast<GLint>(v.X), static_cast<GLint>(v.Y),
                   static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
        f.DepthRange(v.MinZ, v.MaxZ);
        projection = ToGLClip(projection_, static_cast<float>(v.Width),
                              static_cast<float>(v.Height), nudge);
        modelView = D3DXMATRIX(world_[0]) * view_;
    }
    // A row-major row-vector matrix read column-major is its transpose: GL's form.
    f.MatrixMode(GL_PROJECTION);
    f.LoadMatrixf(&projection.m[0][0]);
    f.MatrixMode(GL_MODELVIEW);
    f.LoadMatrixf(&modelView.m[0][0]);
    g.lastTransformed = transformed;
    g.lastNudge = nudgeKey;
    // After screen-space vertices the next transformed draw loads its matrices again.
    g.transformsDirty = transformed;
}

d3d8_detail::LightingSetup IDirect3DDevice8::LightingSetupFor(const VertexLayout& layout) const {
    using d3d8_detail::ColourSource;
    const auto& rs = renderStates_;
    d3d8_detail::LightingSetup setup;
    for (const auto& [index, slot] : lights_)
        if (slot.enabled) setup.types[static_cast<std::size_t>(setup.lightCount++)] = slot.light.Type;
    setup.specular = rs[D3DRS_SPECULARENABLE] != 0;
    setup.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
    setup.normalize = rs[D3DRS_NORMALIZENORMALS] != 0;
    // With vertex colours on, a material colour may come from a colour the vertex has.
    const auto source = [&](D3DRENDERSTATETYPE state) {
        if (!rs[D3DRS_COLORVERTEX]) return ColourSource::Material;
        if (rs[state] == D3DMCS_COLOR1 && layout.diffuse >= 0) return ColourSource::VertexDiffuse;
        if (rs[state] == D3DMCS_COLOR2 && layout.specular >= 0) return ColourSource::VertexSpecular;
        return ColourSource::Material;
    };
    setup.diffuse = source(D3DRS_DIFFUSEMATERIALSOURCE);
    setup.ambient = source(D3DRS_AMBIENTMATERIALSOURCE);
    setup.specularColour = source(D3DRS_SPECULARMATERIALSOURCE);
    setup.emissive = source(D3DRS_EMISSIVEMATERIALSOURCE);
    return setup;
}

void IDirect3DDevice8::UpdateLightingValues(DeviceGL& g) {
    if (g.lightsDirty) {
        float* out = g.lightingValues.lights.data();
        for (const auto& [index, slot] : lights_)
            if (slot.enabled) {
                d3d8_detail::PackLight(slot.light, view_, out);
                out += 4 * d3d8_detail::kVectorsPerLight;
            }
        ++g.lightsVersion;
        g.lightsDirty = false;
    }
    if (g.materialDirty) {
        d3d8_detail::PackMaterial(material_, renderStates_[D3DRS_AMBIENT],
                                  g.lightingValues.material.data());
        ++g.materialVersion;
        g.materialDirty = false;
    }
}

bool IDirect3DDevice8::ApplyLighting(DeviceGL& g, const VertexLayout& layout) {
    auto& f = g.gl;
    // Pre-transformed vertices are never lit; unlit ones keep GL's fixed pipeline.
    if (renderStates_[D3DRS_LIGHTING] == 0 || layout.transformed) {
        if (g.currentProgram) f.UseProgram(0);
        g.currentProgram = 0;
        return true;
    }
    const d3d8_detail::LightingSetup setup = LightingSetupFor(layout);
    const std::uint64_t key = setup.Key();
    if (g.lastProgram >= g.programs.size() || g.programs[g.lastProgram].key != key) {
        const auto found = std::find_if(g.programs.begin(), g.programs.end(),
                                        [key](const auto& p) { return p.key == key; });
        g.lastProgram = static_cast<std::size_t>(found - g.programs.begin());
        if (g.lastProgram == g.programs.size())
            g.programs.push_back(d3d8_detail::MakeLightingProgram(f, setup));
    }
    d3d8_detail::LightingProgram& program = g.programs[g.lastProgram];
    if (!program.name) return false;
    if (g.currentProgram != program.name) f.UseProgram(program.name);
    g.currentProgram = program.name;

    // Each program keeps its own uniforms: it is sent the values it has not seen yet.
    UpdateLightingValues(g);
    if (program.lightsVersion != g.lightsVersion && setup.lightCount > 0) {
        f.Uniform4fv(program.lights, setup.lightCount * d3d8_detail::kVectorsPerLight,
                     g.lightingValues.lights.data());
        program.lightsVersion = g.lightsVersion;
    }
    if (program.materialVersion != g.materialVersion) {
        f.Uniform4fv(program.material, 6, g.lightingValues.material.data());
        program.materialVersion = g.materialVersion;
    }
    return true;
}

bool IDirect3DDevice8::ApplyState(DeviceGL& g, const VertexLayout& layout,
                                  D3DPRIMITIVETYPE type) {
    ApplyDepthStencilStates(g);
    ApplyColourStates(g);
    ApplyRasterStates(g);
    if (d3d8_detail::StateDiff{g, renderStates_}({D3DRS_AMBIENT})) g.materialDirty = true;
    g.applied = renderStates_;
    g.appliedValid = true;
    ApplyTransforms(g, layout, type);
    return ApplyLighting(g, layout);
}
