// The package appended to the installer's own file, and the reader that finds it and reads
// entries out of it (the layout is in layout.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "package/entry_index.h"
#include "package/layout.h"
#include "package/pointer_array.h"
#include "os/read_only_file.h"

// The marker is joined from two halves at run time; no single copy of it is kept, so the
// scan for it never finds the program's own constant.
std::string PackageMarker();

struct PackageEntry {
    char groupName[kPackageNameSize];
    char itemName[kPackageNameSize];
    uint32_t dataSize;  // bytes of data
    uint32_t crc;       // CRC-32 of the data
};

class PackageReader {
public:
    // Opens the package of the running program (see Open).
    PackageReader();
    // Opens the package in the file at `path`, for tools that inspect other installers.
    explicit PackageReader(const std::string& path);
    virtual ~PackageReader();
    PackageReader(const PackageReader&) = delete;
    PackageReader& operator=(const PackageReader&) = delete;

    // Finds the package in the program's own file, named by the first 259 characters of the
    // command line with every double quote removed (so any argument makes it miss), and
    // loads the directory. On failure shows "Data header not found!" and leaves the
    // directory empty.
    virtual void Open();
    // Reads the entry `itemName` of `group` (null: "APPDATA"); names match ignoring ASCII
    // case and the first match wins. With a buffer, `bufferSize` bytes are read into it and
    // the entry's CRC checked; the buffer must hold the whole entry, and bytes past the
    // entry come from the file after it (zero past the end of the file). Without one, the
    // entry is read into the reader's own buffer (GetData), also CRC-checked. A CRC
    // mismatch shows "Crc error corrupt file" captioned with the item name.
    virtual bool ReadEntry(const char* itemName, void* buffer, uint32_t bufferSize,
                           const char* group);
    // The last entry read without a caller buffer, NUL-terminated one byte past its size;
    // null when there is none.
    virtual uint8_t* GetData();
    virtual uint32_t GetDataSize();

    // Opens the package in `path` in place of the current one; false (and an empty
    // directory) when there is none.
    bool OpenFile(const std::string& path);

    // The directory, for tools; entries keep directory order.
    int32_t GetEntryCount() const { return directory_.Count(); }
    const PackageEntry* GetEntry(int32_t i) const;
    uint32_t GetPackageStart() const { return packageStart_; }
    uint32_t GetDataOffset() const { return dataOffset_; }
    // The stored bytes of entry i, unchecked.
    bool ReadEntryAt(int32_t i, std::vector<uint8_t>& out);
    // Hands the own buffer to the caller, leaving the reader without one.
    std::unique_ptr<uint8_t[]> TakeData();
    // Whether the directory lists `itemName` in `group` (null: "APPDATA"), as ReadEntry
    // matches names.
    bool HasEntry(const char* itemName, const char* group) const;

private:
    bool LoadPackage(const std::string& path);
    bool FindMarker(std::string& markerRead);
    bool ScanForMarker();
    bool ReadDirectory();
    bool ReadU32(uint32_t& value);
    bool ReadName(char (&name)[kPackageNameSize]);
    void ClearDirectory();
    uint64_t EntryPosition(uint64_t runningOffset) const;

    os::ReadOnlyFile file_;
    PointerArray directory_;  // owned PackageEntry records
    uint32_t dataOffset_ = 0;
    uint32_t packageStart_ = 0;
    std::unique_ptr<uint8_t[]> data_;
    uint32_t dataSize_ = 0;
    // The first entry of each group and item name, ignoring case, and where its data starts
    // (see entry_index.h): a look-up costs the same for the last of 60,000 entries.
    EntryIndex index_;
};
