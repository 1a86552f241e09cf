// Writing files where someone else may be moving things around: below a folder opened once
// (the install folder), every folder is created and entered component by component from
// that folder's descriptor, never through a symbolic link, so a folder swapped for a link
// halfway through cannot send a write elsewhere. A file is written under a temporary name in
// its own folder and renamed into place: a library the process has loaded from that name
// keeps its bytes, and a failed write leaves nothing half-written behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace os {

enum class WriteStatus {
    Written,
    Refused,         // a component is a symbolic link or not a folder, or ".." climbs out
    AlreadyWritten,  // this run wrote that file already (under this name or another spelling)
    NoSpace,         // the file system has not room enough for the file
    NameTooLong,     // a component or the whole path is longer than the file system takes
    Failed,          // the file could not be created or written
};

// A short English phrase saying why a file was not written ("name refused", ...).
const char* WriteStatusText(WriteStatus status);

class FolderTree {
public:
    FolderTree() = default;
    ~FolderTree();
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;

    // Opens the folder at a system path (see NativePath) as the base. The base itself may be
    // reached through links: the user chose it. False when it is not a folder.
    bool Open(std::string_view basePath);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

    // Called with the index, in the relative path, of the separator that ends each folder
    // made now (so the caller can record "<base>\<relative up to there>\").
    using FolderCreated = std::function<void(size_t separatorIndex)>;

    // Writes `bytes` as the file `relative` (a system path below the base: '\' or '/'
    // separate, runs collapse, a component that does not exist with its exact case is
    // matched ignoring case). Folders along the way are made where missing, but only those
    // whose separator lies before `createLimit`. Nothing is ever written through a link:
    // a link at any component, the file's own name included, refuses the write. A file this
    // tree wrote before is not written again. The free space is checked first.
    WriteStatus WriteFile(std::string_view relative, std::span<const uint8_t> bytes,
                          bool executable, const FolderCreated& created = {},
                          size_t createLimit = std::string_view::npos);

    // The part of a full system path below the base, '/'-separated ("" for the base itself),
    // when some leading part of it resolves to the base folder (links in that leading part
    // are the user's and are followed; names are compared exactly). Nothing otherwise.
    std::optional<std::string> RelativePart(std::string_view systemPath) const;

    // Removes the file (or link) `relative` below the base, walking there the way WriteFile
    // does; a folder is not removed by it. `Removed`, or why not.
    enum class RemoveStatus { Removed, Missing, Refused, Failed };
    RemoveStatus RemoveFile(std::string_view relative);
    // Removes the folder `relative` below the base (empty: the base itself, by its real
    // path) when it is empty.
    RemoveStatus RemoveFolder(std::string_view relative);
    // Removes the regular file `relative` below the base, reached as RemoveFile reaches it,
    // when `isOurs` accepts its bytes (at most `limit` of them). The file is read and removed
    // through the one descriptor of its folder, and only while its name still holds the very
    // file that was read, so a folder or file swapped in meanwhile is never what goes.
    // `Refused` when it is a link, not a regular file, too large, not ours or was replaced.
    RemoveStatus RemoveFileIf(std::string_view relative, size_t limit,
                              const std::function<bool(const std::vector<uint8_t>&)>& isOurs);
    // The bytes of the regular file `relative` below the base, reached as RemoveFile reaches
    // it; nothing when it is missing, not a regular file or larger than `limit`.
    std::optional<std::vector<uint8_t>> ReadFile(std::string_view relative, size_t limit) const;
    // The base folder's real path, with no links in it.
    const std::string& RealPath() const { return realPath_; }

    // A read-only descriptor (the caller closes it) of the file `relative`, reached as
    // WriteFile reaches it, only when it is the very file this tree wrote there (same device
    // and inode); -1 otherwise. What a caller loads or runs through it is what it wrote,
    // whatever other spellings of the name the folder holds.
    int OpenWritten(std::string_view relative) const;

    // Whether the base is a folder of the current user that nobody else may write into
    // (no group or other write bit). A folder others can write lets them plant files the
    // installer would load or run.
    bool IsPrivateToUser() const;

private:
    // Enters every folder of `relative` but the last component, without following links;
    // gives the folder's descriptor (owned by the caller) and that last name, or why not.
    RemoveStatus EnterParent(std::string_view relative, int& folder, std::string& last) const;

    int fd_ = -1;
    std::string realPath_;
    std::set<std::pair<uint64_t, uint64_t>> written_;  // device and inode of each file written
};

// The same for one file named by a full system path, for files outside any install folder
// (desktop entries, the registry store, logs): the folders must exist, the final component
// is never followed, and the file is replaced through a temporary name beside it.
WriteStatus ReplaceFile(std::string_view path, std::span<const uint8_t> bytes,
                        bool executable = false);
// Whether ReplaceFile could put a file at `path` now, checked without opening the file for
// writing: the folder exists and may be written, and the name is free or a regular file
// (never a link, a FIFO or a device, which are refused).
bool CanReplaceFile(std::string_view path);
// The bytes of the regular file a full system path names, read without following a link
// at its final component; nothing when it is missing, a link, not a regular file or larger
// than `limit`.
std::optional<std::vector<uint8_t>> ReadWholeFile(std::string_view path, size_t limit);

// The path with every link resolved (the real folder or file); empty when it does not
// resolve. Its last component is matched exactly, as the system does.
std::string ResolvedPath(std::string_view nativePath);

}  // namespace os
