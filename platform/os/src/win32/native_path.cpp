// System paths on Windows: the file system matches names ignoring case itself, so the
// native form is the path with one backslash between components (a leading pair, the
// start of a network path, is kept).
#include "os/native_path.h"

namespace os {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

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
    const bool network = systemPath.size() > 2 && IsSeparator(systemPath[0]) &&
                         IsSeparator(systemPath[1]) && !IsSeparator(systemPath[2]);
    if (network) out = "\\";
    for (char c : systemPath) {
        if (IsSeparator(c)) {
            if (out.size() <= (network ? 1u : 0u) || out.back() != '\\') out.push_back('\\');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string NativePath(std::string_view systemPath) { return NormalizeSeparators(systemPath); }

}  // namespace os
