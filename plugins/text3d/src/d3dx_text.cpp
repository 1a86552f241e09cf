// D3DXCreateText over a GDI device context: checks its arguments, puts a copy of the
// context's font at em-square height into the context so outlines come in design units, runs
// the outline mesh builder and puts the caller's font back.
#include "text3d/d3dx_text.h"

#include "text3d/outline_mesh.h"

#include <cmath>

namespace {

class GdiGlyphSource : public text3d::GlyphOutlineSource {
public:
    explicit GdiGlyphSource(HDC dc) : dc_(dc), codePage_(GetTextCodePage(dc)) {}
    DWORD GlyphOutline(UINT code, GLYPHMETRICS* metrics, DWORD size, void* buffer) override {
        static const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        return GetGlyphOutlineA(dc_, code, GGO_NATIVE, metrics, size, buffer, &identity);
    }
    bool IsLeadByte(BYTE byte) override { return IsDBCSLeadByteEx(codePage_, byte) != 0; }

private:
    HDC dc_;
    UINT codePage_;
};

bool CurrentFont(HDC dc, LOGFONTA& font, HFONT& handle) {
    handle = static_cast<HFONT>(GetCurrentObject(dc, OBJ_FONT));
    return handle && GetObjectA(handle, sizeof font, &font) == int(sizeof font);
}

}  // namespace

HRESULT D3DXCreateText(IDirect3DDevice8* device, HDC dc, const char* text, float deviation,
                       float extrusion, ID3DXMesh** mesh, ID3DXBuffer** adjacency,
                       GLYPHMETRICSFLOAT* glyphMetrics) {
    if (!text || !*text) {
        OutputDebugStringA("D3DXCreateText: No text specified\n");
        return D3DERR_INVALIDCALL;
    }
    // Not-a-number counts as negative: it would compare false everywhere further on.
    if (!(deviation >= 0)) {
        OutputDebugStringA("D3DXCreateText: Invalid deviation parameter\n");
        return D3DERR_INVALIDCALL;
    }
    if (!(extrusion >= 0)) {
        OutputDebugStringA("D3DXCreateText: Invalid extrusion parameter\n");
        return D3DERR_INVALIDCALL;
    }
    if (!mesh || !device) return D3DERR_INVALIDCALL;
    *mesh = nullptr;
    if (adjacency) *adjacency = nullptr;

    OUTLINETEXTMETRICA otm{};
    if (GetOutlineTextMetricsA(dc, sizeof otm, &otm) == 0 || otm.otmEMSquare == 0) {
        OutputDebugStringA("D3DXCreateText: GetOutlineTextMetrics failed.  Probably no font selected\n");
        OutputDebugStringA("D3DXCreateText: CreateOFContext failed\n");
        return E_FAIL;
    }
    LOGFONTA font{};
    HFONT previous = nullptr;
    HFONT emFont = nullptr;
    if (CurrentFont(dc, font, previous)) {
        // A negative height is the em height; a positive one would be the cell height
        // (ascent + descent), and the outlines would come a cell's worth smaller than the
        // design units the scale of 1 / em assumes.
        font.lfHeight = -LONG(otm.otmEMSquare);
        font.lfWidth = 0;
        emFont = CreateFontIndirectA(&font);
    }
    if (!emFont || SelectObject(dc, emFont) != previous) {
        if (emFont) DeleteObject(emFont);
        OutputDebugStringA("D3DXCreateText: CreateOFContext failed\n");
        return E_FAIL;
    }

    GdiGlyphSource source(dc);
    HRESULT hr = text3d::BuildTextMesh(source, device, text, deviation, extrusion,
                                       1.0 / double(otm.otmEMSquare), mesh, adjacency, glyphMetrics);
    SelectObject(dc, previous);
    DeleteObject(emFont);
    return hr;
}
