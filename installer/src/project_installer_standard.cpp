// The standard installation ("ProjectType" 2): the project installed for good in a folder
// the user chooses, with Start-menu links, an uninstall log and registry key, and the viewer
// started at the end when asked. The steps it shares with the other types are in
// installer_steps.cpp.
#include <cstring>
#include <optional>
#include <string>

#include "dialogs/progress_window.h"
#include "installer/item_name.h"
#include "installer/project_installer.h"
#include "os/current_folder.h"
#include "os/folder_tree.h"
#include "os/message_box.h"
#include "os/native_path.h"
#include "os/shell_folders.h"
#include "os/shortcut.h"
#include "setting_reads.h"

using namespace setting_reads;

namespace {

constexpr size_t kLinkFolderWalkLimit = 260;

constexpr char kDirectXQuestion[] =
    "DirectX 8.1 or higher was not detected on this system\r\n"
    "Please install DirectX 8.1 or higher before running the program that is installed.\r\n"
    "Continue installation?";
constexpr char kSuccessText[] =
    "Installation successfully completed!\r\n"
    "You are able to find the installed program in the Start menu.";

// The path a desktop entry is listed under: as written, or, when a link (a menu folder
// the user linked elsewhere) leads there, the real file it became, which the uninstaller
// finds by its own folder.
std::string WrittenEntryPath(const std::string& written) {
    const std::string native = os::NativePath(written);
    const std::string real = os::ResolvedPath(native);
    return real.empty() || real == native ? written : real;
}

}  // namespace

bool ProjectInstaller::InstallStandard() {
    uint8_t checkDx8 = 0;
    uint8_t runAfterInstall = 0;
    if (!ReadSettings({{"CheckDx8", &checkDx8}, {"RunAfterInstall", &runAfterInstall}}))
        return false;
    if (checkDx8 && !IsDirectX81OrHigher() &&
        os::MessageBox(kDirectXQuestion, "DirectX version check",
                       os::MB_YESNO | os::MB_ICONWARNING) != os::IDYES)
        return false;

    char proposedPath[kSettingTextSize];
    char shortcutName[kSettingTextSize];
    char projectName[kSettingTextSize];
    if (!ReadSettings({}, {{"InstallPath", proposedPath},
                           {"ShortCutName", shortcutName},
                           {"ProjectName", projectName}}) ||
        !ChooseInstallFolder(proposedPath, projectName) || !ExtractViewer())
        return false;
    progressWindow_->SetProgress(0.05f);
    if (!CopyCoreFiles()) return false;
    progressWindow_->SetProgress(0.25f);

    // "ShortCutName" is a path below the Programs folder. One that climbs out of it would
    // put desktop entries anywhere the user can write, autostart folders included: such a
    // package gets no links, as when there is no Programs folder.
    const bool linkNameInside = shortcutName[0] == '\0' || IsItemNameInside(shortcutName);
    if (const std::optional<std::string> programs =
            linkNameInside ? os::GetProgramsFolder() : std::nullopt) {
        const std::string base = *programs + shortcutName;
        const std::string projectLink = base + ".lnk";
        CreateFoldersAlong(projectLink, kLinkFolderWalkLimit);
        const std::string install(installPath_);
        // A link that could not be made is listed all the same: its uninstaller looks.
        CreateShortcut((install + "\\VantrelViewer.exe").c_str(), projectLink.c_str(),
                       "Vantrel Project Link", "VtlStart.vtl");
        AddText(installedFiles_, WrittenEntryPath(os::ShortcutFilePath(projectLink)));
        const std::string uninstallLink = base + " Uninstall.lnk";
        CreateShortcut((install + "\\VtlUnInst.exe").c_str(), uninstallLink.c_str(),
                       "Vantrel Uninstall Link", nullptr);
        AddText(installedFiles_, WrittenEntryPath(os::ShortcutFilePath(uninstallLink)));
    }

    progressWindow_->SetProgress(0.3f);
    EngineOwner engine(*this);
    if (!InitEngine()) return false;
    ExtractItem("VtlUnInst.exe", true);  // a package without an uninstaller still installs

    if (!UnpackProject()) return false;

    if (EngineFileSaver* saver = MakeFileSaver()) {
        WriteUninstallLog(*saver, projectName, false);
        saver->Destroy();
    }
    ReleaseEngine();

    progressWindow_->SetProgress(0.95f);
    progressWindow_->Destroy();
    progressWindow_.reset();

    WriteUninstallRegistryKey();
    ShowNotInstalled();

    if (runAfterInstall && IsDirectX81OrHigher()) {
        os::SetCurrentFolder(installPath_);
        LaunchViewer(false);
    } else {
        os::MessageBox(kSuccessText, projectName, os::MB_OK | os::MB_ICONINFORMATION);
    }
    return true;
}
