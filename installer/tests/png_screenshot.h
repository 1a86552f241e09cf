// Saves what an FLTK window shows as a PNG file, for the GUI tests' screenshots.
#pragma once

#include <string>

class Fl_Window;

// False when the window is not shown or the file cannot be written.
bool SaveWindowPng(Fl_Window* window, const std::string& path);
