// Channel group files (.cgr). A KRVF tagged file of the group type whose records are:
//   "CGCN"  u32 number of channels
//   "CHAN"  one block per channel, in group order, holding
//           "CTYP"  16-byte type GUID
//           "CNAM"  the channel's name, NUL-terminated
//           "CDAT"  block: the records the channel's SaveChannel wrote
//           "CLNK"  8 bytes per link, in link order: i32 link index, u32 child's group index
// A group file stored as a KRVF compressed file is read the same way once unpacked.
#include <cstring>
#include <string>
#include "os/native_path.h"
#include "os/read_only_file.h"
#include "declared_size.h"
#include "tagfile/compressed_file.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/type_guids.h"

namespace {

// The largest channel group a project may hold, stored or unpacked: far above any real
// project, far below what a hostile file could make the engine allocate.
constexpr uint64_t kProjectFileLimit = uint64_t(256) << 20;

struct PendingLink {
    int parent;
    int32_t linkIndex;
    uint32_t child;
};

int32_t ReadI32(const uint8_t* p) { return int32_t(tagfile::ReadU32(p)); }

}  // namespace

bool EngineInterface::SaveChannelGroup(Kel_ChannelGroup& group, const std::string& path) {
    KelFileSaver saver;
    if (!saver.OpenFile(path.c_str(), 1, &type_guids::kChannelGroupFile)) return false;
    tagfile::RecordWriter& w = saver.Writer();
    w.WriteRecordU32("CGCN", uint32_t(group.GetChannelCount()));
    for (int i = 0; i < group.GetChannelCount(); ++i) {
        Kel_Channel* channel = group.GetChannel(i);
        size_t block = w.BeginBlock("CHAN");
        GUID type = channel->GetChannelType().typeGuid;
        w.WriteRecord("CTYP", &type, sizeof type);
        const char* name = channel->GetChannelName();
        w.WriteRecord("CNAM", name, uint32_t(std::strlen(name) + 1));
        size_t data = w.BeginBlock("CDAT");
        if (!channel->SaveChannel(saver)) {
            ShowDebugMessage("Channel could not be saved:", i);
            saver.CloseFile();
            return false;
        }
        w.EndBlock(data);
        for (int c = 0; c < channel->GetChildCount(); ++c) {
            int childIndex = group.IndexOf(channel->GetChild(c));
            if (childIndex < 0) continue;  // engine-owned channels are not part of the file
            uint8_t link[8];
            tagfile::StoreU32(link, uint32_t(channel->GetChildLinkIndex(c)));
            tagfile::StoreU32(link + 4, uint32_t(childIndex));
            w.WriteRecord("CLNK", link, 8);
        }
        w.EndBlock(block);
    }
    group.SetChannelGroupFileName(path.c_str());
    return saver.CloseFile();
}

std::unique_ptr<Kel_ChannelGroup> EngineInterface::LoadChannelGroup(const std::string& path) {
    // A folder or a device at the name is not a group file; reading one would throw.
    os::ReadOnlyFile file;
    std::vector<uint8_t> bytes;
    if (file.Open(path) && file.Size() > kProjectFileLimit) {
        ShowDebugMessage(("Channel group " + path + " is larger than " + std::to_string(kProjectFileLimit >> 20) +
                          " MiB, the limit for a project file").c_str());
        return nullptr;
    }
    if (file.IsOpen()) {
        bytes.resize(size_t(file.Size()));
        if (!file.ReadExact(bytes.data(), bytes.size())) file.Close();
    }
    if (!file.IsOpen()) {
        ShowDebugMessage(("Can't open channel group " + path + " (missing or not a file)").c_str());
        return nullptr;
    }
    return LoadChannelGroupFromMemory(bytes, path);
}

std::unique_ptr<Kel_ChannelGroup> EngineInterface::LoadChannelGroupFromMemory(
    std::span<const uint8_t> bytes, const std::string& fileName) {
    auto fail = [this, &fileName](const char* why) {
        ShowDebugMessage(("Channel group " + fileName + ": " + why).c_str());
        return nullptr;
    };
    // Installed project files may still be KRVF compressed files; the engine reads both.
    std::optional<std::vector<uint8_t>> unpacked;
    if (tagfile::IsCompressedFile(bytes)) {
        // A few kilobytes may ask for a gigabyte: the size is checked before inflating.
        if (DeclaredUnpackedSize(bytes).value_or(0) > kProjectFileLimit)
            return fail(("unpacks to more than " + std::to_string(kProjectFileLimit >> 20) +
                         " MiB, the limit for a project file").c_str());
        unpacked = tagfile::UnpackCompressedFile(bytes);
        if (!unpacked) return fail("damaged compressed file");
        bytes = *unpacked;
    }
    tagfile::Guid16 fileType;
    std::span<const uint8_t> records;
    if (!tagfile::ReadFileHeader(bytes, fileType, records) ||
        std::memcmp(fileType.data(), &type_guids::kChannelGroupFile, 16) != 0)
        return fail("not a channel group file");
    auto isBlock = [](const tagfile::Record& r) { return r.Is("CHAN") || r.Is("CDAT"); };
    if (!tagfile::ValidateRecords(records, isBlock)) return fail("truncated or corrupt");

    auto group = std::make_unique<Kel_ChannelGroup>();
    group->SetChannelGroupFileName(fileName.c_str());
    std::vector<PendingLink> links;
    tagfile::RecordReader top(records);
    tagfile::Record record;
    // The count guards against a file cut between two whole channel blocks.
    if (!top.Next(record) || !record.Is("CGCN") || record.data.size() != 4)
        return fail("no channel count");
    const uint32_t expectedCount = tagfile::ReadU32(record.data.data());
    while (top.Next(record)) {
        if (!record.Is("CHAN")) continue;
        GUID type = kNullGuid;
        std::string name;
        std::span<const uint8_t> data;
        bool hasType = false, hasData = false;
        tagfile::RecordReader fields(record.data);
        tagfile::Record field;
        const int parent = group->GetChannelCount();
        while (fields.Next(field)) {
            if (field.Is("CTYP") && field.data.size() == 16) {
                std::memcpy(&type, field.data.data(), 16);
                hasType = true;
            } else if (field.Is("CNAM")) {
                name.assign(reinterpret_cast<const char*>(field.data.data()), field.data.size());
                name.resize(std::strlen(name.c_str()));
            } else if (field.Is("CDAT")) {
                data = field.data;
                hasData = true;
            } else if (field.Is("CLNK") && field.data.size() == 8) {
                links.push_back({parent, ReadI32(field.data.data()), tagfile::ReadU32(field.data.data() + 4)});
            }
        }
        if (!hasType || !hasData) return fail("channel without type or data");
        Kel_Channel* channel = CreateFromType(type);
        if (!channel) return fail(("channel type not available: " + FormatGuid(type)).c_str());
        channel->SetChannelName(name.c_str());
        group->AddChannel(channel);
        KelFileLoader loader(data);
        if (!channel->LoadChannel(loader, group.get()) || loader.Corrupt())
            return fail(("channel could not be loaded: " + name).c_str());
    }
    if (uint32_t(group->GetChannelCount()) != expectedCount) return fail("channel count differs");
    for (const PendingLink& link : links) {
        Kel_Channel* parent = group->GetChannel(link.parent);
        Kel_Channel* child = link.child < uint32_t(group->GetChannelCount()) ? group->GetChannel(int(link.child)) : nullptr;
        if (!child || !parent->LinkChild(child, link.linkIndex)) return fail("link refused");
    }
    Kel_List dependencies;
    for (int i = 0; i < group->GetChannelCount(); ++i) group->GetChannel(i)->DoDependencyInit(&dependencies);
    for (int i = 0; i < group->GetChannelCount(); ++i) group->GetChannel(i)->OneTimeInitialize();
    return group;
}
