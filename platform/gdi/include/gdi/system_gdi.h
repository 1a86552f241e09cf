// GDI on Windows: the system's <windows.h>, set up as the Direct3D 8 header sets it up (the
// first to include it decides), and the two services of the project's own that GDI lacks.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef _NO_SYS_GUID_OPERATOR_EQ_
#define _NO_SYS_GUID_OPERATOR_EQ_
#endif
#include <windows.h>

// The code page text bytes are read in for the context's font (the system's ANSI page when
// the font's character set names none).
UINT GetTextCodePage(HDC dc);

// Debugger output that tests can read: every line goes to the system's debugger output, to
// standard error when VANTREL_DEBUG_OUTPUT is set, and to the sink installed here.
using DebugOutputSink = void (*)(const char* text, void* context);
void SetDebugOutputSink(DebugOutputSink sink, void* context);
void VantrelOutputDebugStringA(const char* text);
#undef OutputDebugStringA
#define OutputDebugStringA VantrelOutputDebugStringA
