#include "package/package_reader.h"

#include <cstring>
#include <new>

#include "package/crc32.h"
#include "package/little_endian.h"
#include "os/command_line.h"
#include "os/message_box.h"
#include "os/native_path.h"

namespace {

constexpr size_t kCommandLinePathMax = 259;
constexpr size_t kGroupNameMax = 259;
// The scan fallback reads this many blocks of this size and never looks across blocks.
constexpr int kScanBlocks = 20;
constexpr size_t kScanBlockSize = 9999;
constexpr size_t kScanLastOffset = 9962;  // one short of the last offset that would fit

std::string CommandLinePath() {
    std::string line = os::GetCommandLine().substr(0, kCommandLinePathMax);
    std::string path;
    for (char c : line)
        if (c != '"') path.push_back(c);
    return path;
}

}  // namespace

std::string PackageMarker() {
    std::string marker = "2BF2B305-2E71-593E";
    marker += "-AD4A-F4DEE07B4336";
    return marker;
}

PackageReader::PackageReader() { Open(); }

PackageReader::PackageReader(const std::string& path) { OpenFile(path); }

PackageReader::~PackageReader() { ClearDirectory(); }

void PackageReader::Open() { OpenFile(CommandLinePath()); }

bool PackageReader::OpenFile(const std::string& path) {
    if (LoadPackage(path)) return true;
    ClearDirectory();
    file_.Close();
    return false;
}

bool PackageReader::LoadPackage(const std::string& path) {
    ClearDirectory();
    dataOffset_ = 0;
    packageStart_ = 0;
    std::string markerRead;
    if (!file_.Open(path) || !FindMarker(markerRead)) {
        os::MessageBox("Data header not found!", markerRead.c_str(), os::MB_OK);
        return false;
    }
    // A directory that does not fit the file rejects the whole package; no message of its
    // own, the caller reports the item it cannot find.
    return ReadDirectory();
}

bool PackageReader::FindMarker(std::string& markerRead) {
    const std::string marker = PackageMarker();
    const uint64_t fileSize = file_.Size();
    uint32_t start = 0;
    char read[kPackageMarkerSize] = {};
    if (fileSize >= kPackageTrailerSize && file_.Seek(fileSize - kPackageTrailerSize) && ReadU32(start) && file_.Seek(start) &&
        file_.ReadExact(read, sizeof read)) {
        markerRead.assign(read, strnlen(read, sizeof read));
        if (os::EqualsIgnoreCase(std::string_view(read, sizeof read), marker)) {
            packageStart_ = start;
            return true;  // positioned just past the marker
        }
    }
    return ScanForMarker();
}

bool PackageReader::ScanForMarker() {
    const std::string marker = PackageMarker();
    std::vector<char> block(kScanBlockSize);
    if (!file_.Seek(0)) return false;
    for (int b = 0; b < kScanBlocks; ++b) {
        const size_t got = file_.Read(block.data(), block.size());
        for (size_t j = 0; j <= kScanLastOffset && j + kPackageMarkerSize <= got; ++j) {
            if (std::memcmp(block.data() + j, marker.data(), kPackageMarkerSize) == 0) {
                packageStart_ = uint32_t(b * kScanBlockSize + j);
                return file_.Seek(uint64_t(packageStart_) + kPackageMarkerSize);
            }
        }
        if (got < block.size()) break;
    }
    return false;
}

bool PackageReader::ReadU32(uint32_t& value) {
    uint8_t b[4];
    if (!file_.ReadExact(b, 4)) return false;
    value = LoadU32LE(b);
    return true;
}

bool PackageReader::ReadName(char (&name)[kPackageNameSize]) {
    uint32_t length = 0;
    if (!ReadU32(length) || length == 0 || length > kPackageNameSize) return false;
    if (!file_.ReadExact(name, length)) return false;
    return name[length - 1] == '\0';
}

bool PackageReader::ReadDirectory() {
    const uint64_t fileSize = file_.Size();
    const uint64_t dataEnd = fileSize - kPackageTrailerSize;  // where the trailing package start begins
    uint32_t count = 0;
    if (!ReadU32(count)) return false;
    // Bound the count by the bytes left before allocating anything for it.
    const uint64_t directoryStart = uint64_t(packageStart_) + kPackageDirectoryOffset;
    if (directoryStart > dataEnd || count > (dataEnd - directoryStart) / kPackageMinEntrySize)
        return false;

    uint64_t totalData = 0;
    for (uint32_t i = 0; i < count; ++i) {
        auto* entry = new (std::nothrow) PackageEntry{};
        if (!entry) return false;
        if (!ReadName(entry->groupName) || !ReadName(entry->itemName) ||
            !ReadU32(entry->dataSize) || !ReadU32(entry->crc) || directory_.Add(entry) < 0) {
            delete entry;
            return false;
        }
        index_.Add(entry->groupName, entry->itemName, {int32_t(i), totalData});
        totalData += entry->dataSize;
    }
    if (!ReadU32(dataOffset_)) return false;
    return EntryPosition(totalData) <= dataEnd;
}

void PackageReader::ClearDirectory() {
    for (int32_t i = 0; i < directory_.Count(); ++i)
        delete static_cast<PackageEntry*>(directory_.Get(i));
    directory_.Clear();
    index_.Clear();
}

uint64_t PackageReader::EntryPosition(uint64_t runningOffset) const {
    return uint64_t(packageStart_) + dataOffset_ + runningOffset;
}

const PackageEntry* PackageReader::GetEntry(int32_t i) const {
    return static_cast<const PackageEntry*>(directory_.Get(i));
}

bool PackageReader::ReadEntry(const char* itemName, void* buffer, uint32_t bufferSize,
                              const char* group) {
    if (!itemName) return false;
    const std::string_view groupName =
        std::string_view(group ? group : "APPDATA").substr(0, kGroupNameMax);

    const EntryIndex::Place* place = index_.Find(groupName, itemName);
    const PackageEntry* found = place ? GetEntry(place->index) : nullptr;
    if (!found || !file_.Seek(EntryPosition(place->dataOffset))) return false;

    const Crc32Table crcTable;
    if (buffer) {
        // A buffer that cannot hold the entry cannot be checked against its CRC.
        if (bufferSize < found->dataSize) return false;
        const size_t got = file_.Read(buffer, bufferSize);
        if (got < found->dataSize) return false;
        std::memset(static_cast<uint8_t*>(buffer) + got, 0, bufferSize - got);
        if (crcTable.Compute(buffer, found->dataSize) != found->crc) {
            os::MessageBox("Crc error corrupt file", found->itemName, os::MB_OK);
            return false;
        }
        return true;
    }

    data_.reset();
    dataSize_ = 0;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size_t(found->dataSize) + 1]);
    if (!data || !file_.ReadExact(data.get(), found->dataSize)) return false;
    data[found->dataSize] = 0;
    // Whole entries are files about to be installed: a corrupt one must not pass silently.
    if (crcTable.Compute(data.get(), found->dataSize) != found->crc) {
        os::MessageBox("Crc error corrupt file", found->itemName, os::MB_OK);
        return false;
    }
    data_ = std::move(data);
    dataSize_ = found->dataSize;
    return true;
}

uint8_t* PackageReader::GetData() { return data_.get(); }

uint32_t PackageReader::GetDataSize() { return dataSize_; }

std::unique_ptr<uint8_t[]> PackageReader::TakeData() {
    dataSize_ = 0;
    return std::move(data_);
}

bool PackageReader::ReadEntryAt(int32_t i, std::vector<uint8_t>& out) {
    const PackageEntry* entry = GetEntry(i);
    if (!entry) return false;
    uint64_t runningOffset = 0;
    for (int32_t k = 0; k < i; ++k) runningOffset += GetEntry(k)->dataSize;
    out.resize(entry->dataSize);
    return file_.Seek(EntryPosition(runningOffset)) && file_.ReadExact(out.data(), out.size());
}

bool PackageReader::HasEntry(const char* itemName, const char* group) const {
    if (!itemName) return false;
    return index_.Find(std::string_view(group ? group : "APPDATA").substr(0, kGroupNameMax), itemName) != nullptr;
}
