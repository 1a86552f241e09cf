// The hidden main window: owner of the dialogs and the window handed to the engine. It is
// never shown and no message loop runs for it, so here it is a record of what the start-up
// registered and created. Its title and class name stay program-wide, because InitEngine
// passes the class name to the engine core.
#pragma once

#include "installer/handles.h"

inline constexpr char kMainWindowTitle[] = "VantrelExe";
inline constexpr char kMainWindowClassName[] = "VantrelExe Window";

struct MainWindow {
    const char* className;
    const char* title;
    int x, y, width, height;  // WS_OVERLAPPEDWINDOW at (0, 0), 25 × 25
    InstanceHandle instance;
};

// Copies the title and class name into the program-wide buffers, registers the class and
// creates the window; the handle stays valid until the process ends.
WindowHandle CreateMainWindow(InstanceHandle instance);

// The program-wide texts, as the start-up copied them.
const char* MainWindowClassName();
const char* MainWindowTitle();
