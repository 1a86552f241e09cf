// One plug-in's saved records (CHANNEL_TYPE: its type GUID): the input is the channel's
// data block, loaded inside a one-channel group as the engine loads project files, then
// the channel runs for a few frames.
#include <cstdint>

#include "engine_host.h"
#include "plugin_frame/guid.h"
#include "plugin_frame/kel_channel.h"
#include "plugin_frame/type_guids.h"
#include "tagfile/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static EngineHost* host = new EngineHost(CHANNELS_DIR);
    static const GUID type = MakeGuid(CHANNEL_TYPE);
    // The engine keeps every debug message for its host; one run's are of no use to the next.
    host->Engine().ClearDebugMessages();
    if (size > (1u << 20)) return 0;
    tagfile::RecordWriter w;
    tagfile::Guid16 fileType;
    std::memcpy(fileType.data(), &type_guids::kChannelGroupFile, 16);
    w.WriteFileHeader(fileType);
    w.WriteRecordU32("CGCN", 1);
    const size_t channel = w.BeginBlock("CHAN");
    w.WriteRecord("CTYP", &type, sizeof type);
    w.WriteRecord("CNAM", "fuzzed", 7);
    w.WriteRecord("CDAT", data, uint32_t(size));
    w.EndBlock(channel);
    auto group = host->Engine().LoadChannelGroupFromMemory(w.Bytes(), "fuzz.cgr");
    if (!group) return 0;
    for (int frame = 0; frame < 3; ++frame) {
        host->Engine().BeginFrame(1.0f);
        group->GetChannel(0)->CallChannel();
    }
    return 0;
}
