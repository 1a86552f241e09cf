// The real GDI calls behind the font services on Windows, with plain types only: this
// header is shared by the one file that includes <windows.h> and the one that includes
// gdi/wingdi.h, whose declarations of the same names differ (C++ linkage, fixed widths).
// Records travel as bytes in the layouts both declare; the sizes below are checked on
// both sides.
#pragma once

#include <cstddef>
#include <string>

namespace gdi::native {

using Handle = void*;

constexpr std::size_t kLogFontASize = 60;
constexpr std::size_t kGlyphMetricsSize = 20;
constexpr std::size_t kMat2Size = 16;
constexpr std::size_t kOutlineTextMetricsASize = sizeof(void*) == 8 ? 232 : 212;
constexpr std::size_t kEmSquareOffset = 92;  // otmEMSquare within OUTLINETEXTMETRICA

// A font from a LOGFONTA's bytes (face name read in the ANSI code page), through
// CreateFontIndirectW. Null on failure.
Handle CreateFontFromA(const void* logFontA);
Handle CreateMemoryDC(Handle reference);
// SelectObject; null for a failure (GDI's HGDI_ERROR included).
Handle Select(Handle dc, Handle object);
bool DeleteGdiObject(Handle object);
bool DeleteMemoryDC(Handle dc);
Handle CurrentFont(Handle dc);
// The font's LOGFONTW as LOGFONTA bytes; with a null `out` the size needed; 0 for anything
// but a font.
int FontDescriptionA(Handle font, int size, void* out);
// GetOutlineTextMetricsW as OUTLINETEXTMETRICA bytes without the name strings (their
// offsets left 0); 0 when the context has no outline font.
unsigned OutlineMetricsA(Handle dc, unsigned size, void* out);
// GetGlyphOutlineW for one UTF-16 character.
unsigned long GlyphOutline(Handle dc, char16_t character, unsigned format, void* metrics,
                           unsigned long size, void* buffer, const void* transform);
// The code page of the context's font character set (the ANSI page for a bad context).
unsigned TextCodePage(Handle dc);
bool LeadByte(unsigned codePage, unsigned char byte);
// One character of a multi-byte code page as UTF-16; 0 when the bytes are no character.
char16_t ToUtf16(unsigned codePage, const char* bytes, int count);
// The family GDI realises for a LOGFONTA (GetTextFaceW on a context it is selected into),
// in UTF-8; empty when no font could be made.
std::string RealizedFamily(const void* logFontA);
void DebuggerOutput(const char* text);

}  // namespace gdi::native
