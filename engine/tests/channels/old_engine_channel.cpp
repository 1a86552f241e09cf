// A channel library built for engine interface 42, which the engine must refuse.
#include "plugin_frame/kel_channel.h"
#include "plugin_frame/plugin_exports.h"

static ChannelType g_record;

CHANNEL_EXPORT ChannelType* GetType() {
    FillChannelType(g_record, ChannelTypeInfo{"OldEngine", MakeGuid("0D6B6C1E-7A51-4C43-9E0B-3F1A2B5C7D02"),
                                              kNullGuid, 1});
    g_record.engineVersion = 42;
    return &g_record;
}

CHANNEL_EXPORT Kel_Channel* InitDLL() { return new (std::nothrow) Kel_Channel(); }
