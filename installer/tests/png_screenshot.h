// Saves what an FLTK window shows as a PNG file, for the GUI tests' screenshots.
#pragma once

#include <string>

class Fl_Window;

// Saves what the window shows as a PNG; false when it cannot, or when the window still
// shows nothing but one colour (not shown, or not drawn yet).
bool SaveWindowPng(Fl_Window* window, const std::string& path);
