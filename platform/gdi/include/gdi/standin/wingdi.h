// Stand-in for the Windows GDI font services the 3D text reads: fonts described by a
// LOGFONTA, memory device contexts that hold a selected font, the outline text metrics and
// native (TrueType-style) glyph outlines. Outlines come from FreeType, face names resolve
// through fontconfig. Types keep the byte layouts of the original platform (LOGFONTA is 60
// bytes); handles are opaque pointers.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using SHORT = std::int16_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using BOOL = std::int32_t;
using CHAR = char;

struct GdiObject;                 // a font or a device context
using HGDIOBJ = GdiObject*;
using HFONT = GdiObject*;
using HDC = GdiObject*;

constexpr DWORD GDI_ERROR = 0xFFFFFFFFu;
constexpr int LF_FACESIZE = 32;

constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr DWORD ANSI_CHARSET = 0;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD SYMBOL_CHARSET = 2;
constexpr DWORD OUT_DEFAULT_PRECIS = 0;
constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
constexpr DWORD ANTIALIASED_QUALITY = 4;
constexpr DWORD VARIABLE_PITCH = 2;

// 60 bytes: five 32-bit values, eight bytes, 32 characters.
struct LOGFONTA {
    LONG lfHeight;       // em height when negative, cell height when positive, 0: default
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;       // 0..1000, 400 normal, 700 bold
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTA) == 60);

struct FIXED {
    WORD fract;  // fraction / 65536
    SHORT value;
};
struct POINTFX {
    FIXED x;
    FIXED y;
};
struct MAT2 {
    FIXED eM11;
    FIXED eM12;
    FIXED eM21;
    FIXED eM22;
};
struct POINT {
    LONG x;
    LONG y;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
struct PANOSE {
    BYTE values[10];
};

struct GLYPHMETRICS {
    UINT gmBlackBoxX;
    UINT gmBlackBoxY;
    POINT gmptGlyphOrigin;  // upper left corner of the black box, y up
    SHORT gmCellIncX;
    SHORT gmCellIncY;
};

constexpr UINT GGO_METRICS = 0;
constexpr UINT GGO_NATIVE = 2;

constexpr DWORD TT_POLYGON_TYPE = 24;
constexpr WORD TT_PRIM_LINE = 1;
constexpr WORD TT_PRIM_QSPLINE = 2;
constexpr WORD TT_PRIM_CSPLINE = 3;

// A contour: the header, then TTPOLYCURVE records up to cb bytes from the header's start.
struct TTPOLYGONHEADER {
    DWORD cb;        // bytes of this contour, header included
    DWORD dwType;    // TT_POLYGON_TYPE
    POINTFX pfxStart;
};
struct TTPOLYCURVE {
    WORD wType;      // TT_PRIM_LINE or TT_PRIM_QSPLINE
    WORD cpfx;       // points that follow
    POINTFX apfx[1];
};
static_assert(sizeof(TTPOLYGONHEADER) == 16 && sizeof(TTPOLYCURVE) == 12);

struct TEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

// The values are in the units of the selected font's size; the name fields are offsets
// into the caller's buffer as on the original platform and are left 0 here (no names).
struct OUTLINETEXTMETRICA {
    UINT otmSize;
    TEXTMETRICA otmTextMetrics;
    BYTE otmFiller;
    PANOSE otmPanoseNumber;
    UINT otmfsSelection;
    UINT otmfsType;
    int otmsCharSlopeRise;
    int otmsCharSlopeRun;
    int otmItalicAngle;
    UINT otmEMSquare;      // design units per em
    int otmAscent;
    int otmDescent;
    UINT otmLineGap;
    UINT otmsCapEmHeight;
    UINT otmsXHeight;
    RECT otmrcFontBox;
    int otmMacAscent;
    int otmMacDescent;
    UINT otmMacLineGap;
    UINT otmusMinimumPPEM;
    POINT otmptSubscriptSize;
    POINT otmptSubscriptOffset;
    POINT otmptSuperscriptSize;
    POINT otmptSuperscriptOffset;
    UINT otmsStrikeoutSize;
    int otmsStrikeoutPosition;
    int otmsUnderscoreSize;
    int otmsUnderscorePosition;
    char* otmpFamilyName;
    char* otmpFaceName;
    char* otmpStyleName;
    char* otmpFullName;
};

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                  DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                  DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, const char* faceName);
// Null when `logFont` is null or memory runs out.
HFONT CreateFontIndirectA(const LOGFONTA* logFont);
// A memory device context; `reference` may be null (the screen). No font is selected.
HDC CreateCompatibleDC(HDC reference);
// Selects a font into a context and returns the one selected before (null when there was
// none); null for anything but a font and a context.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Frees a font. A font still selected into a context stays usable there until the
// context lets it go (deselected or deleted). False for null or a context.
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteDC(HDC dc);
constexpr UINT OBJ_FONT = 6;
// The font selected into a context (OBJ_FONT), or null.
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
// Copies a font's LOGFONTA (at most `size` bytes) and returns the bytes copied; with a null
// `out` returns the size needed. 0 for anything but a font.
int GetObjectA(HGDIOBJ object, int size, void* out);
// Size needed when `metrics` is null or `size` is 0; otherwise fills at most `size` bytes
// and returns the size written, or 0 when the context has no usable font.
UINT GetOutlineTextMetricsA(HDC dc, UINT size, OUTLINETEXTMETRICA* metrics);
// GGO_NATIVE: with a null buffer or size 0 returns the bytes the outline needs; otherwise
// writes the contours and returns their size, GDI_ERROR when the buffer is too small.
// GGO_METRICS: fills `metrics` only. `code` is a character of the font's code page (a
// double-byte code is lead × 256 + trail). `transform` is required, as on the original.
DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size,
                       void* buffer, const MAT2* transform);

// The code page text bytes are read in for the context's font: 1252 for every font here.
UINT GetTextCodePage(HDC dc);
// True when `byte` starts a two-byte character in `codePage`; never for single-byte pages.
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte);

// Writes a line to the debugger output: standard error when VANTREL_DEBUG_OUTPUT is set,
// and always to the sink installed by SetDebugOutputSink (tests read the lines there).
void OutputDebugStringA(const char* text);
using DebugOutputSink = void (*)(const char* text, void* context);
void SetDebugOutputSink(DebugOutputSink sink, void* context);
