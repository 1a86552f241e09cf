#include "installer/project_installer.h"

#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "dialogs/progress_window.h"
#include "declared_size.h"
#include "installer/item_name.h"
#include "package/little_endian.h"
#include "package/package_reader.h"
#include "package/packed_file.h"
#include "os/file_exists.h"
#include "os/folder.h"
#include "os/message_box.h"
#include "os/native_path.h"
#include "os/temp_folder.h"
#include "os/folder_tree.h"

namespace {

constexpr size_t kTempBaseMax = 389;
constexpr int kMaxTempFolderNumber = 10000;

// Programs are known by their name's ending, as Windows knows them.
bool IsProgramName(std::string_view name) {
    for (std::string_view ending : {".exe", ".scr"})
        if (name.size() >= ending.size() &&
            os::EqualsIgnoreCase(name.substr(name.size() - ending.size()), ending))
            return true;
    return false;
}

// The unpacked size an entry claims: a KRVF compressed file's "ZIOS" (the engine's
// loader), or the packed file's trailing size. A claim that cannot be read counts as the
// stored size; such an entry does not unpack anyway.
uint64_t DeclaredSize(std::span<const uint8_t> stored, bool compressedFile) {
    if (compressedFile) return DeclaredUnpackedSize(stored).value_or(uint32_t(stored.size()));
    return stored.size() >= 4 ? LoadU32LE(stored.data() + stored.size() - 4) : stored.size();
}

}  // namespace

ProjectInstaller::ProjectInstaller()
    : packageReader_(new (std::nothrow) PackageReader()) {}

ProjectInstaller::~ProjectInstaller() {
    ReleaseEngine();
    progressWindow_.reset();
    packageReader_.reset();
    FreeTexts(installedFiles_);
    FreeTexts(createdFolders_);
}

void ProjectInstaller::SetInstance(InstanceHandle instance, WindowHandle mainWindow) {
    instance_ = instance;
    mainWindow_ = mainWindow;
}

void ProjectInstaller::SetInstallPath(std::string_view path) {
    const size_t n = std::min(path.size(), kInstallPathSize - 1);
    std::memcpy(installPath_, path.data(), n);
    installPath_[n] = '\0';
}

void ProjectInstaller::AddText(PointerArray& list, std::string_view text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    if (list.Add(copy) < 0) delete[] copy;
}

void ProjectInstaller::FreeTexts(PointerArray& list) {
    for (int32_t i = 0; i < list.Count(); ++i) delete[] static_cast<char*>(list.Get(i));
    list.Clear();
}

bool ProjectInstaller::ReadItem(const char* itemName, void* buffer, uint32_t bufferSize,
                                const char* group) {
    if (!packageReader_) return false;
    const bool found = packageReader_->ReadEntry(itemName, buffer, bufferSize, group);
    if (!buffer) {
        unpackedItem_.reset();
        currentItemData_ = packageReader_->GetData();
        currentItemSize_ = packageReader_->GetDataSize();
    }
    return found;
}

bool ProjectInstaller::CreateTempFolder() {
    recordsPaths_ = false;  // a run in place cleans up by itself and writes no log
    const std::optional<std::string> temp = os::GetTempFolder();
    if (!temp) return false;
    // A temporary folder too long for "Vantrel<n>" would be cut short, and the cut name
    // is a folder beside it: take a fresh private folder of the system's /tmp instead.
    if (temp->size() > kTempBaseMax) {
        const std::optional<std::string> fresh = os::CreateFreshPrivateFolder(os::SystemTempFolder() + "Vtl");
        if (fresh) SetInstallPath(*fresh);
        return fresh.has_value();
    }
    const std::string& base = *temp;
    for (int n = 0; n <= kMaxTempFolderNumber; ++n) {
        const std::string candidate = base + "Vantrel" + std::to_string(n);
        // The temporary folder may be shared: a folder someone else made, or can write
        // into, could hand us their files to load and run.
        const bool chosen = os::CreatePrivateFolder(candidate) ||
                            (os::IsPrivateFolder(candidate) &&
                             !os::FileExists(candidate + "\\corvane.dll"));
        if (chosen) {
            SetInstallPath(candidate);
            return true;
        }
    }
    // Every number is someone else's: a fresh folder with a name of mkdtemp's choosing.
    const std::optional<std::string> fresh = os::CreateFreshPrivateFolder(base + "Vtl");
    if (fresh) SetInstallPath(*fresh);
    return fresh.has_value();
}

void ProjectInstaller::CreateFoldersAlong(std::string_view path, size_t limit) {
    std::string copy(path.substr(0, limit));
    for (char& c : copy)
        if (c == '/') c = '\\';
    for (size_t i = 0; i < copy.size(); ++i) {
        if (copy[i] != '\\') continue;
        const std::string_view folder(copy.data(), i + 1);
        // Failure is normal: the folder exists, as every parent of the install path does.
        if (os::CreateFolder(folder)) AddText(createdFolders_, folder);
    }
}

bool ProjectInstaller::HasStoredEntry(const char* itemName) const {
    return packageReader_ && packageReader_->HasEntry(itemName, nullptr);
}

void ProjectInstaller::NoteNotInstalled(std::string_view itemName, std::string_view reason) {
    notInstalled_.emplace_back(std::string(itemName), std::string(reason));
}

void ProjectInstaller::ShowNotInstalled() {
    if (notInstalled_.empty()) return;
    std::string text = "These files could not be installed:";
    for (const auto& [item, reason] : notInstalled_) text += "\r\n" + item + " (" + reason + ")";
    os::MessageBox(text.c_str(), "Installation Warning", os::MB_OK | os::MB_ICONWARNING);
    notInstalled_.clear();
}

bool ProjectInstaller::TakeInstallFolder(std::string_view path) {
    // Every file's path is recorded whole in the uninstall log; a folder that leaves no
    // room for the installer's own files there is refused rather than cut to its parent.
    if (path.size() > kInstallFolderMax) {
        const std::string text = "The folder path has " + std::to_string(path.size()) +
                                 " characters; an installation folder may have at most " +
                                 std::to_string(kInstallFolderMax) + ".\r\nChoose a shorter one; nothing was installed.";
        os::MessageBox(text.c_str(), "Installation Error", os::MB_OK | os::MB_ICONERROR);
        return false;
    }
    SetInstallPath(path);
    const std::string install(installPath_);
    CreateFoldersAlong(install + "\\", std::min(kFolderWalkLimit, install.size() + 1));
    // A folder that cannot be opened is told about by the first file that cannot be written.
    if (!OpenInstallTree() || installTree_.IsPrivateToUser()) return true;
    const std::string text = "The folder " + install +
                             " belongs to another user or others may write into it.\r\n"
                             "Choose a folder of your own; nothing was installed.";
    os::MessageBox(text.c_str(), "Installation Error", os::MB_OK | os::MB_ICONERROR);
    return false;
}

bool ProjectInstaller::OpenInstallTree() {
    if (installTree_.IsOpen() && installTreePath_ == installPath_) return true;
    installTreePath_ = installPath_;
    return installTree_.Open(installPath_);
}

bool ProjectInstaller::ExtractItem(const char* itemName, bool unpack) {
    if (!itemName) return false;
    // Without an install folder the item would land at the root of the file system.
    if (installPath_[0] == '\0' || !IsItemNameInside(itemName)) {
        NoteNotInstalled(itemName, os::WriteStatusText(os::WriteStatus::Refused));
        return false;
    }
    const std::string install(installPath_);
    const std::string path = install + "\\" + itemName;
    // The uninstall log holds a path of at most kRecordedPathMax characters; a file whose
    // path it would cut could never be removed again.
    if (recordsPaths_ && path.size() > kRecordedPathMax) {
        NoteNotInstalled(itemName, "path longer than " + std::to_string(kRecordedPathMax) + " characters");
        return false;
    }
    // The install folder and its parents are the user's choice and are made by path; below
    // it every folder is made and entered without following a link (see FolderTree).
    CreateFoldersAlong(path, std::min(kFolderWalkLimit, install.size() + 1));
    if (!OpenInstallTree()) {
        NoteNotInstalled(itemName, os::WriteStatusText(os::WriteStatus::Failed));
        return false;
    }

    if (!ReadItem(itemName, nullptr, 0, nullptr)) {
        // Missing entries are the package's choice; a damaged one is worth telling.
        if (HasStoredEntry(itemName)) NoteNotInstalled(itemName, "CRC error");
        return false;
    }
    const uint8_t* bytes = currentItemData_;
    uint32_t size = currentItemSize_;
    // What the entry says it unpacks to counts against the whole package before anything is
    // inflated: a small package may not fill the disk.
    const uint64_t declared = unpack ? DeclaredSize(std::span<const uint8_t>(bytes, size), fileLoader_ != nullptr) : size;
    if (unpackedTotal_ + declared > kPackageUnpackedLimit) {
        NoteNotInstalled(itemName, "the package unpacks to more than " +
                                       std::to_string(kPackageUnpackedLimit >> 20) + " MiB in all");
        return false;
    }
    unpackedTotal_ += declared;

    if (unpack && fileLoader_) {
        // The loader takes the stored bytes; what it holds afterwards is what gets written.
        std::unique_ptr<uint8_t[]> stored = packageReader_->TakeData();
        currentItemData_ = nullptr;
        fileLoader_->AttachMemory(stored.release(), size, 1);
        EngineDecompression* decompression =
            engineServices_ ? engineServices_->GetDecompression() : nullptr;
        // An entry that does not unpack would go on disk as its stored bytes, a file that
        // looks installed and is not what the package meant: it is not installed at all.
        if (!fileLoader_->OpenContainer("KRVF", 0) || !decompression ||
            !decompression->Unpack(fileLoader_)) {
            NoteNotInstalled(itemName, "cannot be unpacked");
            return false;
        }
        bytes = fileLoader_->GetData();
        size = fileLoader_->GetSize();
    } else if (unpack) {
        std::optional<UnpackedFile> unpacked =
            UnpackPackedFile(std::span<const uint8_t>(currentItemData_, currentItemSize_));
        if (!unpacked) {
            NoteNotInstalled(itemName, "cannot be unpacked");
            return false;
        }
        unpackedItem_ = std::move(unpacked->data);
        currentItemData_ = unpackedItem_.get();
        currentItemSize_ = unpacked->size;
        bytes = currentItemData_;
        size = currentItemSize_;
    }
    // Nothing to write is a failure, as a write of 0 bytes is; no empty file is left.
    if (size == 0) {
        NoteNotInstalled(itemName, "empty");
        return false;
    }

    const size_t folderStart = install.size() + 1;
    const os::WriteStatus status = installTree_.WriteFile(
        itemName, std::span<const uint8_t>(bytes, size), IsProgramName(itemName),
        [&](size_t separator) {
            std::string folder = path.substr(0, folderStart + separator + 1);
            for (char& c : folder)
                if (c == '/') c = '\\';
            AddText(createdFolders_, folder);
        },
        kFolderWalkLimit > folderStart ? kFolderWalkLimit - folderStart : 0);
    if (status != os::WriteStatus::Written) {
        if (status == os::WriteStatus::NoSpace && !outOfSpace_) {
            outOfSpace_ = true;
            const std::string text =
                "There is not enough free disk space to install " + std::string(itemName) +
                ".\r\nThe installation stops here.";
            os::MessageBox(text.c_str(), "Installation Error", os::MB_OK | os::MB_ICONERROR);
        }
        NoteNotInstalled(itemName, os::WriteStatusText(status));
        return false;
    }
    AddText(installedFiles_, path);
    return true;
}
