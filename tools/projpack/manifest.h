// The project author's description of a package: settings, files and their kinds, one per
// line. The format is documented in README.md beside this file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace projpack {

enum class EntryKind {
    U32,         // a u32 setting
    Byte,        // a one-byte setting
    Text,        // a NUL-terminated text setting
    Packed,      // a file packed for the installer itself (zlib stream + u32 size)
    Compressed,  // a KRVF compressed file with no list entry (the start project)
    Channel,     // a channel plug-in: "CHANNELINFO" list entry + KRVF compressed file
    Library,     // a support library: "CHANNELINFO" list entry + KRVF compressed file
    File,        // a project file: "FILEINFO" list entry + KRVF compressed file
};

struct ManifestEntry {
    EntryKind kind;
    std::string name;    // item name as written (file entries: the path inside the project)
    std::string source;  // file entries: where to read it, relative to the project folder
    uint32_t number = 0;  // U32 and Byte settings
    std::string text;     // Text settings
    bool raw = false;     // file entries: stored as the source's bytes, unpacked ("raw")
    int line = 0;
};

struct Manifest {
    std::vector<ManifestEntry> entries;
    int level = 9;  // zlib level for every packed and compressed file
};

// Parses a manifest; on failure gives false and a message naming the line.
bool ParseManifest(const std::string& text, Manifest& out, std::string& error);

}  // namespace projpack
