#include "installer/main_window.h"

#include <cstring>

namespace {

char g_title[100];
char g_className[100];
MainWindow g_window;

}  // namespace

WindowHandle CreateMainWindow(InstanceHandle instance) {
    std::strcpy(g_title, kMainWindowTitle);
    std::strcpy(g_className, kMainWindowClassName);
    g_window = MainWindow{g_className, g_title, 0, 0, 25, 25, instance};
    return &g_window;
}

const char* MainWindowClassName() { return g_className; }

const char* MainWindowTitle() { return g_title; }
