// The font services of gdi/wingdi.h on the real GDI. Handles are GDI's own, carried in the
// header's opaque handle type; every call goes to GDI through native_gdi, which alone sees
// <windows.h>. Text codes are read in the font's code page and turned into UTF-16 for
// GetGlyphOutlineW, with the Windows-1252 table the stand-in uses for that page.
#include "gdi/font_files.h"
#include "gdi/wingdi.h"

#include "native_gdi.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace native = gdi::native;

static_assert(sizeof(LOGFONTA) == native::kLogFontASize);
static_assert(sizeof(GLYPHMETRICS) == native::kGlyphMetricsSize);
static_assert(sizeof(MAT2) == native::kMat2Size);
static_assert(sizeof(OUTLINETEXTMETRICA) == native::kOutlineTextMetricsASize);
static_assert(offsetof(OUTLINETEXTMETRICA, otmEMSquare) == native::kEmSquareOffset);

namespace {

native::Handle Native(HGDIOBJ object) { return static_cast<void*>(object); }
HGDIOBJ Ours(native::Handle handle) { return static_cast<HGDIOBJ>(handle); }

DebugOutputSink g_debugSink = nullptr;
void* g_debugContext = nullptr;

// A code of the context's code page as one UTF-16 character; 0 when it is none.
char16_t CodeToUtf16(HDC dc, UINT code) {
    UINT page = GetTextCodePage(dc);
    if (code <= 0xFF) {
        if (page == 1252) return char16_t(gdi::Cp1252ToUnicode(BYTE(code)));
        if (IsDBCSLeadByteEx(page, BYTE(code))) return 0;  // half a character
        char byte = char(code);
        return native::ToUtf16(page, &byte, 1);
    }
    // Two bytes: lead × 256 + trail, in a double-byte page only.
    if (code > 0xFFFF || !IsDBCSLeadByteEx(page, BYTE(code >> 8))) return 0;
    char pair[2] = {char(code >> 8), char(code & 0xFF)};
    return native::ToUtf16(page, pair, 2);
}

}  // namespace

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                  DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                  DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, const char* faceName) {
    LOGFONTA font{};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfEscapement = escapement;
    font.lfOrientation = orientation;
    font.lfWeight = weight;
    font.lfItalic = BYTE(italic);
    font.lfUnderline = BYTE(underline);
    font.lfStrikeOut = BYTE(strikeOut);
    font.lfCharSet = BYTE(charSet);
    font.lfOutPrecision = BYTE(outPrecision);
    font.lfClipPrecision = BYTE(clipPrecision);
    font.lfQuality = BYTE(quality);
    font.lfPitchAndFamily = BYTE(pitchAndFamily);
    if (faceName) std::strncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirectA(&font);
}

HFONT CreateFontIndirectA(const LOGFONTA* logFont) {
    if (!logFont) return nullptr;
    return Ours(native::CreateFontFromA(logFont));
}

HDC CreateCompatibleDC(HDC reference) { return Ours(native::CreateMemoryDC(Native(reference))); }

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) { return Ours(native::Select(Native(dc), Native(object))); }

BOOL DeleteObject(HGDIOBJ object) { return native::DeleteGdiObject(Native(object)) ? 1 : 0; }

BOOL DeleteDC(HDC dc) { return native::DeleteMemoryDC(Native(dc)) ? 1 : 0; }

HGDIOBJ GetCurrentObject(HDC dc, UINT type) {
    if (type != OBJ_FONT) return nullptr;
    return Ours(native::CurrentFont(Native(dc)));
}

int GetObjectA(HGDIOBJ object, int size, void* out) { return native::FontDescriptionA(Native(object), size, out); }

UINT GetOutlineTextMetricsA(HDC dc, UINT size, OUTLINETEXTMETRICA* metrics) {
    return native::OutlineMetricsA(Native(dc), size, metrics);
}

DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size,
                       void* buffer, const MAT2* transform) {
    if (!metrics || !transform) return GDI_ERROR;
    if (format != GGO_NATIVE && format != GGO_METRICS) return GDI_ERROR;
    char16_t character = CodeToUtf16(dc, code);
    if (character == 0 && code != 0) return GDI_ERROR;
    return DWORD(native::GlyphOutline(Native(dc), character, format, metrics, size, buffer, transform));
}

UINT GetTextCodePage(HDC dc) { return native::TextCodePage(Native(dc)); }

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte) { return native::LeadByte(codePage, byte) ? 1 : 0; }

void OutputDebugStringA(const char* text) {
    if (!text) return;
    native::DebuggerOutput(text);
    if (std::getenv("VANTREL_DEBUG_OUTPUT")) std::fputs(text, stderr);
    if (g_debugSink) g_debugSink(text, g_debugContext);
}

void SetDebugOutputSink(DebugOutputSink sink, void* context) {
    g_debugSink = sink;
    g_debugContext = context;
}

namespace gdi {

// GDI picks the face itself and names no file: the family is the one it realises for the
// description, the path stays empty.
FontFile ResolveFontFile(const LOGFONTA& font) {
    FontFile file;
    file.family = native::RealizedFamily(&font);
    return file;
}

}  // namespace gdi
