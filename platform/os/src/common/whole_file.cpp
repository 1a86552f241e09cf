#include "os/whole_file.h"

#include "os/read_only_file.h"

namespace os {

WholeFileStatus ReadWholeRegularFile(const std::string& path, uint64_t limit, std::string& out) {
    ReadOnlyFile file;
    if (!file.Open(path)) return WholeFileStatus::NotAFile;
    const uint64_t size = file.Size();
    if (size > limit) return WholeFileStatus::TooLarge;
    out.resize(size_t(size));
    return file.ReadExact(out.data(), out.size()) ? WholeFileStatus::Read : WholeFileStatus::ReadError;
}

const char* WholeFileStatusText(WholeFileStatus status) {
    switch (status) {
    case WholeFileStatus::Read: return "read";
    case WholeFileStatus::NotAFile: return "missing or not a regular file";
    case WholeFileStatus::TooLarge: return "larger than the limit";
    case WholeFileStatus::ReadError: return "read error";
    }
    return "read error";
}

}  // namespace os
