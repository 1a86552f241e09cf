#include "package_listing.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "package/crc32.h"
#include "package/little_endian.h"
#include "package/package_reader.h"
#include "package/packed_file.h"
#include "package/uninstall_log.h"
#include "os/native_path.h"
#include "tagfile/compressed_file.h"

namespace projpack {
namespace {

enum class Role { U32, Byte, Text, File };

Role RoleOf(const std::string& group, const std::string& item) {
    static const std::set<std::string> u32s = {"PROJECTTYPE", "CHANNELCOUNT", "CHANNELDLLCOUNT",
                                               "FILECOUNT"};
    static const std::set<std::string> bytes = {"CHECKDX8", "RUNAFTERINSTALL", "WINAMPVERSION",
                                                "DOQUITCGR", "DOSMALLPREVIEW"};
    static const std::set<std::string> texts = {"INSTALLPATH", "SHORTCUTNAME", "PROJECTNAME",
                                                "STARTUPDIRECTORY"};
    const std::string g = Upper(group), i = Upper(item);
    if (u32s.count(i)) return Role::U32;
    if (bytes.count(i)) return Role::Byte;
    if (texts.count(i) || g != "APPDATA") return Role::Text;
    // Files are named by paths; other settings a project adds are plain words.
    if (i.find('.') != std::string::npos || i.find('\\') != std::string::npos) return Role::File;
    return Role::Text;
}

// The file an item name lands in below the install folder, as the installer's file system
// sees it: either separator, runs and "." components dropped, case ignored.
std::string LandingName(const std::string& item) {
    std::string out;
    const std::string normal = os::NormalizeSeparators(item);
    size_t start = 0;
    while (start <= normal.size()) {
        size_t end = normal.find('/', start);
        if (end == std::string::npos) end = normal.size();
        const std::string part = normal.substr(start, end - start);
        if (!part.empty() && part != ".") out += (out.empty() ? "" : "/") + Upper(part);
        start = end + 1;
    }
    return out;
}

bool LooksPacked(std::span<const uint8_t> data) {
    // A zlib header (deflate, valid check bits) followed eventually by the size.
    return data.size() >= 2 + 4 + 4 && (data[0] & 0x0F) == 8 && (data[0] >> 4) <= 7 &&
           ((data[0] << 8) | data[1]) % 31 == 0;
}

bool IsText(std::span<const uint8_t> data) {
    if (data.empty() || data.back() != 0) return false;
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] < 0x20 || data[i] == 0x7F) return false;
    return true;
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

// Roles the name does not settle are judged from the bytes.
std::string DescribeBytes(std::span<const uint8_t> data) {
    if (tagfile::IsCompressedFile(data)) {
        auto unpacked = data.size() >= 36 ? LoadU32LE(data.data() + 32) : 0;
        return "krvf-compressed (" + std::to_string(unpacked) + " bytes)";
    }
    if (LooksPacked(data))
        return "packed (" + std::to_string(PackedFileStatedSize(data)) + " bytes)";
    if (IsText(data) && data.size() > 1)
        return "text \"" + std::string(data.begin(), data.end() - 1) + "\"";
    if (data.size() == 4) return "u32 " + std::to_string(LoadU32LE(data.data()));
    if (data.size() == 1) return "byte " + std::to_string(data[0]);
    return "raw";
}

// What one project type's installer reads from "APPDATA" by name, beyond its lists.
struct TypeNeeds {
    uint32_t type;
    const char* name;
    std::vector<const char*> bytes;
    std::vector<const char*> texts;
    std::vector<const char*> programs;  // packed files it unpacks by name, besides the core
};

const TypeNeeds kTypeNeeds[] = {
    {1, "run-in-place", {"CheckDx8"}, {}, {"VantrelViewer.exe"}},
    {2, "standard", {"CheckDx8", "RunAfterInstall"}, {"InstallPath", "ShortCutName", "ProjectName"},
     {"VantrelViewer.exe"}},
    {5, "screensaver", {"CheckDx8", "RunAfterInstall", "DoQuitCgr", "DoSmallPreview"},
     {"InstallPath", "ProjectName"}, {"VtlSvr.scr"}},
    {6, "winamp", {"CheckDx8", "WinampVersion"}, {"StartupDirectory", "ProjectName"}, {"WinAmp.dll"}},
};

// Every type unpacks these before the engine is loaded; a missing one stops it.
const char* const kCorePackedFiles[] = {
    "Corvane.dll",
    "channels\\FileSaver.dll",
    "channels\\Directory.dll",
    "channels\\FileLoader.dll",
    "channels\\9F9FF213-DED7-599F-80D1-45463E6C473B.dll",
    "channels\\E0B80F4A-499F-5E75-87AD-5C21C81E2772.dll",
    "channels\\4806DF8E-A410-5F04-A297-090D455D9BEE.dll",
    "channels\\491E783E-7E83-5F32-91C6-3823F2BBD53F.dll",
};

// The settings and files the installer of the package's type will ask for by name, each in
// the form it reads. Gives the number of faults written to `out`.
int CheckTypeNeeds(PackageReader& reader, std::ostream& out) {
    uint8_t typeBytes[4];
    if (!reader.ReadEntry("ProjectType", typeBytes, 4, nullptr)) return 0;  // reported already
    const uint32_t type = LoadU32LE(typeBytes);
    const TypeNeeds* needs = nullptr;
    for (const TypeNeeds& t : kTypeNeeds)
        if (t.type == type) needs = &t;
    if (!needs) {
        out << "APPDATA/PROJECTTYPE: " << type << " is no project type; the installer runs nothing\n";
        return 1;
    }
    int faults = 0;
    auto fault = [&](const char* item, const std::string& what) {
        out << "APPDATA/" << Upper(item) << ": " << what << " (a " << needs->name << " installer reads it)\n";
        ++faults;
    };
    std::vector<uint8_t> data;
    auto read = [&](const char* item) {
        for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
            const PackageEntry* e = reader.GetEntry(i);
            if (Upper(e->groupName) == "APPDATA" && Upper(e->itemName) == Upper(item))
                return reader.ReadEntryAt(i, data);
        }
        return false;
    };
    for (const char* item : needs->bytes) {
        if (!read(item)) fault(item, "missing");
        else if (data.size() != 1) fault(item, "not one byte");
    }
    for (const char* item : needs->texts) {
        if (!read(item)) fault(item, "missing");
        else if (std::find(data.begin(), data.end(), 0) == data.end() || data.size() > 259)
            fault(item, "not a NUL-terminated text of at most 258 characters");
    }
    std::vector<const char*> files(std::begin(kCorePackedFiles), std::end(kCorePackedFiles));
    files.insert(files.end(), needs->programs.begin(), needs->programs.end());
    for (const char* item : files) {
        if (!read(item)) fault(item, "missing");
        else if (!LooksPacked(data)) fault(item, "not a packed file");
    }
    if (!read("VtlStart.vtl")) fault("VtlStart.vtl", "missing");
    else if (!tagfile::IsCompressedFile(data)) fault("VtlStart.vtl", "not a compressed file");
    return faults;
}

}  // namespace

std::string DescribeEntry(const std::string& group, const std::string& item,
                          std::span<const uint8_t> data) {
    switch (RoleOf(group, item)) {
    case Role::U32:
        if (data.size() == 4) return "u32 " + std::to_string(LoadU32LE(data.data()));
        break;
    case Role::Byte:
        if (data.size() == 1) return "byte " + std::to_string(data[0]);
        break;
    case Role::Text:
        if (IsText(data)) return "text \"" + std::string(data.begin(), data.end() - 1) + "\"";
        break;
    case Role::File: break;
    }
    return DescribeBytes(data);
}

bool ListPackage(const std::string& path, std::ostream& out) {
    PackageReader reader(path);
    if (reader.GetEntryCount() == 0) return false;
    out << "package start " << reader.GetPackageStart() << ", " << reader.GetEntryCount()
        << " entries, data offset " << reader.GetDataOffset() << "\n";
    std::vector<uint8_t> data;
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        const PackageEntry* e = reader.GetEntry(i);
        std::string kind = reader.ReadEntryAt(i, data)
                               ? DescribeEntry(e->groupName, e->itemName, data)
                               : "unreadable";
        out << i << '\t' << e->groupName << '\t' << e->itemName << '\t' << e->dataSize << '\t'
            << Hex(e->crc) << '\t' << kind << '\n';
    }
    return true;
}

int CheckPackage(const std::string& path, std::ostream& out, const Progress& progress) {
    PackageReader reader(path);
    const int32_t count = reader.GetEntryCount();
    if (count == 0) return -1;
    int faults = 0;
    auto fault = [&](const PackageEntry* e, const std::string& what) {
        out << e->groupName << "/" << e->itemName << ": " << what << "\n";
        ++faults;
    };
    const Crc32Table crc;
    std::vector<uint8_t> data;
    std::set<std::string> compressedFiles;  // upper-case APPDATA names
    std::map<std::string, std::string> landings;  // file landed on, the first entry's name
    for (int32_t i = 0; i < count; ++i) {
        const PackageEntry* e = reader.GetEntry(i);
        if (progress && (i % 16 == 0 || i + 1 == count))
            progress("checking " + std::to_string(i + 1) + "/" + std::to_string(count));
        if (!reader.ReadEntryAt(i, data)) {
            fault(e, "cannot be read");
            continue;
        }
        if (crc.Compute(data.data(), data.size()) != e->crc) fault(e, "CRC mismatch");
        if (RoleOf(e->groupName, e->itemName) == Role::File &&
            Upper(e->groupName) == "APPDATA") {
            // Two entries for one file: the second would overwrite the first (the engine
            // core among them); the log the installer writes is a file too.
            const std::string landing = LandingName(e->itemName);
            if (landing == Upper(kUninstallLogName))
                fault(e, "lands on the installer's own uninstall.nfo");
            else if (const auto [at, fresh] = landings.emplace(landing, e->itemName); !fresh)
                fault(e, "lands on the same file as APPDATA/" + at->second);
        }
        if (tagfile::IsCompressedFile(data)) {
            if (!tagfile::UnpackCompressedFile(data)) fault(e, "compressed file does not unpack");
            else compressedFiles.insert(Upper(e->itemName));
        } else if (LooksPacked(data)) {
            if (!TryUnpackPackedFile(data)) fault(e, "packed file does not unpack");
        } else if (RoleOf(e->groupName, e->itemName) == Role::File) {
            fault(e, "file entry is neither packed nor compressed");
        }
    }

    // Every list names as many files as its count says, each a compressed file in APPDATA.
    struct List {
        const char* group;
        const char* count;
        const char* id;
    };
    const List lists[] = {{"CHANNELINFO", "ChannelCount", "ChannelItemNameID"},
                          {"CHANNELINFO", "ChannelDLLCount", "ChannelDLLItemNameID"},
                          {"FILEINFO", "FileCount", "ItemNameID"}};
    for (const List& list : lists) {
        uint8_t b[4];
        // Every project type reads all three counts and stops without one.
        if (!reader.ReadEntry(list.count, b, 4, list.group)) {
            out << list.group << "/" << Upper(list.count) << ": missing\n";
            ++faults;
            continue;
        }
        const uint32_t n = LoadU32LE(b);
        for (uint32_t k = 0; k < n && k < 100000; ++k) {
            const std::string id = list.id + std::to_string(k);
            char name[399] = {};
            if (!reader.ReadEntry(id.c_str(), name, sizeof name - 1, list.group)) {
                out << list.group << "/" << Upper(id) << ": missing or unreadable ("
                    << list.count << " is " << n << ")\n";
                ++faults;
            } else if (!compressedFiles.count(Upper(name))) {
                out << list.group << "/" << Upper(id) << ": names \"" << name
                    << "\", which is not a compressed file in APPDATA\n";
                ++faults;
            }
        }
    }
    uint8_t type[4];
    if (!reader.ReadEntry("ProjectType", type, 4, nullptr)) {
        out << "APPDATA/PROJECTTYPE: missing\n";
        ++faults;
    }
    return faults + CheckTypeNeeds(reader, out);
}

}  // namespace projpack
