// Writes installer packages: the marker, the directory, the data offset, every entry's data
// in directory order, appended to an installer program image with the package start in the
// file's last four bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "manifest.h"

namespace projpack {

struct PackageItem {
    std::string group;  // upper case
    std::string item;   // upper case
    std::vector<uint8_t> data;
};

using Progress = std::function<void(const std::string& line)>;

class PackageWriter {
public:
    // Names are stored in upper case, as the installer's readers expect of a package.
    void Add(std::string group, std::string item, std::vector<uint8_t> data);
    const std::vector<PackageItem>& Items() const { return items_; }

    // The package as it stands at file offset `start`, without the trailing start field.
    // Empty when a name does not fit its record or the result would pass 4 GiB.
    std::vector<uint8_t> Directory() const;
    // Writes image + package + start to `outPath`.
    bool WriteInstaller(const std::vector<uint8_t>& image, const std::string& outPath,
                        std::string& error) const;

private:
    std::vector<PackageItem> items_;
};

// Turns a manifest into package entries in the documented order: settings ("ProjectType"
// first), then the packed core files and the other compressed files in manifest order,
// then "CHANNELINFO" with each plug-in's and library's list entry directly before its
// file, then "FILEINFO" the same way. File entries are read from `projectFolder`.
bool CollectItems(const Manifest& manifest, const std::string& projectFolder,
                  PackageWriter& writer, std::string& error, const Progress& progress = {});

std::vector<uint8_t> U32Bytes(uint32_t v);
std::string Upper(std::string s);

}  // namespace projpack
