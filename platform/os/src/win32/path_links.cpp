#include "os/path_links.h"

#include "os/native_path.h"
#include "win32_util.h"

namespace os {

bool PathCrossesLink(std::string_view base, std::string_view relative) {
    const std::string normal = NormalizeSeparators(relative);
    std::string prefix(base);
    size_t start = 0;
    while (start < normal.size()) {
        size_t end = normal.find('\\', start);
        if (end == std::string::npos) end = normal.size();
        if (end > start) {
            prefix += '\\';
            prefix.append(normal, start, end - start);
            const DWORD attributes = ::GetFileAttributesW(win32::WidePath(prefix).c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) return false;
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace os
