#include "package_bytes.h"

#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "package/little_endian.h"

namespace testpkg {

std::vector<uint8_t> Bytes(const std::string& s, bool withNul) {
    std::vector<uint8_t> v(s.begin(), s.end());
    if (withNul) v.push_back(0);
    return v;
}

std::vector<uint8_t> U32(uint32_t v) {
    std::vector<uint8_t> bytes(4);
    StoreU32LE(v, bytes.data());
    return bytes;
}

static void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

std::vector<uint8_t> Build(const std::vector<Item>& items, const Layout& layout) {
    std::vector<uint8_t> out(layout.imageSize);
    for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t('0' + i % 10);
    const size_t start = out.size();
    Append(out, Bytes(layout.marker.empty() ? "2BF2B305-2E71-593E-AD4A-F4DEE07B4336"
                                            : layout.marker));
    Append(out, U32(uint32_t(items.size())));
    for (const Item& it : items) {
        Append(out, U32(uint32_t(it.group.size() + 1)));
        Append(out, Bytes(it.group, true));
        Append(out, U32(uint32_t(it.item.size() + 1 + it.nameLengthExtra)));
        Append(out, Bytes(it.item, true));
        Append(out, std::vector<uint8_t>(it.nameLengthExtra, 0));
        Append(out, U32(uint32_t(it.data.size())));
        uint32_t crc = uint32_t(crc32(0, it.data.data(), uInt(it.data.size())));
        Append(out, U32(it.badCrc ? crc ^ 1 : crc));
    }
    Append(out, U32(uint32_t(out.size() - start + 4)));
    for (const Item& it : items) Append(out, it.data);
    Append(out, U32(layout.trailingStart < 0 ? uint32_t(start) : uint32_t(layout.trailingStart)));
    return out;
}

TempFile::TempFile(const std::vector<uint8_t>& bytes, const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp ? tmp : "/tmp") + "/pkgtestXXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    folder_ = ::mkdtemp(buf.data());
    path_ = folder_ + "/" + name;
    Rewrite(bytes);
}

TempFile::~TempFile() {
    std::remove(path_.c_str());
    ::rmdir(folder_.c_str());
}

void TempFile::Rewrite(const std::vector<uint8_t>& bytes) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace testpkg
