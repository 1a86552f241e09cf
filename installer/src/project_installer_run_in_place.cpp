// The run-in-place project type ("ProjectType" 1): the installer as a self-contained player.
// Everything is unpacked into a fresh private temporary folder, the viewer plays the start
// file there, and when it has ended everything unpacked is deleted again. No registry, no
// links, no log. LaunchViewer, which the standard installation shares, is in installer_steps.cpp.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "installer/project_installer.h"
#include "os/current_folder.h"
#include "os/folder.h"
#include "os/folder_tree.h"
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
    if (!ReadSettings({{"CheckDx8", &checkDx8}})) return false;
    if (checkDx8 && !IsDirectX81OrHigher()) {
        os::MessageBox(kDirectXMissingText, "DirectX version check error",
                       os::MB_OK | os::MB_ICONERROR);
        return false;
    }
    if (!CreateTempFolder()) return false;
    os::SetCurrentFolder(installPath_);
    if (!ExtractViewer()) return false;
    {
        // The viewer loads its own engine; ours must be gone before it starts.
        EngineOwner engine(*this);
        if (!CopyCoreFiles() || !InitEngine()) return false;
        if (!UnpackProject()) return false;
    }
    ShowNotInstalled();  // what is missing may be why the project does not play
    LaunchViewer(true);
    CleanupTempFolder();
    return true;
}

void ProjectInstaller::CleanupTempFolder() {
    // Only what we unpacked goes: files the viewer added stay, and so do their folders,
    // since a folder is removed only when empty. Everything below the folder is reached
    // from the folder opened once, never through a link: a link the project's plug-ins
    // planted there cannot turn the clean-up onto files elsewhere.
    os::FolderTree tree;
    const bool open = tree.Open(installPath_);
    const std::string prefix = std::string(installPath_) + "\\";
    auto below = [&](const char* path) -> std::optional<std::string> {
        const std::string_view p(path);
        if (!open || p.substr(0, prefix.size()) != prefix) return std::nullopt;
        std::string relative(p.substr(prefix.size()));
        while (!relative.empty() && (relative.back() == '\\' || relative.back() == '/')) relative.pop_back();
        return relative;
    };
    for (int32_t i = 0; i < installedFiles_.Count(); ++i) {
        char* path = static_cast<char*>(installedFiles_.Get(i));
        if (path)
            if (const std::optional<std::string> relative = below(path)) tree.RemoveFile(*relative);
        delete[] path;
        installedFiles_.Set(nullptr, i);
    }
    installedFiles_.Clear();
    if (open) tree.RemoveFile("channel.lst");
    for (int32_t i = createdFolders_.Count() - 1; i >= 0; --i) {
        char* path = static_cast<char*>(createdFolders_.Get(i));
        if (path) {
            // A folder made on the way to the install folder can only go when empty.
            if (const std::optional<std::string> relative = below(path)) tree.RemoveFolder(*relative);
            else os::RemoveFolder(path);
        }
        delete[] path;
        createdFolders_.Set(nullptr, i);
    }
    createdFolders_.Clear();
    if (open) tree.RemoveFolder("");
    else os::RemoveFolder(installPath_);
}
