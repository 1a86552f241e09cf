#include "device_scenes.h"

#include <d3d8/d3d8.h>

#include <cmath>

namespace picture_scenes {

namespace {

struct ScreenVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE: render-target pixels, depth 0..1
    float x, y, z, rhw;
    D3DCOLOR colour;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

struct ColourVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
    float x, y, z;
    D3DCOLOR colour;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

struct LitVertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE
    float x, y, z, nx, ny, nz;
    D3DCOLOR colour;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;

constexpr float kSize = float(kDeviceSceneSize);

void Unlit(IDirect3DDevice8* d) {
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
}

void Triangles(IDirect3DDevice8* d, const std::vector<ScreenVertex>& v) {
    d->SetVertexShader(kScreenFvf);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(v.size() / 3), v.data(), sizeof(ScreenVertex));
}

// Pixels [x1, x2) x [y1, y2): the edges half a pixel outside the centres.
void Rect(IDirect3DDevice8* d, float x1, float y1, float x2, float y2, float z, D3DCOLOR c) {
    const ScreenVertex quad[4] = {{x1 - 0.5f, y1 - 0.5f, z, 1, c}, {x2 - 0.5f, y1 - 0.5f, z, 1, c},
                                  {x1 - 0.5f, y2 - 0.5f, z, 1, c}, {x2 - 0.5f, y2 - 0.5f, z, 1, c}};
    d->SetVertexShader(kScreenFvf);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
}

// Triangles with corners on pixel centres, on half pixels and between, sharing edges, drawn
// adding their colours: a pixel two triangles both cover comes out brighter.
void FillRule(IDirect3DDevice8* d) {
    Unlit(d);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const D3DCOLOR a = 0xFF600000, b = 0xFF006000, c = 0xFF000060;
    Triangles(d, {
        // a square split along its diagonal, corners on centres
        {4, 4, 0.5f, 1, a}, {20, 4, 0.5f, 1, a}, {4, 20, 0.5f, 1, a},
        {20, 4, 0.5f, 1, b}, {20, 20, 0.5f, 1, b}, {4, 20, 0.5f, 1, b},
        // corners on half pixels
        {24.5f, 4.5f, 0.5f, 1, a}, {40.5f, 4.5f, 0.5f, 1, a}, {24.5f, 20.5f, 0.5f, 1, a},
        {40.5f, 4.5f, 0.5f, 1, c}, {40.5f, 20.5f, 0.5f, 1, c}, {24.5f, 20.5f, 0.5f, 1, c},
        // a fan round a centre, slanted edges through centres
        {52, 12, 0.5f, 1, a}, {44, 4, 0.5f, 1, a}, {60, 6, 0.5f, 1, a},
        {52, 12, 0.5f, 1, b}, {60, 6, 0.5f, 1, b}, {62, 20, 0.5f, 1, b},
        {52, 12, 0.5f, 1, c}, {62, 20, 0.5f, 1, c}, {44, 18, 0.5f, 1, c},
        {52, 12, 0.5f, 1, a}, {44, 18, 0.5f, 1, a}, {44, 4, 0.5f, 1, a},
        // thin slivers and sub-pixel corners
        {2.25f, 30.75f, 0.5f, 1, a}, {60.8f, 33.1f, 0.5f, 1, a}, {3.1f, 34.6f, 0.5f, 1, a},
        {6, 40, 0.5f, 1, b}, {7, 62, 0.5f, 1, b}, {6.5f, 40, 0.5f, 1, b},
        {10.3f, 40.3f, 0.5f, 1, c}, {30.7f, 44.9f, 0.5f, 1, c}, {12.2f, 61.6f, 0.5f, 1, c},
        {30.7f, 44.9f, 0.5f, 1, a}, {41.1f, 62.2f, 0.5f, 1, a}, {12.2f, 61.6f, 0.5f, 1, a},
        // vertical and horizontal edges exactly on centres, wound both ways
        {46, 40, 0.5f, 1, b}, {46, 60, 0.5f, 1, b}, {60, 40, 0.5f, 1, b},
        {60, 40, 0.5f, 1, c}, {46, 60, 0.5f, 1, c}, {60, 60, 0.5f, 1, c},
    });
}

// Rectangles with edges on half pixels, on centres and a quarter off, pre-transformed and
// through the transforms (identity view, projection mapping object units to pixels).
void HalfPixel(IDirect3DDevice8* d) {
    Unlit(d);
    Rect(d, 2, 2, 12, 12, 0.5f, 0xFFFF0000);
    Rect(d, 14.5f, 2, 24.5f, 12, 0.5f, 0xFF00FF00);
    Rect(d, 26.25f, 2.25f, 36.25f, 12.25f, 0.5f, 0xFF0000FF);
    Rect(d, 38.75f, 2.75f, 48.75f, 12.75f, 0.5f, 0xFFFFFF00);
    Rect(d, 50, 2, 51, 3, 0.5f, 0xFFFFFFFF);  // a single pixel
    // Object x, y -1..1 cover the target; quads from x = -1 + 2k/64 land on pixel edges.
    auto at = [](float px) { return px / kSize * 2.0f - 1.0f; };
    auto quad = [&](float x1, float y1, float x2, float y2, D3DCOLOR c) {
        const ColourVertex v[4] = {{at(x1), -at(y1), 0.5f, c}, {at(x2), -at(y1), 0.5f, c},
                                   {at(x1), -at(y2), 0.5f, c}, {at(x2), -at(y2), 0.5f, c}};
        d->SetVertexShader(kColourFvf);
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ColourVertex));
    };
    quad(2, 20, 12, 30, 0xFFFF00FF);
    quad(14.5f, 20.5f, 24.5f, 30.5f, 0xFF00FFFF);
    quad(26.25f, 20.25f, 36.25f, 30.25f, 0xFF808080);
    quad(38, 20, 62, 21, 0xFFFF8000);
}

// The stencil is set up in bands (0, 1, 254, 255 and 7), then a quad over the middle of the
// picture applies `op` (as the pass, fail or depth-fail operation), twice in the centre; the
// picture shows the stencil values as greys, v in every channel.
void StencilOp(IDirect3DDevice8* d, D3DSTENCILOP op, int which) {
    Unlit(d);
    const D3DRECT bands[5] = {{0, 0, 64, 13}, {0, 13, 64, 26}, {0, 26, 64, 39}, {0, 39, 64, 52}, {0, 52, 64, 64}};
    const DWORD values[5] = {0, 1, 254, 255, 7};
    for (int i = 0; i < 5; ++i) d->Clear(1, &bands[i], D3DCLEAR_STENCIL, 0, 1.0f, values[i]);
    d->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    d->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    d->SetRenderState(D3DRS_STENCILREF, 0x5A);
    d->SetRenderState(D3DRS_STENCILMASK, 0xFF);
    d->SetRenderState(D3DRS_STENCILWRITEMASK, 0xFF);
    d->SetRenderState(D3DRS_STENCILPASS, which == 0 ? op : D3DSTENCILOP_KEEP);
    d->SetRenderState(D3DRS_STENCILFAIL, which == 1 ? op : D3DSTENCILOP_KEEP);
    d->SetRenderState(D3DRS_STENCILZFAIL, which == 2 ? op : D3DSTENCILOP_KEEP);
    d->SetRenderState(D3DRS_STENCILFUNC, which == 1 ? D3DCMP_NEVER : D3DCMP_ALWAYS);
    if (which == 2) {  // the quads lie behind the cleared depth
        d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
    }
    Rect(d, 16, 0, 48, 64, 0.75f, 0);
    Rect(d, 24, 0, 40, 64, 0.75f, 0);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    d->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    d->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    d->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    d->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    for (DWORD v = 0; v < 256; ++v) {
        d->SetRenderState(D3DRS_STENCILREF, v);
        Rect(d, 0, 0, 64, 64, 0.5f, D3DCOLOR_XRGB(v, v, v));
    }
}

// Reference and masks: a compare through STENCILMASK and a write through STENCILWRITEMASK.
void StencilMasks(IDirect3DDevice8* d) {
    Unlit(d);
    d->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0x35);
    d->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    d->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    d->SetRenderState(D3DRS_STENCILREF, 0x15);
    d->SetRenderState(D3DRS_STENCILMASK, 0x1F);  // 0x35 & 0x1F == 0x15: passes
    d->SetRenderState(D3DRS_STENCILWRITEMASK, 0xF0);
    d->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INVERT);
    Rect(d, 8, 8, 40, 40, 0.5f, 0xFF00FF00);
    d->SetRenderState(D3DRS_STENCILMASK, 0x3F);  // 0x35 != 0x15 outside the first quad: fails
    d->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_REPLACE);
    d->SetRenderState(D3DRS_STENCILREF, 0xAA);
    Rect(d, 24, 24, 60, 60, 0.5f, 0xFFFF0000);
    d->SetRenderState(D3DRS_STENCILMASK, 0xFF);
    d->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    d->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    for (DWORD v = 0; v < 256; ++v) {
        d->SetRenderState(D3DRS_STENCILREF, v);
        Rect(d, 0, 0, 64, 32, 0.5f, D3DCOLOR_XRGB(v, 0, v));
        Rect(d, 0, 32, 64, 64, 0.5f, D3DCOLOR_XRGB(0, v, v));
    }
}

// A clockwise and a counter-clockwise triangle, pre-transformed and transformed.
void Culling(IDirect3DDevice8* d, D3DCULL mode) {
    Unlit(d);
    d->SetRenderState(D3DRS_CULLMODE, mode);
    Triangles(d, {{4, 4, 0.5f, 1, 0xFFFF0000}, {28, 4, 0.5f, 1, 0xFFFF0000}, {4, 28, 0.5f, 1, 0xFFFF0000},
                  {36, 4, 0.5f, 1, 0xFF00FF00}, {36, 28, 0.5f, 1, 0xFF00FF00}, {60, 4, 0.5f, 1, 0xFF00FF00}});
    const ColourVertex v[6] = {{-0.9f, -0.1f, 0.5f, 0xFF0000FF}, {-0.1f, -0.1f, 0.5f, 0xFF0000FF},
                               {-0.9f, -0.9f, 0.5f, 0xFF0000FF}, {0.1f, -0.1f, 0.5f, 0xFFFFFF00},
                               {0.1f, -0.9f, 0.5f, 0xFFFFFF00},  {0.9f, -0.1f, 0.5f, 0xFFFFFF00}};
    d->SetVertexShader(kColourFvf);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(ColourVertex));
}

// A quad at depth 0.5, then quads nearer (0.25), level (0.5) and farther (0.75) compared
// with `func`; the last band writes no depth, and a quad at 0.6 follows it.
void Depth(IDirect3DDevice8* d, D3DCMPFUNC func) {
    Unlit(d);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    Rect(d, 0, 0, 64, 48, 0.5f, 0xFF404040);
    d->SetRenderState(D3DRS_ZFUNC, func);
    Rect(d, 4, 4, 20, 44, 0.25f, 0xFFFF0000);
    Rect(d, 24, 4, 40, 44, 0.5f, 0xFF00FF00);
    Rect(d, 44, 4, 60, 44, 0.75f, 0xFF0000FF);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    Rect(d, 0, 48, 32, 64, 0.4f, 0xFFFFFF00);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    Rect(d, 16, 50, 48, 62, 0.6f, 0xFF00FFFF);
    // Depth interpolated across a slanted triangle meeting a flat quad.
    Triangles(d, {{32, 48, 0.0f, 1, 0xFFFF00FF}, {64, 48, 1.0f, 1, 0xFFFF00FF}, {64, 64, 1.0f, 1, 0xFFFF00FF}});
}

// Lists and strips of lines (the last pixel drawn, D3DRS_LASTPIXEL's default).
void Lines(IDirect3DDevice8* d) {
    Unlit(d);
    const ScreenVertex lines[8] = {{2, 2, 0.5f, 1, 0xFFFF0000},  {30, 2, 0.5f, 1, 0xFFFF0000},
                                   {2, 6, 0.5f, 1, 0xFF00FF00},  {30, 20, 0.5f, 1, 0xFF00FF00},
                                   {2, 24, 0.5f, 1, 0xFF0000FF}, {10, 60, 0.5f, 1, 0xFF0000FF},
                                   {40, 60, 0.5f, 1, 0xFFFFFF00}, {20, 30, 0.5f, 1, 0xFFFFFF00}};
    d->SetVertexShader(kScreenFvf);
    d->DrawPrimitiveUP(D3DPT_LINELIST, 4, lines, sizeof(ScreenVertex));
    const ScreenVertex strip[4] = {{36, 4, 0.5f, 1, 0xFFFFFFFF}, {60, 10, 0.5f, 1, 0xFFFFFFFF},
                                   {44, 28, 0.5f, 1, 0xFFFFFFFF}, {36, 4, 0.5f, 1, 0xFFFFFFFF}};
    d->DrawPrimitiveUP(D3DPT_LINESTRIP, 3, strip, sizeof(ScreenVertex));
}

// Points on pixel centres, on half pixels and between.
void Points(IDirect3DDevice8* d) {
    Unlit(d);
    d->SetVertexShader(kScreenFvf);
    ScreenVertex points[12];
    for (int i = 0; i < 12; ++i)
        points[i] = {40.0f + float(i) * 2.0f + float(i % 3) * 0.5f, 40.0f + float(i % 4) * 0.5f + float(i), 0.5f, 1,
                     0xFF00FFFF};
    d->DrawPrimitiveUP(D3DPT_POINTLIST, 12, points, sizeof(ScreenVertex));
}

// A lit, tessellated quad facing the viewer under a directional, a point or a spot light,
// with specular highlights.
void Lighting(IDirect3DDevice8* d, D3DLIGHTTYPE type) {
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    d->SetRenderState(D3DRS_AMBIENT, 0xFF202020);
    D3DMATERIAL8 material{};
    material.Diffuse = {0.8f, 0.6f, 0.4f, 1.0f};
    material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Specular = {0.5f, 0.5f, 0.5f, 1.0f};
    material.Power = 12.0f;
    d->SetMaterial(&material);
    d->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    D3DLIGHT8 light{};
    light.Type = type;
    light.Diffuse = {1, 1, 1, 1};
    light.Specular = {1, 1, 1, 1};
    light.Position = {0.2f, 0.1f, -0.8f};
    light.Direction = {-0.3f, -0.2f, 1.0f};
    light.Range = 3.0f;
    light.Attenuation0 = 0.5f;
    light.Attenuation1 = 0.5f;
    light.Theta = 0.6f;
    light.Phi = 1.4f;
    light.Falloff = 1.0f;
    d->SetLight(0, &light);
    d->LightEnable(0, TRUE);
    // A 16 x 16 grid of quads at z 0.5 over the whole target.
    std::vector<LitVertex> v;
    const int n = 16;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float x0 = -1.0f + 2.0f * float(i) / n, x1 = -1.0f + 2.0f * float(i + 1) / n;
            const float y0 = -1.0f + 2.0f * float(j) / n, y1 = -1.0f + 2.0f * float(j + 1) / n;
            const LitVertex a{x0, y0, 0.5f, 0, 0, -1, 0xFFFFFFFF}, b{x1, y0, 0.5f, 0, 0, -1, 0xFFFFFFFF},
                c{x0, y1, 0.5f, 0, 0, -1, 0xFFFFFFFF}, e{x1, y1, 0.5f, 0, 0, -1, 0xFFFFFFFF};
            v.insert(v.end(), {a, c, b, b, c, e});
        }
    d->SetVertexShader(kLitFvf);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(v.size() / 3), v.data(), sizeof(LitVertex));
}

}  // namespace

std::vector<DeviceScene> DeviceScenes() {
    std::vector<DeviceScene> scenes = {
        {"fill_rule", Goal::Identical, FillRule},
        {"half_pixel", Goal::Identical, HalfPixel},
        {"stencil_masks", Goal::Identical, StencilMasks},
        {"points", Goal::Identical, Points},
        {"lines", Goal::Reported, Lines},
    };
    const struct {
        const char* name;
        D3DSTENCILOP op;
    } ops[] = {{"keep", D3DSTENCILOP_KEEP},       {"zero", D3DSTENCILOP_ZERO},     {"replace", D3DSTENCILOP_REPLACE},
               {"incrsat", D3DSTENCILOP_INCRSAT}, {"decrsat", D3DSTENCILOP_DECRSAT}, {"invert", D3DSTENCILOP_INVERT},
               {"incr", D3DSTENCILOP_INCR},       {"decr", D3DSTENCILOP_DECR}};
    const char* const routes[] = {"pass", "fail", "zfail"};
    for (const auto& op : ops)
        for (int which = 0; which < 3; ++which)
            scenes.push_back({std::string("stencil_") + op.name + "_" + routes[which], Goal::Identical,
                              [op = op.op, which](IDirect3DDevice8* d) { StencilOp(d, op, which); }});
    for (const auto& cull : {std::pair{"none", D3DCULL_NONE}, std::pair{"cw", D3DCULL_CW}, std::pair{"ccw", D3DCULL_CCW}})
        scenes.push_back({std::string("cull_") + cull.first, Goal::Identical,
                          [mode = cull.second](IDirect3DDevice8* d) { Culling(d, mode); }});
    const struct {
        const char* name;
        D3DCMPFUNC func;
    } funcs[] = {{"never", D3DCMP_NEVER}, {"less", D3DCMP_LESS},       {"equal", D3DCMP_EQUAL},
                 {"lessequal", D3DCMP_LESSEQUAL}, {"greater", D3DCMP_GREATER}, {"notequal", D3DCMP_NOTEQUAL},
                 {"greaterequal", D3DCMP_GREATEREQUAL}, {"always", D3DCMP_ALWAYS}};
    for (const auto& f : funcs)
        scenes.push_back({std::string("depth_") + f.name, Goal::Identical, [func = f.func](IDirect3DDevice8* d) { Depth(d, func); }});
    for (const auto& light : {std::pair{"directional", D3DLIGHT_DIRECTIONAL}, std::pair{"point", D3DLIGHT_POINT},
                               std::pair{"spot", D3DLIGHT_SPOT}})
        scenes.push_back({std::string("light_") + light.first, Goal::Close,
                          [type = light.second](IDirect3DDevice8* d) { Lighting(d, type); }});
    return scenes;
}

}  // namespace picture_scenes
