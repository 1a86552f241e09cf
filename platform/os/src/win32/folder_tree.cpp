// Writing below a folder on Windows. Each folder on the way is opened relative to the
// handle of the folder before it (NtCreateFile with the held handle as the root, as openat
// starts from a descriptor), never following a reparse point (junction, symbolic link), and
// checked through that handle and its parent's listing; it is held open without delete
// sharing, so it cannot be renamed or swapped while we work in it. No step re-derives a
// path from a held handle: a name the system gives for a handle can be stale once someone
// has moved the folder behind the system's back. Files go to a temporary name made in
// their folder and are renamed into place relative to the same handle.
#include "os/folder_tree.h"

#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <cerrno>
#include <vector>

#include "os/native_path.h"
#include "private_access.h"
#include "win32_util.h"

// Listing one entry of a held folder; mingw's winternl.h leaves this one out.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                               FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);

namespace os {
namespace {

using win32::FinalPath;
using win32::Handle;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

struct Component {
    std::string name;
    size_t end;  // index of the separator after it; npos for the last one
};

std::vector<Component> Components(std::string_view path) {
    std::vector<Component> out;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        if (i > start)
            out.push_back({std::string(path.substr(start, i - start)),
                           i < path.size() ? i : std::string_view::npos});
        start = i + 1;
    }
    return out;
}

// Opens an entry itself, never what a reparse point there leads to.
HANDLE OpenEntry(const std::wstring& path, DWORD access, DWORD share) {
    return ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

constexpr NTSTATUS kNameCollision = NTSTATUS(0xC0000035L);  // STATUS_OBJECT_NAME_COLLISION

// A name a folder can hold as one entry: no separator, no wildcard (the listing look-up
// takes the name as a pattern), no stream suffix, and no trailing dot or space (the
// system's own calls strip those, so such a file could not be reached again by its name).
bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name.size() <= 255 && name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos &&
           name.back() != L'.' && name.back() != L' ';
}

// Opens `name` in the folder `folder` holds, by that handle (an empty name opens the folder
// itself anew), never following a reparse point. Null with `status` on failure.
HANDLE OpenIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
              ULONG options, NTSTATUS& status) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = USHORT(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE h = nullptr;
    status = ::NtCreateFile(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                            disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT,
                            nullptr, 0);
    return NT_SUCCESS(status) ? h : nullptr;
}

DWORD ErrorOf(NTSTATUS status) { return ::RtlNtStatusToDosError(status); }

// The entry `name` as the listing of the held folder shows it.
struct Listed {
    bool found = false;
    ULONG attributes = 0;
    uint64_t id = 0;
};
Listed ListedEntry(HANDLE folder, const std::wstring& name) {
    Listed out;
    // A listing handle takes its pattern once: each look-up opens the folder anew.
    NTSTATUS status;
    Handle listing(OpenIn(folder, L"", FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          FILE_OPEN, FILE_DIRECTORY_FILE, status));
    if (!listing.Valid()) return out;
    alignas(8) unsigned char buffer[sizeof(FILE_ID_BOTH_DIR_INFORMATION) + 256 * sizeof(wchar_t)];
    UNICODE_STRING pattern;
    pattern.Buffer = const_cast<PWSTR>(name.c_str());
    pattern.Length = pattern.MaximumLength = USHORT(name.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io;
    if (!NT_SUCCESS(::NtQueryDirectoryFile(listing.Get(), nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                           FileIdBothDirectoryInformation, TRUE, &pattern, TRUE)))
        return out;
    const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(buffer);
    out.found = true;
    out.attributes = entry->FileAttributes;
    out.id = uint64_t(entry->FileId.QuadPart);
    return out;
}

enum class Entry { Missing, Folder, File, Link, Unreadable };

Entry Inspect(HANDLE h, BY_HANDLE_FILE_INFORMATION* info = nullptr) {
    BY_HANDLE_FILE_INFORMATION own;
    if (!info) info = &own;
    if (!::GetFileInformationByHandle(h, info)) return Entry::Unreadable;
    if (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Entry::Link;
    return (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Entry::Folder : Entry::File;
}

// Inspect for an entry opened by `path`: an entry whose handle names another place was
// reached through a link all the same. (Wine shows a link of the host's file system as a
// reparse point to path look-ups only; opened, it is what it leads to, under that name.)
Entry InspectAt(HANDLE h, const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info = nullptr) {
    const Entry entry = Inspect(h, info);
    if (entry != Entry::Folder && entry != Entry::File) return entry;
    const std::wstring real = FinalPath(h);
    const bool same = ::CompareStringOrdinal(real.data(), int(real.size()), path.data(), int(path.size()), TRUE) ==
                      CSTR_EQUAL;
    return same ? entry : Entry::Link;
}

Entry InspectPath(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info = nullptr) {
    Handle h(OpenEntry(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    if (!h.Valid()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Entry::Missing
                                                                              : Entry::Unreadable;
    }
    return InspectAt(h.Get(), path, info);
}

uint64_t FileKey(const BY_HANDLE_FILE_INFORMATION& info) {
    return uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
}

// Inspect for the entry `name` opened in the held folder: it must still be the very entry
// the folder lists under that name, and the listing must not call it a reparse point.
// (Wine opens a link of the host's file system as what it leads to; only the listing shows
// it as a reparse point. A folder swapped back after the open lists another file id.)
Entry InspectIn(HANDLE folder, const std::wstring& name, HANDLE h, BY_HANDLE_FILE_INFORMATION* info = nullptr) {
    BY_HANDLE_FILE_INFORMATION own;
    if (!info) info = &own;
    const Entry entry = Inspect(h, info);
    if (entry != Entry::Folder && entry != Entry::File) return entry;
    const Listed listed = ListedEntry(folder, name);
    if (!listed.found || (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return Entry::Link;
    // Some file systems list no ids; the reparse flag is all they tell.
    if (listed.id != 0 && listed.id != FileKey(*info)) return Entry::Link;
    return entry;
}

// Opens the folder `name` inside the held folder, refusing a reparse point; the handle
// keeps it where it is (no delete sharing).
HANDLE EnterFolder(HANDLE parent, const std::string& name, DWORD& error) {
    const std::wstring wide = win32::Widen(name);
    if (!IsPlainName(wide)) {
        error = ERROR_INVALID_NAME;
        return INVALID_HANDLE_VALUE;
    }
    NTSTATUS status;
    HANDLE h = OpenIn(parent, wide, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, FILE_DIRECTORY_FILE, status);
    if (!h) {
        error = ErrorOf(status);
        return INVALID_HANDLE_VALUE;
    }
    const Entry entry = InspectIn(parent, wide, h);
    if (entry != Entry::Folder) {
        ::CloseHandle(h);
        error = entry == Entry::Link ? ERROR_CANT_ACCESS_FILE : ERROR_DIRECTORY;
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

WriteStatus FromError(DWORD error) {
    switch (error) {
    case ERROR_CANT_ACCESS_FILE: errno = ELOOP; return WriteStatus::Refused;
    case ERROR_DIRECTORY: errno = ENOTDIR; return WriteStatus::Refused;
    case ERROR_INVALID_NAME: errno = EINVAL; return WriteStatus::Refused;
    case ERROR_FILENAME_EXCED_RANGE: errno = ENAMETOOLONG; return WriteStatus::NameTooLong;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; return WriteStatus::NoSpace;
    case ERROR_ACCESS_DENIED: errno = EACCES; return WriteStatus::Failed;
    default: errno = EIO; return WriteStatus::Failed;
    }
}

// The entry `name` in the held folder, opened for its attributes only; Missing when absent.
Entry InspectName(HANDLE folder, const std::wstring& name, BY_HANDLE_FILE_INFORMATION* info = nullptr) {
    NTSTATUS status;
    Handle h(OpenIn(folder, name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    FILE_OPEN, 0, status));
    if (!h.Valid()) {
        const DWORD error = ErrorOf(status);
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Entry::Missing : Entry::Unreadable;
    }
    return InspectIn(folder, name, h.Get(), info);
}

// Renames the open file `file` to `name` in the held folder, replacing what is there.
NTSTATUS RenameInto(HANDLE file, HANDLE folder, const std::wstring& name) {
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFORMATION) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = folder;
    rename->FileNameLength = ULONG(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    IO_STATUS_BLOCK io;
    return ::NtSetInformationFile(file, &io, rename, ULONG(buffer.size()), FileRenameInformation);
}

bool MarkForDeletion(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Writes the file `asked` in the held folder through a temporary name beside it.
WriteStatus WriteInFolder(HANDLE folder, const std::string& asked, std::span<const uint8_t> bytes,
                          std::set<std::pair<uint64_t, uint64_t>>* written) {
    if (asked == "." || asked == "..") return WriteStatus::Refused;
    if (asked.size() > 255) return WriteStatus::NameTooLong;
    const std::wstring name = win32::Widen(asked);
    if (!IsPlainName(name)) return FromError(ERROR_INVALID_NAME);
    BY_HANDLE_FILE_INFORMATION info;
    switch (InspectName(folder, name, &info)) {
    case Entry::Link: errno = ELOOP; return WriteStatus::Refused;
    case Entry::Folder: errno = EISDIR; return WriteStatus::Failed;
    case Entry::File:
        if (written && written->count({info.dwVolumeSerialNumber, FileKey(info)}))
            return WriteStatus::AlreadyWritten;
        break;
    default: break;
    }
    // The free space is only read here: a stale name for the folder costs nothing.
    ULARGE_INTEGER available;
    const std::wstring base = FinalPath(folder);
    if (!base.empty() && ::GetDiskFreeSpaceExW((base + L"\\").c_str(), &available, nullptr, nullptr) &&
        available.QuadPart < bytes.size())
        return WriteStatus::NoSpace;

    static std::atomic<unsigned> counter{0};
    Handle file;
    for (int attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
        const std::wstring temp = L".vtl" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(counter++) + L".tmp";
        NTSTATUS status;
        file.Reset(OpenIn(folder, temp, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE,
                          FILE_NON_DIRECTORY_FILE, status));
        if (!file.Valid() && status != kNameCollision) return FromError(ErrorOf(status));
    }
    if (!file.Valid()) return WriteStatus::Failed;
    WriteStatus status = WriteStatus::Written;
    for (size_t done = 0; done < bytes.size() && status == WriteStatus::Written;) {
        DWORD wrote = 0;
        const DWORD ask = DWORD(std::min<size_t>(bytes.size() - done, 1u << 30));
        if (!::WriteFile(file.Get(), bytes.data() + done, ask, &wrote, nullptr) || wrote == 0)
            status = FromError(::GetLastError());
        done += wrote;
    }
    BY_HANDLE_FILE_INFORMATION own{};
    if (status == WriteStatus::Written &&
        (!::FlushFileBuffers(file.Get()) || !::GetFileInformationByHandle(file.Get(), &own)))
        status = WriteStatus::Failed;
    // A library the process loaded from the old file keeps running from it; the name moves.
    if (status == WriteStatus::Written) {
        const NTSTATUS renamed = RenameInto(file.Get(), folder, name);
        if (!NT_SUCCESS(renamed)) status = FromError(ErrorOf(renamed));
    }
    // Only what the folder now lists under the name counts as written: a system that
    // renames by path (Wine does) may have been sent elsewhere by a folder moved meanwhile.
    BY_HANDLE_FILE_INFORMATION landed;
    if (status == WriteStatus::Written &&
        (InspectName(folder, name, &landed) != Entry::File || FileKey(landed) != FileKey(own) ||
         landed.dwVolumeSerialNumber != own.dwVolumeSerialNumber)) {
        errno = EIO;
        return WriteStatus::Failed;
    }
    if (status != WriteStatus::Written) {
        MarkForDeletion(file.Get());
        return status;
    }
    if (written) written->insert({own.dwVolumeSerialNumber, FileKey(own)});
    return status;
}

std::optional<std::vector<uint8_t>> ReadIn(HANDLE folder, const std::string& asked, size_t limit) {
    const std::wstring name = win32::Widen(asked);
    if (!IsPlainName(name)) return std::nullopt;
    NTSTATUS status;
    Handle file(OpenIn(folder, name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE, status));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.Valid() || InspectIn(folder, name, file.Get(), &info) != Entry::File) return std::nullopt;
    const uint64_t size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    if (size > limit) return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (size_t done = 0; done < bytes.size();) {
        DWORD got = 0;
        const DWORD ask = DWORD(std::min<size_t>(bytes.size() - done, 1u << 30));
        if (!::ReadFile(file.Get(), bytes.data() + done, ask, &got, nullptr) || got == 0)
            return std::nullopt;
        done += got;
    }
    return bytes;
}

// The folder of a full system path, opened (links in it are the user's and followed), and
// the final name in it.
HANDLE OpenParent(std::string_view path, std::string& name) {
    const std::string native = NativePath(path);
    const size_t slash = native.find_last_of('\\');
    if (native.empty() || slash + 1 == native.size()) return INVALID_HANDLE_VALUE;
    name = native.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : native.substr(0, slash + (slash == 2 ? 1 : 0));
    return ::CreateFileW(win32::Widen(folder.empty() ? "\\" : folder).c_str(), FILE_LIST_DIRECTORY,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

const char* WriteStatusText(WriteStatus status) {
    switch (status) {
    case WriteStatus::Written: return "written";
    case WriteStatus::Refused: return "name refused";
    case WriteStatus::AlreadyWritten: return "already written by this installation";
    case WriteStatus::NoSpace: return "not enough free disk space";
    case WriteStatus::NameTooLong: return "name too long for the file system";
    case WriteStatus::Failed: return "write failure";
    }
    return "write failure";
}

FolderTree::~FolderTree() { Close(); }

void FolderTree::Close() {
    win32::CloseDescriptor(fd_);
    fd_ = -1;
    realPath_.clear();
    written_.clear();
}

bool FolderTree::Open(std::string_view basePath) {
    Close();
    if (basePath.empty()) return false;
    // The base may be reached through links: the user chose it.
    Handle base(::CreateFileW(win32::WidePath(basePath).c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!base.Valid() || Inspect(base.Get()) != Entry::Folder) return false;
    realPath_ = win32::Narrow(FinalPath(base.Get()));
    fd_ = win32::DescriptorFor(base.Release());
    return fd_ >= 0;
}

std::optional<std::string> FolderTree::RelativePart(std::string_view systemPath) const {
    if (fd_ < 0 || realPath_.empty()) return std::nullopt;
    const std::string normal = NormalizeSeparators(systemPath);
    auto resolvesToBase = [&](const std::string& prefix) {
        Handle h(::CreateFileW(win32::Widen(prefix).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return h.Valid() && EqualsIgnoreCase(win32::Narrow(FinalPath(h.Get())), realPath_);
    };
    for (size_t cut = normal.find('\\'); cut != std::string::npos; cut = normal.find('\\', cut + 1)) {
        if (cut == 0 || (cut == 2 && normal[1] == ':')) continue;  // the root itself
        if (resolvesToBase(normal.substr(0, cut))) {
            std::string rest = normal.substr(cut + 1);
            for (char& c : rest)
                if (c == '\\') c = '/';
            return rest;
        }
    }
    if (resolvesToBase(normal)) return std::string();
    return std::nullopt;
}

FolderTree::RemoveStatus FolderTree::EnterParent(std::string_view relative, int& folder,
                                                 std::string& last) const {
    folder = -1;
    if (fd_ < 0) return RemoveStatus::Failed;
    const std::vector<Component> parts = Components(relative);
    if (parts.empty()) return RemoveStatus::Refused;
    for (const Component& part : parts)
        if (part.name == "..") return RemoveStatus::Refused;
    HANDLE self = ::GetCurrentProcess();
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(self, win32::HandleOf(fd_), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return RemoveStatus::Failed;
    Handle held(copy);
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].name == ".") continue;
        DWORD error = 0;
        HANDLE next = EnterFolder(held.Get(), parts[i].name, error);
        if (next == INVALID_HANDLE_VALUE)
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RemoveStatus::Missing
                                                                                  : RemoveStatus::Refused;
        held.Reset(next);
    }
    last = parts.back().name;
    if (last == ".") return RemoveStatus::Refused;
    folder = win32::DescriptorFor(held.Release());
    return folder >= 0 ? RemoveStatus::Removed : RemoveStatus::Failed;
}

namespace {
// The entry `name` in the folder a descriptor holds.
std::wstring InFolder(int folder, const std::string& name) {
    return FinalPath(win32::HandleOf(folder)) + L"\\" + win32::Widen(name);
}
struct HeldDescriptor {
    int fd;
    ~HeldDescriptor() { win32::CloseDescriptor(fd); }
};
}  // namespace

std::optional<std::vector<uint8_t>> FolderTree::ReadFile(std::string_view relative, size_t limit) const {
    int folder;
    std::string name;
    if (EnterParent(relative, folder, name) != RemoveStatus::Removed) return std::nullopt;
    HeldDescriptor held{folder};
    return ReadIn(win32::HandleOf(folder), name, limit);
}

FolderTree::RemoveStatus FolderTree::RemoveFile(std::string_view relative) {
    int folder;
    std::string name;
    if (const RemoveStatus entered = EnterParent(relative, folder, name); entered != RemoveStatus::Removed)
        return entered;
    HeldDescriptor held{folder};
    const HANDLE parent = win32::HandleOf(folder);
    const std::wstring wide = win32::Widen(name);
    if (!IsPlainName(wide)) return RemoveStatus::Refused;
    NTSTATUS status;
    Handle entry(OpenIn(parent, wide, DELETE | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, 0, status));
    if (!entry.Valid()) {
        const DWORD error = ErrorOf(status);
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RemoveStatus::Missing
                                                                              : RemoveStatus::Failed;
    }
    // A link the system opens as a link (a junction, a symbolic link) is removed as the
    // link. What opens as a folder is not ours to remove here, and neither is what the
    // folder lists as a link but opens as its target: Wine opens a link of the host's file
    // system so, and would remove what it leads to.
    switch (Inspect(entry.Get())) {
    case Entry::Link: break;
    case Entry::File:
        if (InspectIn(parent, wide, entry.Get()) != Entry::File) return RemoveStatus::Refused;
        break;
    default: return RemoveStatus::Refused;
    }
    return MarkForDeletion(entry.Get()) ? RemoveStatus::Removed : RemoveStatus::Failed;
}

FolderTree::RemoveStatus FolderTree::RemoveFileIf(
    std::string_view relative, size_t limit, const std::function<bool(const std::vector<uint8_t>&)>& isOurs) {
    int folder;
    std::string name;
    if (const RemoveStatus entered = EnterParent(relative, folder, name); entered != RemoveStatus::Removed)
        return entered;
    HeldDescriptor held{folder};
    const HANDLE parent = win32::HandleOf(folder);
    const std::wstring wide = win32::Widen(name);
    if (!IsPlainName(wide)) return RemoveStatus::Refused;
    // Opened once, for reading and deleting, with no sharing: the file read is the file
    // that goes, and nobody can swap another in under the name meanwhile.
    NTSTATUS status;
    Handle file(OpenIn(parent, wide, GENERIC_READ | DELETE, 0, FILE_OPEN, FILE_NON_DIRECTORY_FILE, status));
    if (!file.Valid()) {
        const DWORD error = ErrorOf(status);
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RemoveStatus::Missing
                                                                              : RemoveStatus::Refused;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (InspectIn(parent, wide, file.Get(), &info) != Entry::File) return RemoveStatus::Refused;
    const uint64_t size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    if (size > limit) return RemoveStatus::Refused;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (size_t done = 0; done < bytes.size();) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, DWORD(bytes.size() - done), &got, nullptr) || got == 0)
            return RemoveStatus::Refused;
        done += got;
    }
    if (!isOurs(bytes)) return RemoveStatus::Refused;
    return MarkForDeletion(file.Get()) ? RemoveStatus::Removed : RemoveStatus::Failed;
}

FolderTree::RemoveStatus FolderTree::RemoveFolder(std::string_view relative) {
    if (Components(relative).empty()) {
        if (realPath_.empty()) return RemoveStatus::Failed;
        // Our own handle holds the folder; let it go first.
        win32::CloseDescriptor(fd_);
        fd_ = -1;
        return ::RemoveDirectoryW(win32::Widen(realPath_).c_str()) ? RemoveStatus::Removed : RemoveStatus::Failed;
    }
    int folder;
    std::string name;
    if (const RemoveStatus entered = EnterParent(relative, folder, name); entered != RemoveStatus::Removed)
        return entered;
    HeldDescriptor held{folder};
    const std::wstring path = InFolder(folder, name);
    const Entry entry = InspectPath(path);
    if (entry == Entry::Missing) return RemoveStatus::Missing;
    if (entry != Entry::Folder) return RemoveStatus::Refused;
    return ::RemoveDirectoryW(path.c_str()) ? RemoveStatus::Removed : RemoveStatus::Failed;
}

int FolderTree::OpenWritten(std::string_view relative) const {
    int folder;
    std::string name;
    if (EnterParent(relative, folder, name) != RemoveStatus::Removed) return -1;
    HeldDescriptor held{folder};
    // Shared for reading only: while the caller holds it, the file can be neither changed,
    // renamed nor deleted, so what it loads through the handle's path is this file.
    const HANDLE parent = win32::HandleOf(folder);
    const std::wstring wide = win32::Widen(name);
    if (!IsPlainName(wide)) return -1;
    NTSTATUS status;
    Handle file(OpenIn(parent, wide, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE, status));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.Valid() || InspectIn(parent, wide, file.Get(), &info) != Entry::File ||
        !written_.count({info.dwVolumeSerialNumber, FileKey(info)}))
        return -1;
    return win32::DescriptorFor(file.Release());
}

bool FolderTree::IsPrivateToUser() const {
    if (fd_ < 0) return false;
    const std::wstring path = FinalPath(win32::HandleOf(fd_));
    return !path.empty() && win32::IsOwnerOnlyFolder(path);
}

WriteStatus FolderTree::WriteFile(std::string_view relative, std::span<const uint8_t> bytes,
                                  bool executable, const FolderCreated& created,
                                  size_t createLimit) {
    (void)executable;  // Windows runs a program by its name's ending
    if (fd_ < 0) return WriteStatus::Failed;
    const std::vector<Component> parts = Components(relative);
    if (parts.empty() || parts.back().end != std::string_view::npos) return WriteStatus::Failed;
    // Every folder on the way stays held until the file is in place.
    std::vector<std::unique_ptr<Handle>> path;
    HANDLE folder = win32::HandleOf(fd_);
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].name == ".") continue;
        if (parts[i].name == "..") return WriteStatus::Refused;
        if (parts[i].end < createLimit) {
            const std::wstring wide = win32::Widen(parts[i].name);
            if (!IsPlainName(wide)) return FromError(ERROR_INVALID_NAME);
            NTSTATUS status;
            Handle made(OpenIn(folder, wide, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                               FILE_DIRECTORY_FILE, status));
            if (made.Valid()) {
                if (created) created(parts[i].end);
            } else if (status != kNameCollision) {
                return FromError(ErrorOf(status));
            }
        }
        DWORD error = 0;
        HANDLE next = EnterFolder(folder, parts[i].name, error);
        if (next == INVALID_HANDLE_VALUE)
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? WriteStatus::Failed
                                                                                  : FromError(error);
        path.push_back(std::make_unique<Handle>(next));
        folder = next;
    }
    return WriteInFolder(folder, parts.back().name, bytes, &written_);
}

WriteStatus ReplaceFile(std::string_view path, std::span<const uint8_t> bytes, bool executable) {
    (void)executable;
    std::string name;
    Handle folder(OpenParent(path, name));
    if (!folder.Valid()) return WriteStatus::Failed;
    return WriteInFolder(folder.Get(), name, bytes, nullptr);
}

std::optional<std::vector<uint8_t>> ReadWholeFile(std::string_view path, size_t limit) {
    std::string name;
    Handle folder(OpenParent(path, name));
    if (!folder.Valid()) return std::nullopt;
    return ReadIn(folder.Get(), name, limit);
}

std::string ResolvedPath(std::string_view nativePath) {
    Handle h(::CreateFileW(win32::Widen(nativePath).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.Valid() ? win32::Narrow(FinalPath(h.Get())) : std::string();
}

// A saved file replaces its target only where that is a plain file (or nothing yet): never
// a folder, a junction, a link or a device.
bool CanReplaceFile(std::string_view path) {
    const std::wstring wide = win32::WidePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

}  // namespace os
