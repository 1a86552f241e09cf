// Packages built byte by byte for the reader tests, independent of the package tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testpkg {

struct Item {
    std::string group;
    std::string item;
    std::vector<uint8_t> data;
    bool badCrc = false;
    uint32_t nameLengthExtra = 0;  // added to the stored item-name length (past the NUL)
};

struct Layout {
    size_t imageSize = 1000;     // bytes of fake program image before the package
    std::string marker;          // empty: the real marker
    int64_t trailingStart = -1;  // -1: the true start
};

std::vector<uint8_t> Bytes(const std::string& s, bool withNul = false);
std::vector<uint8_t> U32(uint32_t v);
std::vector<uint8_t> Build(const std::vector<Item>& items, const Layout& layout = {});

// A file under the test temp folder, removed by the destructor.
class TempFile {
public:
    explicit TempFile(const std::vector<uint8_t>& bytes, const std::string& name = "installer");
    ~TempFile();
    const std::string& Path() const { return path_; }
    void Rewrite(const std::vector<uint8_t>& bytes);

private:
    std::string folder_;
    std::string path_;
};

}  // namespace testpkg
