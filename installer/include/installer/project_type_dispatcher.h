// The top of the program: reads "ProjectType" from the package and runs the one runner for
// it. Virtual operations, in this order: destructor, Run, SetInstance, ReadItem,
// RunInPlaceProject, RunStandardProject, RunScreensaverProject, RunWinampProject.
#pragma once

#include <cstdint>

#include "installer/handles.h"

// "ProjectType" values with a runner.
inline constexpr uint32_t kProjectRunInPlace = 1;
inline constexpr uint32_t kProjectStandard = 2;
inline constexpr uint32_t kProjectScreensaver = 5;
inline constexpr uint32_t kProjectWinamp = 6;

class ProjectTypeDispatcher {
public:
    ProjectTypeDispatcher() = default;
    virtual ~ProjectTypeDispatcher() = default;

    // Without "ProjectType" shows "Can't find project type" (caption "Error"); values
    // without a runner (3, 4, anything outside 1 to 6) run nothing and show nothing.
    virtual void Run();
    virtual void SetInstance(InstanceHandle instance, WindowHandle mainWindow);
    // Reads an "APPDATA" entry through a reader of its own, made for this one read.
    virtual bool ReadItem(const char* itemName, void* buffer, uint32_t bufferSize);
    // Each runner makes a ProjectInstaller, hands it the handles, runs its handler and
    // ignores the handler's result.
    virtual void RunInPlaceProject();
    virtual void RunStandardProject();
    virtual void RunScreensaverProject();
    virtual void RunWinampProject();

protected:
    InstanceHandle instance_ = nullptr;
    WindowHandle mainWindow_ = nullptr;
};
