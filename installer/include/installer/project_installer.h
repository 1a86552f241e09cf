// One installation run: made by a runner of the dispatcher, it reads the package, writes
// files under the install path and records what it created. Its steps call one another
// through the virtual operations below, whose order is fixed:
//   destructor, SetInstance, CreateTempFolder, ReadItem, RunInPlace, CopyCoreFiles,
//   ExtractItem, InitEngine, ExtractChannels, ExtractProjectFiles, LaunchViewer,
//   CleanupTempFolder, IsDirectX81OrHigher, GetDirectXVersion, InstallStandard,
//   CreateShortcut, WriteViewerRegistryKey, WriteUninstallRegistryKey, InstallScreensaver,
//   CopyScreensaverToSystem, InstallWinampPlugin.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "installer/engine_objects.h"
#include "installer/handles.h"
#include "package/package_reader.h"
#include "package/pointer_array.h"
#include "os/folder_tree.h"
#include "os/shared_library.h"

class ProgressWindow;

class ProjectInstaller {
public:
    static constexpr size_t kInstallPathSize = 400;  // at most 399 characters
    // Separators at or past this index make no folders: a path's first 400 characters.
    static constexpr size_t kFolderWalkLimit = 400;
    // The longest file path the uninstall log records whole (its records hold 259 bytes,
    // the last a NUL), and the longest install folder a typed or chosen path may name: room
    // for "\channels\" and a channel library's GUID name below it.
    static constexpr size_t kRecordedPathMax = 258;
    static constexpr size_t kInstallFolderMax = 200;
    // What one installation may unpack in all (each entry also stops at 1 GiB).
    static constexpr uint64_t kPackageUnpackedLimit = uint64_t(2) << 30;

    // Opens the package of the running program at once (a reader that cannot be made
    // stays absent, and every ReadItem then fails).
    ProjectInstaller();
    virtual ~ProjectInstaller();
    ProjectInstaller(const ProjectInstaller&) = delete;
    ProjectInstaller& operator=(const ProjectInstaller&) = delete;

    virtual void SetInstance(InstanceHandle instance, WindowHandle mainWindow);
    // Chooses a fresh private folder "Vantrel<n>" in the user's temporary folder and makes
    // it the install path. A folder that exists is taken again only when it is ours, nobody
    // else can write to it and it holds no "corvane.dll".
    virtual bool CreateTempFolder();
    // Reads an entry of `group` (null: "APPDATA"). Without a buffer the whole entry becomes
    // the current item.
    virtual bool ReadItem(const char* itemName, void* buffer, uint32_t bufferSize,
                          const char* group);
    virtual bool RunInPlace();
    virtual bool CopyCoreFiles();
    // Writes the "APPDATA" entry `itemName` as install path + "\" + itemName, creating the
    // folders along the way; `unpack` says it is stored packed. Refuses (false, nothing
    // written) a name that would land outside the install folder or pass through a
    // symbolic link, a file this run wrote already, and an entry that does not unpack.
    // Every entry present in the package but not installed is noted for ShowNotInstalled.
    virtual bool ExtractItem(const char* itemName, bool unpack);
    virtual bool InitEngine();
    virtual bool ExtractChannels();
    virtual bool ExtractProjectFiles();
    virtual void LaunchViewer(bool wait);
    virtual void CleanupTempFolder();
    virtual bool IsDirectX81OrHigher();
    virtual uint32_t GetDirectXVersion();
    virtual bool InstallStandard();
    // The result code of saving the link (0 when it was saved).
    virtual int32_t CreateShortcut(const char* target, const char* linkFile,
                                   const char* description, const char* arguments);
    virtual void WriteViewerRegistryKey();
    virtual void WriteUninstallRegistryKey();
    virtual bool InstallScreensaver();
    virtual void CopyScreensaverToSystem();
    virtual bool InstallWinampPlugin();

    const char* InstallPath() const { return installPath_; }
    // Copies at most 399 characters.
    void SetInstallPath(std::string_view path);
    // The texts of the installed-files list (every file written, in order) and of the
    // created-folders list (in creation order, each with its trailing backslash).
    const PointerArray& InstalledFiles() const { return installedFiles_; }
    const PointerArray& CreatedFolders() const { return createdFolders_; }
    const uint8_t* CurrentItemData() const { return currentItemData_; }
    uint32_t CurrentItemSize() const { return currentItemSize_; }

protected:
    // The settings a project type reads first, each a one-byte value or a text read into a
    // 259-byte buffer (its last byte forced to NUL).
    struct ByteSetting {
        const char* name;
        uint8_t* value;
    };
    struct TextSetting {
        const char* name;
        char* buffer;  // 259 bytes
    };
    // Reads `bytes`, then `texts`, in the order given; the first one missing is shown
    // ("Can't find project type <name>") and gives false.
    bool ReadSettings(std::initializer_list<ByteSetting> bytes,
                      std::initializer_list<TextSetting> texts = {});
    // The options dialog titled after `projectName` proposes `proposedPath`; the folder
    // chosen becomes the install path (anchored when relative), the progress window opens
    // and the current folder moves into it. False when the dialog was not answered with
    // "Install" or the folder was refused (the user told).
    bool ChooseInstallFolder(const char* proposedPath, const char* projectName);
    // Unpacks "VantrelViewer.exe"; false, the user told, when it is not there or did not fit.
    bool ExtractViewer();
    // Appends an owned copy of `text` to `list`.
    static void AddText(PointerArray& list, std::string_view text);
    static void FreeTexts(PointerArray& list);
    // Destroys the file loader and the engine control and unloads the engine core, each
    // only if present; the fields are cleared.
    void ReleaseEngine();
    // Lets go of the engine when the handler leaves its scope, on every way out.
    class EngineOwner {
    public:
        explicit EngineOwner(ProjectInstaller& installer) : installer_(installer) {}
        ~EngineOwner() { installer_.ReleaseEngine(); }
        EngineOwner(const EngineOwner&) = delete;
        EngineOwner& operator=(const EngineOwner&) = delete;

    private:
        ProjectInstaller& installer_;
    };
    // Shows the progress window ("Installing...") at 0.
    void OpenProgressWindow();
    // Makes the engine's file loader and unpacks the listed channels and project files
    // through it; false, the user told, when the loader cannot be made or a list is broken.
    bool UnpackProject();
    // The screensaver and Winamp types' start once the folder is chosen: the core files,
    // the engine core loaded from them (the caller's EngineOwner lets go of it), the
    // uninstaller. False, the user told, when the core files or the engine fail.
    bool InstallCoreAndEngine();
    // Their configuration file `fileName` in the install folder, written through the
    // engine's file saver by `writeRecords`, then the uninstall log ending in "UNSK". When
    // `writeRecords` gives false (the user told), the file stays as far as it was written,
    // no log is written and the result is false.
    bool WriteConfigurationAndLog(const char* fileName, const char* projectName,
                                  const std::function<bool(EngineFileSaver&)>& writeRecords);
    // The screensaver and Winamp types' ending: the engine let go of, the viewer and
    // uninstall keys, the progress window closed at 0.95, the warning box, the success box.
    void FinishInstallation(const char* projectName);
    // The engine's file loader and file saver, made through its services object; null
    // when the engine gave no services object or made none.
    FileLoader* MakeFileLoader();
    EngineFileSaver* MakeFileSaver();
    // Opens install path + "\uninstall.nfo" with `saver`, writes the log's records (ending
    // in the bare "UNSK" when `skipTag`) and closes it; nothing when it does not open.
    void WriteUninstallLog(EngineFileSaver& saver, const char* projectName, bool skipTag);
    // Makes `path` the install path, the folder made where missing. False, the user told,
    // when the folder is someone else's or others may write into it: they could plant the
    // files the installer loads and runs.
    bool TakeInstallFolder(std::string_view path);
    // Creates every folder along `path` (its first `limit` characters, '/' read as '\'),
    // recording each one that is new in the created-folders list.
    void CreateFoldersAlong(std::string_view path, size_t limit);
    // One warning box naming every entry noted as not installed, and why; nothing when all
    // went in. Shown before the installation's last box.
    void ShowNotInstalled();
    void NoteNotInstalled(std::string_view itemName, std::string_view reason);
    // True once a file did not fit on the disk: the installation stops.
    bool OutOfSpace() const { return outOfSpace_; }
    // The install folder as ExtractItem writes into it (and knows what it wrote).
    const os::FolderTree& InstallTree() const { return installTree_; }

    InstanceHandle instance_ = nullptr;
    os::LibraryHandle engineModule_ = nullptr;
    char installPath_[kInstallPathSize] = {};
    uint8_t* currentItemData_ = nullptr;
    uint32_t currentItemSize_ = 0;
    EngineControl* engineControl_ = nullptr;
    EngineServices* engineServices_ = nullptr;
    FileLoader* fileLoader_ = nullptr;
    WindowHandle mainWindow_ = nullptr;
    PointerArray installedFiles_;  // owned char[] texts
    PointerArray createdFolders_;  // owned char[] texts
    std::unique_ptr<ProgressWindow> progressWindow_;
    std::unique_ptr<PackageReader> packageReader_;
    // The inflated form of a packed file while it is the current item.
    std::unique_ptr<uint8_t[]> unpackedItem_;

private:
    bool HasStoredEntry(const char* itemName) const;
    // Opens the install folder for FolderTree writes (again when the install path changed).
    bool OpenInstallTree();

    os::FolderTree installTree_;
    std::string installTreePath_;
    std::vector<std::pair<std::string, std::string>> notInstalled_;  // item, why not
    bool outOfSpace_ = false;
    uint64_t unpackedTotal_ = 0;  // what the entries unpacked so far said they would
    bool recordsPaths_ = true;  // the files written go into an uninstall log
};
