// What the project adds to the system's GDI on Windows: the code page of a context's font,
// the debugger output tests read, and the family GDI realises for a description.
#include "gdi/font_files.h"
#include "gdi/wingdi.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

DebugOutputSink g_debugSink = nullptr;
void* g_debugContext = nullptr;

std::string Utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(size_t(size - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace

UINT GetTextCodePage(HDC dc) {
    const int charset = ::GetTextCharsetInfo(dc, nullptr, 0);
    CHARSETINFO info{};
    if (charset == DEFAULT_CHARSET || charset < 0 ||
        !::TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(charset)), &info, TCI_SRCCHARSET))
        return ::GetACP();
    return info.ciACP;
}

void VantrelOutputDebugStringA(const char* text) {
    if (!text) return;
    ::OutputDebugStringW(std::wstring(text, text + std::char_traits<char>::length(text)).c_str());
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
    HFONT made = ::CreateFontIndirectA(&font);
    if (!made) return file;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ previous = ::SelectObject(dc, made);
    wchar_t face[LF_FACESIZE] = {};
    if (::GetTextFaceW(dc, LF_FACESIZE, face) > 0) file.family = Utf8(face);
    ::SelectObject(dc, previous);
    ::DeleteDC(dc);
    ::DeleteObject(made);
    return file;
}

}  // namespace gdi
