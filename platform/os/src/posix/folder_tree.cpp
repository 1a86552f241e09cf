#include "os/folder_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "os/native_path.h"

namespace os {
namespace {

// Closes the descriptor it holds on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

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

// The entry of the folder that `name` means: itself when it exists, else the one entry that
// equals it ignoring case, else `name` as written (about to be created).
std::string ExistingName(int folder, const std::string& name) {
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return name;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return name;
    }
    std::string found = name;
    while (dirent* entry = ::readdir(dir)) {
        if (EqualsIgnoreCase(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

WriteStatus FromErrno(int error) {
    switch (error) {
    case ELOOP: case ENOTDIR: return WriteStatus::Refused;
    case ENAMETOOLONG: return WriteStatus::NameTooLong;
    case ENOSPC: case EDQUOT: return WriteStatus::NoSpace;
    default: return WriteStatus::Failed;
    }
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// Writes the file `name` in the open folder through a temporary name beside it. `written`
// (when given) holds the files written before, which are not written again.
WriteStatus WriteInFolder(int folder, const std::string& asked, std::span<const uint8_t> bytes,
                          bool executable, std::set<std::pair<uint64_t, uint64_t>>* written) {
    if (asked == "." || asked == "..") return WriteStatus::Refused;
    const std::string name = ExistingName(folder, asked);
    if (name.size() > NAME_MAX) return WriteStatus::NameTooLong;
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        // errno says why, as the system would, for callers that report error numbers.
        if (S_ISLNK(st.st_mode)) {
            errno = ELOOP;
            return WriteStatus::Refused;
        }
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return WriteStatus::Failed;
        }
        // A FIFO, socket or device at the name is nothing a file of ours replaces.
        if (!S_ISREG(st.st_mode)) {
            errno = EINVAL;
            return WriteStatus::Refused;
        }
        if (written && written->count({uint64_t(st.st_dev), uint64_t(st.st_ino)}))
            return WriteStatus::AlreadyWritten;
    }
    struct statvfs fs;
    if (::fstatvfs(folder, &fs) == 0 && uint64_t(fs.f_bavail) * fs.f_frsize < bytes.size())
        return WriteStatus::NoSpace;

    // A name nobody else uses; O_EXCL makes sure it is a new file of ours.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    Descriptor file;
    for (int attempt = 0; attempt < 100 && file.Get() < 0; ++attempt) {
        temp = ".vtl" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        file.Reset(::openat(folder, temp.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (file.Get() < 0 && errno != EEXIST) return FromErrno(errno);
    }
    if (file.Get() < 0) return WriteStatus::Failed;

    WriteStatus status = WriteStatus::Written;
    struct stat own;
    if (!WriteAll(file.Get(), bytes)) {
        status = FromErrno(errno);
    } else if (::fstat(file.Get(), &own) != 0) {
        status = WriteStatus::Failed;
    } else if (executable) {
        // Whoever may read it may also run it: programs are known by their name's ending.
        const mode_t mode = own.st_mode & 07777;
        if (::fchmod(file.Get(), mode | ((mode & 0444) >> 2)) != 0) status = WriteStatus::Failed;
    }
    if (::close(file.Release()) != 0 && status == WriteStatus::Written) status = FromErrno(errno);
    if (status == WriteStatus::Written &&
        ::renameat(folder, temp.c_str(), folder, name.c_str()) != 0)
        status = errno == EISDIR ? WriteStatus::Failed : FromErrno(errno);
    if (status != WriteStatus::Written) {
        ::unlinkat(folder, temp.c_str(), 0);
        return status;
    }
    if (written) written->insert({uint64_t(own.st_dev), uint64_t(own.st_ino)});
    return status;
}

// The regular file `name` of the open folder, never through a link at that name; `read`
// (when given) receives the file's status.
std::optional<std::vector<uint8_t>> ReadIn(int folder, const std::string& name, size_t limit,
                                           struct stat* read = nullptr) {
    Descriptor file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > limit)
        return std::nullopt;
    if (read) *read = st;
    std::vector<uint8_t> bytes(size_t(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        done += size_t(n);
    }
    return bytes;
}

// The folder of a full system path, opened (links in it followed), and the final name in
// it; the descriptor is negative when the path names no file in an existing folder.
int OpenParent(std::string_view path, std::string& name) {
    const std::string native = NativePath(path);
    const size_t slash = native.find_last_of('/');
    if (native.empty() || slash + 1 == native.size()) {
        errno = EINVAL;
        return -1;
    }
    name = native.substr(slash + 1);
    const std::string folderPath =
        slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
    return ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    realPath_.clear();
    written_.clear();
}

bool FolderTree::Open(std::string_view basePath) {
    Close();
    if (basePath.empty()) return false;
    fd_ = ::open(NativePath(basePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return false;
    // The folder the descriptor holds, whatever the path names by now.
    char real[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const ssize_t n = ::readlink(self.c_str(), real, sizeof real - 1);
    realPath_ = n > 0 ? std::string(real, size_t(n)) : std::string();
    return true;
}

std::optional<std::string> FolderTree::RelativePart(std::string_view systemPath) const {
    if (fd_ < 0 || realPath_.empty()) return std::nullopt;
    const std::string normal = NormalizeSeparators(systemPath);
    if (normal.empty() || normal[0] != '/') return std::nullopt;
    for (size_t cut = 0; cut != std::string::npos; cut = normal.find('/', cut + 1)) {
        const std::string prefix = cut == 0 ? "/" : normal.substr(0, cut);
        char real[PATH_MAX];
        if (!::realpath(prefix.c_str(), real)) return std::nullopt;  // nothing deeper exists
        if (realPath_ == real) return cut + 1 >= normal.size() ? std::string() : normal.substr(cut + 1);
    }
    char real[PATH_MAX];
    if (::realpath(normal.c_str(), real) && realPath_ == real) return std::string();
    return std::nullopt;
}

FolderTree::RemoveStatus FolderTree::EnterParent(std::string_view relative, int& folder,
                                                 std::string& last) const {
    folder = -1;
    if (fd_ < 0) return RemoveStatus::Failed;
    const std::vector<Component> parts = Components(relative);
    if (parts.empty()) return RemoveStatus::Refused;
    Descriptor held(::dup(fd_));
    for (size_t i = 0; i < parts.size(); ++i)
        if (parts[i].name == "..") return RemoveStatus::Refused;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].name == ".") continue;
        const std::string name = ExistingName(held.Get(), parts[i].name);
        const int next = ::openat(held.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) return errno == ENOENT ? RemoveStatus::Missing : RemoveStatus::Refused;
        held.Reset(next);
    }
    last = ExistingName(held.Get(), parts.back().name);
    if (last == ".") return RemoveStatus::Refused;
    folder = held.Release();
    return RemoveStatus::Removed;
}

std::optional<std::vector<uint8_t>> FolderTree::ReadFile(std::string_view relative, size_t limit) const {
    int folder;
    std::string name;
    if (EnterParent(relative, folder, name) != RemoveStatus::Removed) return std::nullopt;
    Descriptor held(folder);
    return ReadIn(folder, name, limit);
}

FolderTree::RemoveStatus FolderTree::RemoveFile(std::string_view relative) {
    int folder;
    std::string name;
    if (const RemoveStatus entered = EnterParent(relative, folder, name); entered != RemoveStatus::Removed)
        return entered;
    Descriptor held(folder);
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return RemoveStatus::Missing;
    if (S_ISDIR(st.st_mode)) return RemoveStatus::Refused;
    return ::unlinkat(folder, name.c_str(), 0) == 0 ? RemoveStatus::Removed : RemoveStatus::Failed;
}

FolderTree::RemoveStatus FolderTree::RemoveFileIf(
    std::string_view relative, size_t limit, const std::function<bool(const std::vector<uint8_t>&)>& isOurs) {
    int folder;
    std::string name;
    if (const RemoveStatus entered = EnterParent(relative, folder, name); entered != RemoveStatus::Removed)
        return entered;
    Descriptor held(folder);
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return RemoveStatus::Missing;
    struct stat read;
    const std::optional<std::vector<uint8_t>> bytes = ReadIn(folder, name, limit, &read);
    if (!bytes || !isOurs(*bytes)) return RemoveStatus::Refused;
    // The name may have been given to another file since it was read.
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != read.st_dev ||
        st.st_ino != read.st_ino)
        return RemoveStatus::Refused;
    return ::unlinkat(folder, name.c_str(), 0) == 0 ? RemoveStatus::Removed : RemoveStatus::Failed;
}

FolderTree::RemoveStatus FolderTree::RemoveFolder(std::string_view relative) {
    if (Components(relative).empty()) {
        if (realPath_.empty()) return RemoveStatus::Failed;
        return ::rmdir(realPath_.c_str()) == 0 ? RemoveStatus::Removed : RemoveStatus::Failed;
    }
    int folder;
    std::string name;
    if (const RemoveStatus entered = EnterParent(relative, folder, name); entered != RemoveStatus::Removed)
        return entered;
    Descriptor held(folder);
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return RemoveStatus::Missing;
    if (!S_ISDIR(st.st_mode)) return RemoveStatus::Refused;
    return ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 ? RemoveStatus::Removed : RemoveStatus::Failed;
}

int FolderTree::OpenWritten(std::string_view relative) const {
    int folder;
    std::string name;
    if (EnterParent(relative, folder, name) != RemoveStatus::Removed) return -1;
    Descriptor held(folder);
    Descriptor file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !written_.count({uint64_t(st.st_dev), uint64_t(st.st_ino)}))
        return -1;
    return file.Release();
}

bool FolderTree::IsPrivateToUser() const {
    struct stat st;
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 022) == 0;
}

WriteStatus FolderTree::WriteFile(std::string_view relative, std::span<const uint8_t> bytes,
                                  bool executable, const FolderCreated& created,
                                  size_t createLimit) {
    if (fd_ < 0) return WriteStatus::Failed;
    const std::vector<Component> parts = Components(relative);
    if (parts.empty() || parts.back().end != std::string_view::npos) return WriteStatus::Failed;

    Descriptor held;  // the folder we stand in, once below the base
    int folder = fd_;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].name == ".") continue;
        if (parts[i].name == "..") return WriteStatus::Refused;
        const std::string name = ExistingName(folder, parts[i].name);
        if (parts[i].end < createLimit) {
            if (::mkdirat(folder, name.c_str(), 0777) == 0) {
                if (created) created(parts[i].end);
            } else if (errno != EEXIST) {
                return FromErrno(errno);
            }
        }
        const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) return errno == ENOENT ? WriteStatus::Failed : FromErrno(errno);
        held.Reset(next);
        folder = next;
    }
    return WriteInFolder(folder, parts.back().name, bytes, executable, &written_);
}

WriteStatus ReplaceFile(std::string_view path, std::span<const uint8_t> bytes, bool executable) {
    std::string name;
    Descriptor folder(OpenParent(path, name));
    if (folder.Get() < 0) return FromErrno(errno) == WriteStatus::Refused ? WriteStatus::Failed : FromErrno(errno);
    return WriteInFolder(folder.Get(), name, bytes, executable, nullptr);
}

bool CanReplaceFile(std::string_view path) {
    std::string name;
    Descriptor folder(OpenParent(path, name));
    if (folder.Get() < 0 || name == "." || name == "..") return false;
    struct stat st;
    if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) return false;
    return ::faccessat(folder.Get(), ".", W_OK | X_OK, AT_EACCESS) == 0;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(std::string_view path, size_t limit) {
    std::string name;
    Descriptor folder(OpenParent(path, name));
    if (folder.Get() < 0) return std::nullopt;
    return ReadIn(folder.Get(), name, limit);
}

std::string ResolvedPath(std::string_view nativePath) {
    char real[PATH_MAX];
    return ::realpath(std::string(nativePath).c_str(), real) ? std::string(real) : std::string();
}

}  // namespace os
