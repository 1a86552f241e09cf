// Channel group files (.cgr), loaded by the engine with the build's channel libraries, then
// run for a few frames.
#include <cstdint>

#include "engine_host.h"
#include "plugin_frame/kel_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static EngineHost* host = new EngineHost(CHANNELS_DIR);
    // The engine keeps every debug message for its host; one run's are of no use to the next.
    host->Engine().ClearDebugMessages();
    auto group = host->Engine().LoadChannelGroupFromMemory(std::span<const uint8_t>(data, size), "fuzz.cgr");
    if (!group) return 0;
    for (int frame = 0; frame < 3; ++frame) {
        host->Engine().BeginFrame(1.0f);
        for (int i = 0; i < group->GetChannelCount(); ++i) group->GetChannel(i)->CallChannel();
    }
    return 0;
}
