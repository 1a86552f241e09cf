#include "manifest_items.h"

#include "package/little_endian.h"
#include "package/packed_file.h"
#include "os/native_path.h"
#include "os/whole_file.h"
#include "tagfile/compressed_file.h"

namespace projpack {
namespace {

std::vector<uint8_t> TextBytes(const std::string& s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

bool ReadSource(const std::string& projectFolder, const ManifestEntry& e,
                std::vector<uint8_t>& out, std::string& error) {
    std::string path;
    if (!e.source.empty() && e.source[0] == '/')
        path = e.source;
    else
        path = projectFolder + "\\" + (e.source.empty() ? e.name : e.source);
    const std::string native = os::NativePath(path);
    std::string bytes;
    const os::WholeFileStatus status = os::ReadWholeRegularFile(native, tagfile::kMaxUnpackedSize, bytes);
    if (status == os::WholeFileStatus::TooLarge) {
        error = "line " + std::to_string(e.line) + ": " + native + " is larger than 1 GiB";
        return false;
    }
    if (status != os::WholeFileStatus::Read) {
        error = "line " + std::to_string(e.line) + ": cannot read " + native + " (" + os::WholeFileStatusText(status) + ")";
        return false;
    }
    out.assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

std::vector<uint8_t> U32Bytes(uint32_t v) {
    std::vector<uint8_t> bytes(4);
    StoreU32LE(v, bytes.data());
    return bytes;
}

bool CollectItems(const Manifest& manifest, const std::string& projectFolder,
                  PackageWriter& writer, std::string& error, const Progress& progress) {
    const std::vector<ManifestEntry>& entries = manifest.entries;
    size_t files = 0, done = 0;
    for (const ManifestEntry& e : entries) files += e.kind >= EntryKind::Packed;

    auto addFile = [&](const ManifestEntry& e) {
        std::vector<uint8_t> content;
        if (!ReadSource(projectFolder, e, content, error)) return false;
        std::vector<uint8_t> stored = e.raw ? content
                                      : e.kind == EntryKind::Packed
                                          ? PackPackedFile(content, manifest.level)
                                          : tagfile::PackCompressedFile(content, manifest.level);
        if (progress)
            progress("[" + std::to_string(++done) + "/" + std::to_string(files) + "] " +
                     (e.kind == EntryKind::Packed ? "packed     " : "compressed ") + e.name +
                     ": " + std::to_string(content.size()) + " -> " +
                     std::to_string(stored.size()) + " bytes");
        writer.Add("APPDATA", e.name, std::move(stored));
        return true;
    };

    // Settings, "ProjectType" first.
    for (const ManifestEntry& e : entries)
        if (e.kind == EntryKind::U32 && Upper(e.name) == "PROJECTTYPE")
            writer.Add("APPDATA", e.name, U32Bytes(e.number));
    for (const ManifestEntry& e : entries) {
        if (e.kind == EntryKind::U32 && Upper(e.name) != "PROJECTTYPE")
            writer.Add("APPDATA", e.name, U32Bytes(e.number));
        else if (e.kind == EntryKind::Byte)
            writer.Add("APPDATA", e.name, {uint8_t(e.number)});
        else if (e.kind == EntryKind::Text)
            writer.Add("APPDATA", e.name, TextBytes(e.text));
    }
    // The core files, then the other compressed files (the start project).
    for (EntryKind kind : {EntryKind::Packed, EntryKind::Compressed})
        for (const ManifestEntry& e : entries)
            if (e.kind == kind && !addFile(e)) return false;

    // Each list: its count, then per file its list entry directly before the file.
    struct List {
        EntryKind kind;
        const char* group;
        const char* count;
        const char* id;
    };
    const List lists[] = {
        {EntryKind::Channel, "CHANNELINFO", "ChannelCount", "ChannelItemNameID"},
        {EntryKind::Library, "CHANNELINFO", "ChannelDLLCount", "ChannelDLLItemNameID"},
        {EntryKind::File, "FILEINFO", "FileCount", "ItemNameID"},
    };
    for (const List& list : lists) {
        uint32_t count = 0;
        for (const ManifestEntry& e : entries) count += e.kind == list.kind;
        writer.Add(list.group, list.count, U32Bytes(count));
        uint32_t index = 0;
        for (const ManifestEntry& e : entries) {
            if (e.kind != list.kind) continue;
            writer.Add(list.group, list.id + std::to_string(index++), TextBytes(e.name));
            if (!addFile(e)) return false;
        }
    }
    return true;
}

}  // namespace projpack
