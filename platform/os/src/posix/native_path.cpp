#include "os/native_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

namespace os {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Finds the entry of `folder` that equals `name` ignoring case; empty when none does.
std::string FindIgnoringCase(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* entry = ::readdir(dir)) {
        if (EqualsIgnoreCase(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string NormalizeSeparators(std::string_view systemPath) {
    std::string out;
    out.reserve(systemPath.size());
    for (char c : systemPath) {
        if (IsSeparator(c)) {
            if (out.empty() || out.back() != '/') out.push_back('/');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string NativePath(std::string_view systemPath) {
    std::string normal = NormalizeSeparators(systemPath);
    std::vector<std::string> parts;
    size_t start = 0;
    const bool absolute = !normal.empty() && normal[0] == '/';
    if (absolute) start = 1;
    while (start <= normal.size()) {
        size_t end = normal.find('/', start);
        if (end == std::string::npos) end = normal.size();
        if (end > start) parts.emplace_back(normal.substr(start, end - start));
        start = end + 1;
    }
    const bool trailing = normal.size() > 1 && normal.back() == '/';

    std::string result = absolute ? "/" : "";
    bool matching = true;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        std::string candidate = result + part;
        if (matching && part != "." && part != ".." && !Exists(candidate)) {
            std::string folder = result.empty() ? "." : result;
            std::string match = FindIgnoringCase(folder, part);
            if (!match.empty()) {
                candidate = result + match;
            } else {
                matching = false;
            }
        }
        result = candidate;
        if (i + 1 < parts.size()) result += '/';
    }
    if (trailing && !result.empty() && result.back() != '/') result += '/';
    return result;
}

}  // namespace os
