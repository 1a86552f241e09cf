#include "installer/program_entry.h"

#include <cstdio>
#include <exception>

#include "installer/main_window.h"
#include "installer/project_type_dispatcher.h"
#include "ui/face.h"

int VantrelMain(InstanceHandle instance, InstanceHandle, const char*, int) noexcept {
    try {
        // Choose the face first, so the package reader's boxes go through it too.
        ui::CurrentFace();
        WindowHandle mainWindow = CreateMainWindow(instance);
        ProjectTypeDispatcher dispatcher;
        dispatcher.SetInstance(instance, mainWindow);
        dispatcher.Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "projinstall: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "projinstall: unexpected failure\n");
    }
    return 0;
}
