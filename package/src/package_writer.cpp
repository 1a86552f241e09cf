#include "package/package_writer.h"

#include <fstream>

#include "package/crc32.h"
#include "package/layout.h"
#include "package/little_endian.h"
#include "package/package_reader.h"
#include "os/native_path.h"

namespace {

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    StoreU32LE(value, bytes);
    out.insert(out.end(), bytes, bytes + 4);
}

void AppendName(std::vector<uint8_t>& out, const std::string& name) {
    AppendU32(out, uint32_t(name.size() + 1));
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

}  // namespace

std::string UpperCaseName(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return name;
}

void PackageWriter::Add(std::string group, std::string item, std::vector<uint8_t> data) {
    items_.push_back({UpperCaseName(std::move(group)), UpperCaseName(std::move(item)), std::move(data)});
}

std::vector<uint8_t> PackageWriter::Directory() const {
    const std::string marker = PackageMarker();
    std::vector<uint8_t> out(marker.begin(), marker.end());
    AppendU32(out, uint32_t(items_.size()));
    const Crc32Table crc;
    for (const PackageItem& it : items_) {
        if (it.group.size() + 1 > kPackageNameSize || it.item.size() + 1 > kPackageNameSize)
            return {};
        AppendName(out, it.group);
        AppendName(out, it.item);
        AppendU32(out, uint32_t(it.data.size()));
        AppendU32(out, crc.Compute(it.data.data(), it.data.size()));
    }
    AppendU32(out, uint32_t(out.size() + kPackageDataOffsetFieldSize));
    return out;
}

std::vector<uint8_t> PackageWriter::CheckedDirectory(const std::vector<uint8_t>& image,
                                                     std::string& error) const {
    std::vector<uint8_t> directory = Directory();
    if (directory.empty()) {
        error = "a name is longer than 259 characters";
        return {};
    }
    uint64_t total = image.size() + directory.size() + kPackageTrailerSize;
    for (const PackageItem& it : items_) total += it.data.size();
    if (total > UINT32_MAX) {
        error = "the installer would pass 4 GiB; offsets are 32-bit";
        return {};
    }
    return directory;
}

void PackageWriter::WriteChecked(const std::vector<uint8_t>& image,
                                 const std::vector<uint8_t>& directory, std::ostream& out) const {
    auto write = [&](const std::vector<uint8_t>& bytes) {
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    write(image);
    write(directory);
    for (const PackageItem& it : items_) write(it.data);
    std::vector<uint8_t> trailer;
    AppendU32(trailer, uint32_t(image.size()));
    write(trailer);
}

bool PackageWriter::Write(const std::vector<uint8_t>& image, std::ostream& out,
                          std::string& error) const {
    const std::vector<uint8_t> directory = CheckedDirectory(image, error);
    if (directory.empty()) return false;
    WriteChecked(image, directory, out);
    return bool(out);
}

bool PackageWriter::WriteInstaller(const std::vector<uint8_t>& image, const std::string& outPath,
                                   std::string& error) const {
    const std::vector<uint8_t> directory = CheckedDirectory(image, error);
    if (directory.empty()) return false;
    std::ofstream out(os::NativePath(outPath), std::ios::binary | std::ios::trunc);
    WriteChecked(image, directory, out);
    out.close();
    if (!out) {
        error = "cannot write " + outPath;
        return false;
    }
    return true;
}
