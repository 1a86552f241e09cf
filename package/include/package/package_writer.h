// Writes installer packages from a neutral list of items (group, item name, stored bytes):
// the marker, the directory, the data offset, every entry's data in directory order,
// appended to an installer program image with the package start in the file's last four
// bytes. What goes into the list, and how each file is packed first, is the caller's
// business (projpack turns its manifest into one).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct PackageItem {
    std::string group;  // upper case
    std::string item;   // upper case
    std::vector<uint8_t> data;  // stored bytes, as the reader hands them out
};

// ASCII upper case, as package names are stored.
std::string UpperCaseName(std::string name);

class PackageWriter {
public:
    // Names are stored in upper case, as the installer's readers expect of a package.
    void Add(std::string group, std::string item, std::vector<uint8_t> data);
    const std::vector<PackageItem>& Items() const { return items_; }

    // The package as it stands at file offset `start`, without the trailing start field.
    // Empty when a name does not fit its record or the result would pass 4 GiB.
    std::vector<uint8_t> Directory() const;
    // Writes image + package + the package start to `out`; false, with `error` set, when a
    // name does not fit its record or an offset would pass 4 GiB (nothing written then).
    bool Write(const std::vector<uint8_t>& image, std::ostream& out, std::string& error) const;
    // The same into the file `outPath`.
    bool WriteInstaller(const std::vector<uint8_t>& image, const std::string& outPath,
                        std::string& error) const;

private:
    // The directory, or empty with `error` set when the installer cannot be written.
    std::vector<uint8_t> CheckedDirectory(const std::vector<uint8_t>& image, std::string& error) const;
    void WriteChecked(const std::vector<uint8_t>& image, const std::vector<uint8_t>& directory,
                      std::ostream& out) const;

    std::vector<PackageItem> items_;
};
