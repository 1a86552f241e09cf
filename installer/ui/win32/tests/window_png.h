// Saves what a window shows on the screen as a PNG (GDI capture, zlib for the image data),
// for the screenshot of the native options dialog.
#pragma once

#include <windows.h>

#include <string>

// False when the window cannot be captured or shows nothing but one colour.
bool SaveWindowPng(HWND hwnd, const std::wstring& path);
