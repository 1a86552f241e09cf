// The screensaver ("ProjectType" 5) and Winamp plug-in ("ProjectType" 6) project types. The
// project goes to a folder the user chooses; a small program from the package is copied into
// the system folder or the player's plug-in folder, and a tagged configuration file tells it
// where the project's start file lies. A failing step stops the installation; nothing done
// before it is undone.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "dialogs/progress_window.h"
#include "installer/item_name.h"
#include "package/little_endian.h"
#include "installer/player_folder.h"
#include "installer/project_installer.h"
#include "os/copy_file.h"
#include "os/current_folder.h"
#include "os/message_box.h"
#include "os/shell_folders.h"
#include "setting_reads.h"
#include "ui/face.h"

using namespace setting_reads;

namespace {

constexpr char kScreensaverDirectXText[] =
    "DirectX 8.1 or higher was not detected on this system\n\r"
    "DirectX 8.1 or higher needs to be installed before the screen saver will work.";
constexpr char kWinampDirectXText[] =
    "DirectX 8.1 or higher was not detected on this system\n\r"
    "DirectX 8.1 or higher needs to be installed before the winamp plugin will work.";
constexpr char kWinamp2Question[] =
    "WinAmp 2.x installation folder could not be detected by the installer. This program "
    "needs WinAmp 2.x (not WinAmp 3) to run.\nWould you like to continue and manually select "
    "your WinAmp 2.x folder?";
constexpr char kWinamp3Question[] =
    "WinAmp 3 installation folder could not be detected by the installer. This program needs "
    "WinAmp 3 (not WinAmp 2.x) to run.\nWould you like to continue and manually select your "
    "WinAmp 3 folder?";
constexpr char kSuccessText[] = "Installation successfully completed!";
constexpr size_t kSystemFolderMax = 259;
constexpr uint32_t kStartFilePathSize = 259;
// What the screen-saver program and the player plug-in make of "SCTI" is theirs to know.
constexpr uint32_t kScti = 20;

void SaveRecord(EngineFileSaver& saver, const char* tag, const void* data, uint32_t size) {
    saver.SaveTag(tag);
    saver.SaveBlockSize(size);
    saver.SaveDataToFile(data, size);
}

// "SCFP", the project's start file in a NUL-padded 259-byte field, and "SCTI".
void SaveStartRecords(EngineFileSaver& saver, const char* installPath) {
    char field[kStartFilePathSize] = {};
    const std::string start = std::string(installPath) + "\\VtlStart.vtl";
    std::memcpy(field, start.data(), std::min<size_t>(start.size(), kStartFilePathSize - 1));
    SaveRecord(saver, "SCFP", field, kStartFilePathSize);
    uint8_t scti[4];
    StoreU32LE(kScti, scti);
    SaveRecord(saver, "SCTI", scti, 4);
}

// Copies `source` to base + "\" + relative; 0 or the system's error number. A name that
// would leave `base`, or a path through a symbolic link below it, is refused unwritten.
int CopyBelow(const std::string& source, const std::string& base, const std::string& relative) {
    if (!IsItemNameInside(relative)) return EACCES;
    return os::CopyFileBelow(source, base, relative);
}

}  // namespace

// The last steps of both types, once the configuration file and the log are written: the
// engine goes, then the viewer and uninstall keys, and the user hears how it went.
void ProjectInstaller::FinishInstallation(const char* projectName) {
    ReleaseEngine();

    WriteViewerRegistryKey();
    WriteUninstallRegistryKey();
    progressWindow_->SetProgress(0.95f);
    progressWindow_->Destroy();
    progressWindow_.reset();
    ShowNotInstalled();
    os::MessageBox(kSuccessText, projectName, os::MB_OK | os::MB_ICONINFORMATION);
}

bool ProjectInstaller::InstallCoreAndEngine() {
    if (!CopyCoreFiles() || !InitEngine()) return false;
    progressWindow_->SetProgress(0.05f);
    ExtractItem("VtlUnInst.exe", true);  // a package without an uninstaller still installs
    return true;
}

bool ProjectInstaller::WriteConfigurationAndLog(
    const char* fileName, const char* projectName,
    const std::function<bool(EngineFileSaver&)>& writeRecords) {
    EngineFileSaver* saver = MakeFileSaver();
    if (!saver) return true;
    const std::string configPath = std::string(installPath_) + "\\" + fileName;
    const bool opened = saver->OpenFile(configPath.c_str(), 0);
    if (opened && !writeRecords(*saver)) {
        saver->CloseFile();  // the file stays unfinished, as it was written
        saver->Destroy();
        return false;
    }
    if (!saver->CloseFile() || !opened) NoteNotInstalled(fileName, "write failure");
    AddText(installedFiles_, configPath);
    WriteUninstallLog(*saver, projectName, true);
    saver->Destroy();
    return true;
}

bool ProjectInstaller::InstallScreensaver() {
    uint8_t checkDx8 = 0;
    uint8_t runAfterInstall = 0;  // must be there; this type starts nothing
    char proposedPath[kSettingTextSize];
    char projectName[kSettingTextSize];
    if (!ReadSettings({{"CheckDx8", &checkDx8}, {"RunAfterInstall", &runAfterInstall}},
                      {{"InstallPath", proposedPath}, {"ProjectName", projectName}}))
        return false;
    if (checkDx8 && !IsDirectX81OrHigher())
        os::MessageBox(kScreensaverDirectXText, projectName, os::MB_OK | os::MB_ICONWARNING);
    if (!ChooseInstallFolder(proposedPath, projectName)) return false;

    EngineOwner engine(*this);
    if (!InstallCoreAndEngine()) return false;
    CopyScreensaverToSystem();
    if (OutOfSpace()) return false;  // told already
    progressWindow_->SetProgress(0.1f);

    if (!UnpackProject()) return false;

    // "SCQC" and "SCSP" hold the "DoQuitCgr" and "DoSmallPreview" bytes.
    auto writeRecords = [&](EngineFileSaver& saver) {
        SaveStartRecords(saver, installPath_);
        for (const char* tag : {"SCQC", "SCSP"}) {
            const char* item = tag[2] == 'Q' ? "DoQuitCgr" : "DoSmallPreview";
            uint8_t value = 0;
            if (!ReadByte(*this, item, value)) {
                ShowMissingSetting(item);
                return false;
            }
            SaveRecord(saver, tag, &value, 1);
        }
        return true;
    };
    if (!WriteConfigurationAndLog("screensaver.cfg", projectName, writeRecords)) return false;
    FinishInstallation(projectName);
    return true;
}

void ProjectInstaller::CopyScreensaverToSystem() {
    ExtractItem("VtlSvr.scr", true);
    if (OutOfSpace()) return;  // told already, and the installation stops
    const std::string source = std::string(installPath_) + "\\VtlSvr.scr";
    std::optional<std::string> system = os::GetSystemFolder();
    // A path cut to fit the buffer would name another folder: one too long is none at all,
    // as the system reports it when the buffer is too small.
    const int noFolder = system ? ENAMETOOLONG : ENOENT;
    if (system && system->size() > kSystemFolderMax) system.reset();

    char projectName[kSettingTextSize];
    if (!ReadText(*this, "ProjectName", projectName, sizeof projectName)) {
        ShowMissingSetting("ProjectName");
        return;
    }
    const std::string fileName = std::string(projectName) + ".scr";
    // Windows always has its system folder; its stand-in here is made when missing, and
    // listed, so that uninstalling takes it away again once it is empty.
    int error = noFolder;
    std::string target = fileName;
    if (system) {
        CreateFoldersAlong(*system + "\\", kFolderWalkLimit);
        target = *system + "\\" + fileName;
        error = CopyBelow(source, *system, fileName);
    }
    if (error != 0) {
        os::MessageBox(std::to_string(error).c_str(), target.c_str(), os::MB_OK);
        os::MessageBox("Unable to copy screensaver to system directory", target.c_str(), os::MB_OK);
    }
    // Without a system folder there is no path to list: a bare name would be taken relative
    // to wherever the uninstaller runs.
    if (system) AddText(installedFiles_, target);
}

bool ProjectInstaller::InstallWinampPlugin() {
    uint8_t checkDx8 = 0;
    char proposedPath[kSettingTextSize];
    char projectName[kSettingTextSize];
    if (!ReadSettings({{"CheckDx8", &checkDx8}},
                      {{"StartupDirectory", proposedPath}, {"ProjectName", projectName}}))
        return false;
    uint8_t winampVersion = 0;
    if (!ReadByte(*this, "WinampVersion", winampVersion)) {
        ShowError("Can't find winamp version");
        return false;
    }
    const bool winamp3 = winampVersion != 0;
    if (checkDx8 && !IsDirectX81OrHigher())
        os::MessageBox(kWinampDirectXText, projectName, os::MB_OK | os::MB_ICONWARNING);
    if (!ChooseInstallFolder(proposedPath, projectName)) return false;

    EngineOwner engine(*this);
    if (!InstallCoreAndEngine()) return false;
    ExtractItem("WinAmp.dll", true);
    if (OutOfSpace()) return false;  // told already
    const std::string source = std::string(installPath_) + "\\WinAmp.dll";

    // Found: the folder keeps its trailing backslash. Picked in the browser: it has none.
    std::string folder;
    if (const std::optional<std::string> found = FindPlayerFolder(winamp3)) {
        folder = *found;
    } else {
        if (os::MessageBox(winamp3 ? kWinamp3Question : kWinamp2Question, projectName,
                           os::MB_YESNO | os::MB_ICONWARNING) != os::IDYES)
            return false;
        // A browser closed without a choice is taken as the same answer: no folder, no
        // plug-in, so nothing more is installed.
        if (!ui::CurrentFace().BrowseForFolder(nullptr, "Select Main WinAmp Install Folder", folder))
            return false;
    }
    const std::string name(projectName);
    const std::string relative = winamp3 ? "Wacs\\" + name + ".wac" : "Plugins\\vis_" + name + ".dll";
    CopyBelow(source, folder, relative);  // a plug-in that could not be copied is not reported
    AddText(installedFiles_, folder + "\\" + relative);
    progressWindow_->SetProgress(0.1f);

    if (!UnpackProject()) return false;

    WriteConfigurationAndLog("winamp.cfg", projectName, [&](EngineFileSaver& saver) {
        SaveStartRecords(saver, installPath_);
        return true;
    });
    FinishInstallation(projectName);
    return true;
}
