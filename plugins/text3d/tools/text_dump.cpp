// Prints what the fonts give the 3D text, for comparing one platform's GDI with another's
// (scripts/windows/compare-text.sh): for a face, the native outline buffer of every printable
// Windows-1252 character at the height D3DXCreateText asks for (the em square) and at the em
// height (its negative), as hex, and
// the meshes D3DXCreateText builds for a few strings, as counts and positions.
//   text3d_dump <face name> [<weight>]
#include <d3d8/device_host.h>
#include "text3d/d3dx_text.h"

#include <d3d8/d3dx_mesh.h>
#include <gdi/wingdi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr MAT2 kIdentity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
constexpr const char* kStrings[] = {"Vantrel", "The quick brown fox", "\xC0\xC9\xCE\xD5\xDC\x80@&%", "Og8"};
constexpr float kDeviation = 0.005f, kExtrusion = 0.15f;

bool Printable1252(int code) {
    if (code < 0x20 || code == 0x7F) return false;
    return code != 0x81 && code != 0x8D && code != 0x8F && code != 0x90 && code != 0x9D;
}

// The em square as the font's lfHeight, times `sign`: negative is the em height, as
// D3DXCreateText asks; positive is the cell height (ascent + descent) on GDI.
void DumpOutlines(HDC dc, const LOGFONTA& probe, const char* label, int sign) {
    OUTLINETEXTMETRICA otm{};
    if (GetOutlineTextMetricsA(dc, sizeof otm, &otm) == 0) {
        std::printf("error no outline metrics\n");
        return;
    }
    LOGFONTA em = probe;
    em.lfHeight = sign * LONG(otm.otmEMSquare);
    em.lfWidth = 0;
    HFONT font = CreateFontIndirectA(&em);
    HGDIOBJ previous = SelectObject(dc, font);
    std::printf("%s em %u height %ld\n", label, otm.otmEMSquare, long(em.lfHeight));
    for (int code = 0; code <= 0xFF; ++code) {
        if (!Printable1252(code)) continue;
        GLYPHMETRICS gm{};
        DWORD size = GetGlyphOutlineA(dc, UINT(code), GGO_NATIVE, &gm, 0, nullptr, &kIdentity);
        std::vector<unsigned char> data(size == GDI_ERROR ? 0 : size);
        if (size != GDI_ERROR && size > 0)
            size = GetGlyphOutlineA(dc, UINT(code), GGO_NATIVE, &gm, size, data.data(), &kIdentity);
        std::printf("%s %02X advance %d box %u %u %ld %ld size %ld ", label, code, gm.gmCellIncX, gm.gmBlackBoxX,
                    gm.gmBlackBoxY, long(gm.gmptGlyphOrigin.x), long(gm.gmptGlyphOrigin.y),
                    size == GDI_ERROR ? -1L : long(size));
        for (unsigned char b : data) std::printf("%02x", b);
        std::printf("\n");
    }
    SelectObject(dc, previous);
    DeleteObject(font);
}

void DumpMeshes(HDC dc) {
    const d3d8host::DevicePtr owned = d3d8host::CreateOffscreenDevice(16, 16);
    IDirect3DDevice8* device = owned.get();
    for (const char* text : kStrings) {
        ID3DXMesh* mesh = nullptr;
        HRESULT hr = D3DXCreateText(device, dc, text, kDeviation, kExtrusion, &mesh, nullptr, nullptr);
        std::printf("mesh");
        for (const char* c = text; *c; ++c) std::printf(" %02X", unsigned(static_cast<unsigned char>(*c)));
        if (hr != D3D_OK || !mesh) {
            std::printf(" result %ld\n", long(hr));
            continue;
        }
        const unsigned vertices = mesh->GetNumVertices(), faces = mesh->GetNumFaces();
        std::printf(" vertices %u faces %u\n", vertices, faces);
        BYTE* data = nullptr;
        if (mesh->LockVertexBuffer(D3DLOCK_READONLY, &data) == D3D_OK) {
            for (unsigned v = 0; v < vertices; ++v) {
                float p[3];
                std::memcpy(p, data + size_t(v) * 24, sizeof p);
                std::printf("p %.9g %.9g %.9g\n", p[0], p[1], p[2]);
            }
            mesh->UnlockVertexBuffer();
        }
        mesh->Release();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: text3d_dump <face name> [<weight>]\n");
        return 2;
    }
    LOGFONTA probe{};
    probe.lfWeight = argc > 2 ? std::atoi(argv[2]) : FW_NORMAL;
    probe.lfCharSet = BYTE(DEFAULT_CHARSET);
    probe.lfQuality = BYTE(ANTIALIASED_QUALITY);
    std::strncpy(probe.lfFaceName, argv[1], LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectA(&probe);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font);
    std::printf("face %s\n", argv[1]);
    DumpOutlines(dc, probe, "glyph", -1);
    DumpOutlines(dc, probe, "cellglyph", 1);
    DumpMeshes(dc);
    DeleteDC(dc);
    DeleteObject(font);
    return 0;
}
