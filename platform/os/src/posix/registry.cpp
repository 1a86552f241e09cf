#include "os/registry.h"

#include "os/folder_tree.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "os/native_path.h"
#include "os/whole_file.h"

namespace os {
namespace {

const char* RootName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine: return "HKLM";
    case RegistryRoot::ClassesRoot: return "HKCR";
    default: return "HKCU";
    }
}

std::string Escape(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += char(c);
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        char e = text[++i];
        if (e == 't') out += '\t';
        else if (e == 'n') out += '\n';
        else if (e == 'x' && i + 2 < text.size()) {
            out += char(std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else out += e;
    }
    return out;
}

// One line of the store: a value of ours, or a line this program does not understand
// (a comment, another root, another type), which is written back exactly as it was.
struct StoreLine {
    std::optional<RegistryValue> value;
    std::string raw;  // the line as read, for the lines that are not values of ours
};

constexpr uint64_t kStoreLimit = 64u << 20;

std::optional<RegistryRoot> RootFromName(std::string_view name) {
    if (name == "HKLM") return RegistryRoot::LocalMachine;
    if (name == "HKCR") return RegistryRoot::ClassesRoot;
    if (name == "HKCU") return RegistryRoot::CurrentUser;
    return std::nullopt;
}

std::vector<StoreLine> LoadLines() {
    std::vector<StoreLine> lines;
    std::string text;
    // A missing store is an empty one; a FIFO or device there is never waited on.
    if (ReadWholeRegularFile(RegistryFilePath(), kStoreLimit, text) != WholeFileStatus::Read) return lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        std::vector<std::string_view> f;
        size_t start = 0;
        for (int k = 0; k < 4; ++k) {
            size_t tab = line.find('\t', start);
            if (tab == std::string::npos) break;
            f.emplace_back(line.data() + start, tab - start);
            start = tab + 1;
        }
        const std::optional<RegistryRoot> root = f.size() == 4 ? RootFromName(f[0]) : std::nullopt;
        if (!root || f[3] != "REG_SZ") {
            lines.push_back({std::nullopt, line});
            continue;
        }
        lines.push_back({RegistryValue{*root, std::string(f[1]), std::string(f[2]),
                                       Unescape(std::string_view(line).substr(start))},
                         {}});
    }
    return lines;
}

std::vector<RegistryValue> Load() {
    std::vector<RegistryValue> values;
    for (StoreLine& line : LoadLines())
        if (line.value) values.push_back(std::move(*line.value));
    return values;
}

// The file the store is written to: its own name, or where a link the user made there
// leads (a link owned by someone else is not followed, and ReplaceFile refuses it).
std::string StoreTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || st.st_uid != ::geteuid()) return path;
    const std::string resolved = ResolvedPath(path);
    return resolved.empty() ? path : resolved;
}

bool Save(const std::vector<StoreLine>& lines) {
    namespace fs = std::filesystem;
    fs::path file = RegistryFilePath();
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string text;
    for (const StoreLine& line : lines) {
        if (!line.value) {
            text += line.raw + '\n';
            continue;
        }
        const RegistryValue& v = *line.value;
        text += RootName(v.root) + ('\t' + v.key) + '\t' + v.name + "\tREG_SZ\t" + Escape(v.data) + '\n';
    }
    // Replacing the file whole keeps the store intact if we stop half-way; a link at its
    // name is not written through unless it is the user's own.
    return ReplaceFile(StoreTarget(file.string()), std::span<const uint8_t>(
                                          reinterpret_cast<const uint8_t*>(text.data()), text.size())) ==
           WriteStatus::Written;
}

// Holds the store's lock file ("<store>.lock") locked for one read-change-write, so that
// installers and uninstallers running side by side do not write over each other's values.
class StoreLock {
public:
    StoreLock() {
        const std::string lock = RegistryFilePath() + ".lock";
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(lock).parent_path(), ec);
        fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        struct stat st;
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

bool Matches(const RegistryValue& v, RegistryRoot root, std::string_view key) {
    return v.root == root && EqualsIgnoreCase(v.key, key);
}

}  // namespace

std::string RegistryFilePath() {
    if (const char* file = std::getenv("VANTREL_REGISTRY_FILE"); file && *file) return file;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) config = std::string(home) + "/.config";
    else config = ".config";
    return config + "/vantrel/registry";
}

bool RegistrySetString(RegistryRoot root, std::string_view key, std::string_view name, const char* data,
                       uint32_t byteCount) {
    // A key or value name with a tab or line break could not be read back.
    if (key.find_first_of("\t\n") != std::string_view::npos || name.find_first_of("\t\n") != std::string_view::npos)
        return false;
    StoreLock lock;
    if (!lock.Held()) return false;
    std::vector<StoreLine> lines = LoadLines();
    std::string bytes(data ? data : "", data ? byteCount : 0);
    for (StoreLine& line : lines) {
        if (line.value && Matches(*line.value, root, key) && EqualsIgnoreCase(line.value->name, name)) {
            line.value->data = bytes;
            return Save(lines);
        }
    }
    lines.push_back({RegistryValue{root, std::string(key), std::string(name), bytes}, {}});
    return Save(lines);
}

std::optional<std::string> RegistryGetString(RegistryRoot root, std::string_view key, std::string_view name) {
    for (const RegistryValue& v : Load())
        if (Matches(v, root, key) && EqualsIgnoreCase(v.name, name)) return v.data;
    return std::nullopt;
}

std::vector<RegistryValue> RegistryAllValues() { return Load(); }

bool RegistryDeleteKey(RegistryRoot root, std::string_view key) {
    StoreLock lock;
    if (!lock.Held()) return false;
    std::vector<StoreLine> lines = LoadLines();
    size_t before = lines.size();
    std::erase_if(lines, [&](const StoreLine& line) { return line.value && Matches(*line.value, root, key); });
    return lines.size() != before && Save(lines);
}

}  // namespace os
