// The steps the project types share: the package's settings and the install folder, the
// core files, the engine core loaded at run time, the listed plug-ins and project files, the
// uninstall log, registry keys, links, the viewer and the DirectX probe. A failing step
// stops the installation; nothing done before it is undone.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "dialogs/install_options_dialog.h"
#include "dialogs/progress_window.h"
#include "installer/main_window.h"
#include "installer/project_installer.h"
#include "package/uninstall_log.h"
#include "os/current_folder.h"
#include "os/directx_probe.h"
#include "os/message_box.h"
#include "os/process.h"
#include "os/registry.h"
#include "os/shortcut.h"
#include "os/written_library.h"
#include "setting_reads.h"

using namespace setting_reads;

namespace {

constexpr size_t kRegistryPathMax = 259;

constexpr char kViewerCommandLine[] = "VantrelViewer.exe VtlStart.vtl";

constexpr char kCopyErrorText[] =
    "There was an error while trying to copy one of the installation files.\n"
    "Please make sure no applications are running that might be locking some files.";

// The core files in the order they are extracted, and whether each is a packed file.
struct CoreFile {
    const char* name;
    bool unpack;
};
constexpr CoreFile kCoreFiles[] = {
#if VANTREL_CORE_RUNTIME_DLLS
    // The C++ runtime the engine core, the viewer and the channel libraries of the Windows
    // build share, beside them and in place before the engine core is loaded.
    {"libwinpthread-1.dll", true},
    {"libgcc_s_seh-1.dll", true},
    {"libstdc++-6.dll", true},
#endif
    {"Corvane.dll", true},
    {"channels\\FileSaver.dll", true},
    {"channels\\Directory.dll", true},
    {"channels\\FileLoader.dll", true},
    {"channels\\9F9FF213-DED7-599F-80D1-45463E6C473B.dll", true},
    {"channels\\E0B80F4A-499F-5E75-87AD-5C21C81E2772.dll", true},
    {"channels\\4806DF8E-A410-5F04-A297-090D455D9BEE.dll", true},
    {"channels\\491E783E-7E83-5F32-91C6-3823F2BBD53F.dll", true},
    {"VtlStart.vtl", false},  // the viewer reads the compressed form itself
};

}  // namespace

bool ProjectInstaller::ReadSettings(std::initializer_list<ByteSetting> bytes,
                                    std::initializer_list<TextSetting> texts) {
    for (const ByteSetting& setting : bytes) {
        if (!ReadByte(*this, setting.name, *setting.value)) {
            ShowMissingSetting(setting.name);
            return false;
        }
    }
    for (const TextSetting& setting : texts) {
        if (!ReadText(*this, setting.name, setting.buffer, kSettingTextSize)) {
            ShowMissingSetting(setting.name);
            return false;
        }
    }
    return true;
}

bool ProjectInstaller::ChooseInstallFolder(const char* proposedPath, const char* projectName) {
    InstallOptionsDialog dialog;
    dialog.SetTitle(projectName);
    if (!dialog.DoModal(instance_, mainWindow_, proposedPath)) return false;

    if (!TakeInstallFolder(AbsoluteInstallPath(dialog.GetPath()))) return false;
    OpenProgressWindow();
    os::SetCurrentFolder(installPath_);
    return true;
}

bool ProjectInstaller::ExtractViewer() {
    if (ExtractItem("VantrelViewer.exe", true)) return true;
    if (!OutOfSpace()) ShowError("VantrelViewer.exe not found", "P");  // else told already
    return false;
}

void ProjectInstaller::ReleaseEngine() {
    if (fileLoader_) {
        fileLoader_->Destroy();
        fileLoader_ = nullptr;
    }
    if (engineControl_) {
        engineControl_->Destroy();
        engineControl_ = nullptr;
    }
    engineServices_ = nullptr;
    if (engineModule_) {
        os::FreeLibrary(engineModule_);
        engineModule_ = nullptr;
    }
}

void ProjectInstaller::OpenProgressWindow() {
    progressWindow_ = std::make_unique<ProgressWindow>();
    progressWindow_->SetText("Installing...");
    progressWindow_->Create(instance_, mainWindow_);
    progressWindow_->SetProgress(0.0f);
}

bool ProjectInstaller::UnpackProject() {
    fileLoader_ = MakeFileLoader();
    if (!fileLoader_) {
        ShowError("Can't init fileloader", "P");
        return false;
    }
    return ExtractChannels() && ExtractProjectFiles();
}

FileLoader* ProjectInstaller::MakeFileLoader() {
    if (!engineServices_) return nullptr;
    return static_cast<FileLoader*>(engineServices_->CreateObject(kFileLoaderClass, 0, 0));
}

EngineFileSaver* ProjectInstaller::MakeFileSaver() {
    if (!engineServices_) return nullptr;
    return static_cast<EngineFileSaver*>(engineServices_->CreateObject(kFileSaverClass, 0, 0));
}

void ProjectInstaller::WriteUninstallLog(EngineFileSaver& saver, const char* projectName,
                                         bool skipTag) {
    const std::string logPath = std::string(installPath_) + "\\" + kUninstallLogName;
    // The saver refuses a link planted at the log's name; the user hears of a missing log.
    const bool opened = saver.OpenFile(logPath.c_str(), 0);
    if (opened) WriteUninstallRecords(saver, installedFiles_, createdFolders_, projectName, skipTag);
    if (!saver.CloseFile() || !opened) NoteNotInstalled(kUninstallLogName, "write failure");
}

bool ProjectInstaller::CopyCoreFiles() {
    for (const CoreFile& file : kCoreFiles) {
        if (!ExtractItem(file.name, file.unpack)) {
            if (OutOfSpace()) return false;  // told already
            os::MessageBox(kCopyErrorText, "Installation Error", os::MB_OK | os::MB_ICONERROR);
            return false;
        }
    }
    return true;
}

// The installation cannot go on without the engine core; say why, in the loader's words
// where it gave some.
bool ProjectInstaller::InitEngine() {
    // Exactly the file CopyCoreFiles wrote: another spelling of its name planted beside it
    // (or left by an older installation) is never what runs.
    engineModule_ = os::LoadWrittenLibrary(InstallTree(), "Corvane.dll", std::string(installPath_) + "\\Corvane.dll");
    if (!engineModule_) {
        ShowError("The engine core Corvane.dll could not be loaded:\r\n" + os::LastLibraryError());
        return false;
    }
    auto getControl = reinterpret_cast<GetEngineControlInstanceFunction>(
        os::GetProcAddress(engineModule_, "GetEngineControlInstance"));
    if (!getControl) {
        ShowError("The engine core Corvane.dll has no GetEngineControlInstance.");
        return false;
    }
    engineControl_ = getControl();
    if (!engineControl_) {
        ShowError("The engine core Corvane.dll could not be started.");
        return false;
    }
    engineControl_->SetInstallPath(installPath_);
    const char* className = MainWindowClassName();
    if (!className || !*className) className = kMainWindowClassName;
    if (!engineControl_->Initialize(instance_, className, mainWindow_)) {
        ShowError("The engine core Corvane.dll could not be started.");
        return false;
    }
    engineServices_ = engineControl_->GetEngineServices();
    return true;
}

bool ProjectInstaller::ExtractChannels() {
    // A package cannot list more names than it has entries; a larger count is a damaged
    // one, and walking it out would only read names that are not there.
    const uint32_t entries = packageReader_ ? uint32_t(packageReader_->GetEntryCount()) : 0;

    uint32_t count = 0;
    if (!ReadU32(*this, "ChannelCount", "CHANNELINFO", count)) {
        ShowError("Can't find ChannelCount");
        return false;
    }
    char name[kListTextSize];
    for (uint32_t i = 0; i < count && i < entries; ++i) {
        const std::string key = "ChannelItemNameID" + std::to_string(i);
        if (ReadText(*this, key.c_str(), name, sizeof name, "CHANNELINFO")) ExtractItem(name, true);
        if (OutOfSpace()) return false;
    }

    if (!ReadU32(*this, "ChannelDLLCount", "CHANNELINFO", count)) {
        ShowError("Can't find ChannelCount");
        return false;
    }
    for (uint32_t i = 0; i < count && i < entries; ++i) {
        if (progressWindow_) progressWindow_->SetProgress(float(0.3 + 0.3 * i / count));
        const std::string key = "ChannelDLLItemNameID" + std::to_string(i);
        if (ReadText(*this, key.c_str(), name, sizeof name, "CHANNELINFO")) ExtractItem(name, true);
        if (OutOfSpace()) return false;
    }
    return true;
}

bool ProjectInstaller::ExtractProjectFiles() {
    const uint32_t entries = packageReader_ ? uint32_t(packageReader_->GetEntryCount()) : 0;
    uint32_t count = 0;
    if (!ReadU32(*this, "FileCount", "FILEINFO", count)) {
        ShowError("Can't find FileCount");
        return false;
    }
    char name[kListTextSize];
    for (uint32_t i = 0; i < count && i < entries; ++i) {
        if (progressWindow_) progressWindow_->SetProgress(float(0.6 + 0.3 * i / count));
        const std::string key = "ItemNameID" + std::to_string(i);
        if (!ReadText(*this, key.c_str(), name, sizeof name, "FILEINFO")) continue;
        // Project groups stay KRVF compressed files: the engine reads them as they are.
        ExtractItem(name, std::strstr(name, ".cgr") == nullptr);
        if (OutOfSpace()) return false;
    }
    return true;
}

bool ProjectInstaller::IsDirectX81OrHigher() {
    switch (GetDirectXVersion()) {
    case 0x000: case 0x100: case 0x200: case 0x300: case 0x500:
    case 0x600: case 0x601: case 0x700: case 0x800:
        return false;
    default:
        return true;
    }
}

uint32_t ProjectInstaller::GetDirectXVersion() { return os::GetDirectXVersionCode(); }

int32_t ProjectInstaller::CreateShortcut(const char* target, const char* linkFile,
                                         const char* description, const char* arguments) {
    if (!target || !linkFile) return 1;
    return os::CreateShortcut(target, linkFile, description ? description : "", arguments,
                              installPath_);
}

void ProjectInstaller::WriteUninstallRegistryKey() {
    char name[kSettingTextSize];
    if (!ReadText(*this, "ProjectName", name, sizeof name)) {
        ShowError("Can't find project type ProjectName");
        return;
    }
    const std::string key = kUninstallKeyPrefix + std::string(name);
    if (!os::RegistrySetString(os::RegistryRoot::LocalMachine, key, "DisplayName", name,
                               uint32_t(std::strlen(name)))) {
        ShowError("Error can't write in registry", key.c_str());
        return;
    }
    const std::string uninstaller =
        std::string(installPath_, strnlen(installPath_, kRegistryPathMax)) + "\\VtlUnInst.exe";
    os::RegistrySetString(os::RegistryRoot::LocalMachine, key, "UninstallString",
                          uninstaller.c_str(), uint32_t(uninstaller.size()));
}

void ProjectInstaller::WriteViewerRegistryKey() {
    char name[kSettingTextSize];
    if (!ReadText(*this, "ProjectName", name, sizeof name)) {
        ShowError("Can't find project type ProjectName");
        return;
    }
    const std::string key = std::string(kViewerKeyPrefix) + "\\" + name;
    if (!os::RegistrySetString(os::RegistryRoot::LocalMachine, key, "DisplayName", installPath_,
                               uint32_t(std::strlen(installPath_))))
        ShowError("Error can't write in registry", key.c_str());
}

void ProjectInstaller::LaunchViewer(bool wait) {
    os::Process viewer;
    if (!viewer.Start(kViewerCommandLine)) {
        const std::string code = std::to_string(viewer.LastError());
        os::MessageBox("Unable to start vantrelviewer.exe", code.c_str(), os::MB_OK);
        return;
    }
    if (wait) viewer.WaitPolling(1000);
}

