#include "installer/project_installer.h"

#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "dialogs/progress_window.h"
#include "installer/item_name.h"
#include "installer/package_reader.h"
#include "installer/packed_file.h"
#include "os/file_exists.h"
#include "os/folder.h"
#include "os/message_box.h"
#include "os/native_path.h"
#include "os/path_links.h"
#include "os/temp_folder.h"
#include "os/writable_file.h"

namespace {

constexpr size_t kFolderWalkLimit = 400;
constexpr size_t kTempPathMax = 399;
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
    const std::optional<std::string> temp = os::GetTempFolder();
    if (!temp || temp->size() > kTempPathMax) return false;
    const std::string base = temp->substr(0, kTempBaseMax);
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
    return false;
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

bool ProjectInstaller::ExtractItem(const char* itemName, bool unpack) {
    if (!itemName) return false;
    // Without an install folder the item would land at the root of the file system.
    if (installPath_[0] == '\0' || !IsItemNameInside(itemName) ||
        os::PathCrossesLink(installPath_, itemName))
        return false;
    const std::string path = std::string(installPath_) + "\\" + itemName;
    CreateFoldersAlong(path, kFolderWalkLimit);

    if (!ReadItem(itemName, nullptr, 0, nullptr)) return false;
    const uint8_t* bytes = currentItemData_;
    uint32_t size = currentItemSize_;

    if (unpack && fileLoader_) {
        // The loader takes the stored bytes; what it holds afterwards is what gets written.
        std::unique_ptr<uint8_t[]> stored = packageReader_->TakeData();
        currentItemData_ = nullptr;
        fileLoader_->AttachMemory(stored.release(), size, 1);
        if (fileLoader_->OpenContainer("KRVF", 0) && engineServices_)
            if (EngineDecompression* decompression = engineServices_->GetDecompression())
                decompression->Unpack(fileLoader_);
        bytes = fileLoader_->GetData();
        size = fileLoader_->GetSize();
    } else if (unpack) {
        std::optional<UnpackedFile> unpacked =
            UnpackPackedFile(std::span<const uint8_t>(currentItemData_, currentItemSize_));
        if (!unpacked) return false;
        unpackedItem_ = std::move(unpacked->data);
        currentItemData_ = unpackedItem_.get();
        currentItemSize_ = unpacked->size;
        bytes = currentItemData_;
        size = currentItemSize_;
    }

    os::WritableFile file;
    if (!file.CreateAlways(path)) return false;
    if (IsProgramName(itemName)) file.MakeExecutable();
    const size_t written = size ? file.Write(bytes, size) : 0;
    const bool closed = file.Close();
    // A short write leaves a damaged file behind: report it as a failure too.
    if (written == 0 || written != size || !closed) return false;
    AddText(installedFiles_, path);
    return true;
}
