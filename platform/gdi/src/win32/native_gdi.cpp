// The real GDI calls behind the Windows font services (see native_gdi.h).
#include "native_gdi.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace gdi::native {
namespace {

static_assert(sizeof(::LOGFONTA) == kLogFontASize);
static_assert(sizeof(::GLYPHMETRICS) == kGlyphMetricsSize);
static_assert(sizeof(::MAT2) == kMat2Size);
static_assert(sizeof(::OUTLINETEXTMETRICA) == kOutlineTextMetricsASize);
static_assert(offsetof(::OUTLINETEXTMETRICA, otmEMSquare) == kEmSquareOffset);

::LOGFONTW WideDescription(const ::LOGFONTA& a) {
    ::LOGFONTW w{};
    w.lfHeight = a.lfHeight;
    w.lfWidth = a.lfWidth;
    w.lfEscapement = a.lfEscapement;
    w.lfOrientation = a.lfOrientation;
    w.lfWeight = a.lfWeight;
    w.lfItalic = a.lfItalic;
    w.lfUnderline = a.lfUnderline;
    w.lfStrikeOut = a.lfStrikeOut;
    w.lfCharSet = a.lfCharSet;
    w.lfOutPrecision = a.lfOutPrecision;
    w.lfClipPrecision = a.lfClipPrecision;
    w.lfQuality = a.lfQuality;
    w.lfPitchAndFamily = a.lfPitchAndFamily;
    char name[LF_FACESIZE + 1] = {};
    std::memcpy(name, a.lfFaceName, LF_FACESIZE - 1);  // a full name without its NUL is cut
    MultiByteToWideChar(CP_ACP, 0, name, -1, w.lfFaceName, LF_FACESIZE);
    w.lfFaceName[LF_FACESIZE - 1] = L'\0';
    return w;
}

::LOGFONTA NarrowDescription(const ::LOGFONTW& w) {
    ::LOGFONTA a{};
    std::memcpy(&a, &w, offsetof(::LOGFONTA, lfFaceName));  // the same fields up to the name
    WideCharToMultiByte(CP_ACP, 0, w.lfFaceName, -1, a.lfFaceName, LF_FACESIZE, nullptr, nullptr);
    a.lfFaceName[LF_FACESIZE - 1] = '\0';
    return a;
}

BYTE NarrowChar(WCHAR c) { return BYTE(std::min<WCHAR>(c, 0xFF)); }

::TEXTMETRICA NarrowTextMetrics(const ::TEXTMETRICW& w) {
    ::TEXTMETRICA a{};
    a.tmHeight = w.tmHeight;
    a.tmAscent = w.tmAscent;
    a.tmDescent = w.tmDescent;
    a.tmInternalLeading = w.tmInternalLeading;
    a.tmExternalLeading = w.tmExternalLeading;
    a.tmAveCharWidth = w.tmAveCharWidth;
    a.tmMaxCharWidth = w.tmMaxCharWidth;
    a.tmWeight = w.tmWeight;
    a.tmOverhang = w.tmOverhang;
    a.tmDigitizedAspectX = w.tmDigitizedAspectX;
    a.tmDigitizedAspectY = w.tmDigitizedAspectY;
    a.tmFirstChar = NarrowChar(w.tmFirstChar);
    a.tmLastChar = NarrowChar(w.tmLastChar);
    a.tmDefaultChar = NarrowChar(w.tmDefaultChar);
    a.tmBreakChar = NarrowChar(w.tmBreakChar);
    a.tmItalic = w.tmItalic;
    a.tmUnderlined = w.tmUnderlined;
    a.tmStruckOut = w.tmStruckOut;
    a.tmPitchAndFamily = w.tmPitchAndFamily;
    a.tmCharSet = w.tmCharSet;
    return a;
}

std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(size_t(n - 1));
    return out;
}

}  // namespace

Handle CreateFontFromA(const void* logFontA) {
    ::LOGFONTA a;
    std::memcpy(&a, logFontA, sizeof a);
    ::LOGFONTW w = WideDescription(a);
    return CreateFontIndirectW(&w);
}

Handle CreateMemoryDC(Handle reference) { return CreateCompatibleDC(static_cast<HDC>(reference)); }

Handle Select(Handle dc, Handle object) {
    HGDIOBJ previous = SelectObject(static_cast<HDC>(dc), static_cast<HGDIOBJ>(object));
    return previous == HGDI_ERROR ? nullptr : previous;
}

bool DeleteGdiObject(Handle object) { return DeleteObject(static_cast<HGDIOBJ>(object)) != FALSE; }

bool DeleteMemoryDC(Handle dc) { return DeleteDC(static_cast<HDC>(dc)) != FALSE; }

Handle CurrentFont(Handle dc) { return GetCurrentObject(static_cast<HDC>(dc), OBJ_FONT); }

int FontDescriptionA(Handle font, int size, void* out) {
    if (!font || GetObjectType(static_cast<HGDIOBJ>(font)) != OBJ_FONT) return 0;
    if (!out) return int(sizeof(::LOGFONTA));
    ::LOGFONTW w{};
    if (GetObjectW(static_cast<HGDIOBJ>(font), sizeof w, &w) == 0 || size <= 0) return 0;
    ::LOGFONTA a = NarrowDescription(w);
    int n = std::min(size, int(sizeof a));
    std::memcpy(out, &a, size_t(n));
    return n;
}

unsigned OutlineMetricsA(Handle dc, unsigned size, void* out) {
    HDC context = static_cast<HDC>(dc);
    UINT needed = GetOutlineTextMetricsW(context, 0, nullptr);
    if (needed < sizeof(::OUTLINETEXTMETRICW)) return 0;
    if (!out || size == 0) return UINT(sizeof(::OUTLINETEXTMETRICA));
    // The record is followed by the name strings; ask for all of it.
    std::vector<unsigned char> bytes(needed);
    auto* w = reinterpret_cast<::OUTLINETEXTMETRICW*>(bytes.data());
    if (GetOutlineTextMetricsW(context, needed, w) == 0) return 0;
    ::OUTLINETEXTMETRICA a{};
    a.otmSize = sizeof a;
    a.otmTextMetrics = NarrowTextMetrics(w->otmTextMetrics);
    a.otmFiller = w->otmFiller;
    a.otmPanoseNumber = w->otmPanoseNumber;
    // Every field from otmfsSelection to otmsUnderscorePosition has the same type in both.
    constexpr size_t kFirst = offsetof(::OUTLINETEXTMETRICA, otmfsSelection);
    constexpr size_t kEnd = offsetof(::OUTLINETEXTMETRICA, otmsUnderscorePosition) + sizeof(int);
    static_assert(kEnd - kFirst == offsetof(::OUTLINETEXTMETRICW, otmsUnderscorePosition) + sizeof(int) -
                                       offsetof(::OUTLINETEXTMETRICW, otmfsSelection));
    std::memcpy(&a.otmfsSelection, &w->otmfsSelection, kEnd - kFirst);
    UINT n = std::min<UINT>(size, UINT(sizeof a));
    std::memcpy(out, &a, n);
    return n;
}

unsigned long GlyphOutline(Handle dc, char16_t character, unsigned format, void* metrics,
                           unsigned long size, void* buffer, const void* transform) {
    return GetGlyphOutlineW(static_cast<HDC>(dc), UINT(character), format,
                            static_cast<GLYPHMETRICS*>(metrics), size, buffer,
                            static_cast<const MAT2*>(transform));
}

unsigned TextCodePage(Handle dc) {
    int charset = GetTextCharsetInfo(static_cast<HDC>(dc), nullptr, 0);
    CHARSETINFO info{};
    if (charset == DEFAULT_CHARSET || charset < 0 ||
        !TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(charset)), &info, TCI_SRCCHARSET))
        return GetACP();
    return info.ciACP;
}

bool LeadByte(unsigned codePage, unsigned char byte) { return IsDBCSLeadByteEx(codePage, byte) != FALSE; }

char16_t ToUtf16(unsigned codePage, const char* bytes, int count) {
    wchar_t out[2] = {};
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, out, 2) != 1) return 0;
    return char16_t(out[0]);
}

std::string RealizedFamily(const void* logFontA) {
    Handle font = CreateFontFromA(logFontA);
    if (!font) return {};
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, static_cast<HGDIOBJ>(font));
    wchar_t face[LF_FACESIZE] = {};
    int n = GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(static_cast<HGDIOBJ>(font));
    return n > 0 ? Utf8(face) : std::string();
}

void DebuggerOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace gdi::native
