#include "installer/project_type_dispatcher.h"

#include <string>

#include "package/little_endian.h"
#include "package/package_reader.h"
#include "installer/project_installer.h"
#include "os/message_box.h"

void ProjectTypeDispatcher::SetInstance(InstanceHandle instance, WindowHandle mainWindow) {
    instance_ = instance;
    mainWindow_ = mainWindow;
}

bool ProjectTypeDispatcher::ReadItem(const char* itemName, void* buffer, uint32_t bufferSize) {
    PackageReader reader;
    return reader.ReadEntry(itemName, buffer, bufferSize, "APPDATA");
}

void ProjectTypeDispatcher::Run() {
    uint8_t value[4] = {};
    if (!ReadItem("ProjectType", value, sizeof value)) {
        os::MessageBox("Can't find project type", "Error", os::MB_OK);
        return;
    }
    const uint32_t type = LoadU32LE(value);
    switch (type) {
    case kProjectRunInPlace: RunInPlaceProject(); break;
    case kProjectStandard: RunStandardProject(); break;
    case kProjectScreensaver: RunScreensaverProject(); break;
    case kProjectWinamp: RunWinampProject(); break;
    default: {
        // A package of a type this installer does not know would otherwise end in silence.
        const std::string text = "This installer cannot install a project of type " +
                                 std::to_string(type) + ".";
        os::MessageBox(text.c_str(), "Error", os::MB_OK);
        break;
    }
    }
}

// The installer is an automatic object, so it goes on every way out of a runner.
void ProjectTypeDispatcher::RunInPlaceProject() {
    ProjectInstaller installer;
    installer.SetInstance(instance_, mainWindow_);
    installer.RunInPlace();
}

void ProjectTypeDispatcher::RunStandardProject() {
    ProjectInstaller installer;
    installer.SetInstance(instance_, mainWindow_);
    installer.InstallStandard();
}

void ProjectTypeDispatcher::RunScreensaverProject() {
    ProjectInstaller installer;
    installer.SetInstance(instance_, mainWindow_);
    installer.InstallScreensaver();
}

void ProjectTypeDispatcher::RunWinampProject() {
    ProjectInstaller installer;
    installer.SetInstance(instance_, mainWindow_);
    installer.InstallWinampPlugin();
}
