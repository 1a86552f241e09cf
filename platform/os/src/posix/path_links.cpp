#include "os/path_links.h"

#include <sys/stat.h>

#include <string>

#include "os/native_path.h"

namespace os {

bool PathCrossesLink(std::string_view base, std::string_view relative) {
    const std::string normal = NormalizeSeparators(relative);
    std::string prefix(base);
    size_t start = 0;
    while (start < normal.size()) {
        size_t end = normal.find('/', start);
        if (end == std::string::npos) end = normal.size();
        if (end > start) {
            prefix += '/';
            prefix.append(normal, start, end - start);
            struct stat st;
            if (::lstat(NativePath(prefix).c_str(), &st) != 0) return false;
            if (S_ISLNK(st.st_mode)) return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace os
