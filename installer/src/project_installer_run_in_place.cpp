// The run-in-place project type ("ProjectType" 1): the installer as a self-contained player.
// Everything is unpacked into a fresh private temporary folder, the viewer plays the start
// file there, and when it has ended everything unpacked is deleted again. No registry, no
// links, no log. LaunchViewer, which the standard installation shares, is with its steps.
#include <cstdint>
#include <string>

#include "installer/project_installer.h"
#include "os/current_folder.h"
#include "os/file_exists.h"
#include "os/folder.h"
#include "os/message_box.h"
#include "setting_reads.h"

using namespace setting_reads;

namespace {

constexpr char kDirectXMissingText[] =
    "DirectX 8.1 or higher was not detected on this system\n\r"
    "Please install DirectX 8.1 or higher for this application to run.";

}  // namespace

bool ProjectInstaller::RunInPlace() {
    uint8_t checkDx8 = 0;
    if (!ReadByte(*this, "CheckDx8", checkDx8)) {
        ShowMissingSetting("CheckDx8");
        return false;
    }
    if (checkDx8 && !IsDirectX81OrHigher()) {
        os::MessageBox(kDirectXMissingText, "DirectX version check error",
                       os::MB_OK | os::MB_ICONERROR);
        return false;
    }
    if (!CreateTempFolder()) return false;
    os::SetCurrentFolder(installPath_);

    if (!ExtractItem("VantrelViewer.exe", true)) {
        ShowError("VantrelViewer.exe not found", "P");
        return false;
    }
    {
        // The viewer loads its own engine; ours must be gone before it starts.
        EngineOwner engine(*this);
        if (!CopyCoreFiles() || !InitEngine()) return false;
        fileLoader_ = MakeFileLoader();
        if (!fileLoader_) {
            ShowError("Can't init fileloader", "P");
            return false;
        }
        if (!ExtractChannels() || !ExtractProjectFiles()) return false;
    }
    ShowNotInstalled();  // what is missing may be why the project does not play
    LaunchViewer(true);
    CleanupTempFolder();
    return true;
}

void ProjectInstaller::CleanupTempFolder() {
    // Only what we unpacked goes: files the viewer added stay, and so do their folders,
    // since a folder is removed only when empty.
    for (int32_t i = 0; i < installedFiles_.Count(); ++i) {
        char* path = static_cast<char*>(installedFiles_.Get(i));
        if (path) os::DeleteFile(path);
        delete[] path;
        installedFiles_.Set(nullptr, i);
    }
    installedFiles_.Clear();
    os::DeleteFile(std::string(installPath_) + "\\channel.lst");
    for (int32_t i = createdFolders_.Count() - 1; i >= 0; --i) {
        char* path = static_cast<char*>(createdFolders_.Get(i));
        if (path) os::RemoveFolder(path);
        delete[] path;
        createdFolders_.Set(nullptr, i);
    }
    createdFolders_.Clear();
    os::RemoveFolder(installPath_);
}
