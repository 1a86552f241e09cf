// The engine's own channel libraries that every installed project carries (the file
// channels and the core plug-ins). Here they only take part in the plug-in contract: a
// type record, an instance, nothing saved. One source serves all of them; the build gives
// each its name and GUID.
#include "plugin_frame/kel_channel.h"
#include "plugin_frame/plugin_exports.h"

#ifndef CORE_TYPE_NAME
#error "CORE_TYPE_NAME must name the channel type"
#endif

namespace {
constexpr GUID kType = MakeGuid(CHANNEL_TYPE_GUID);
}

class Kco_CoreStandIn : public Kel_Channel {
public:
    Kco_CoreStandIn() { SetChannelName(CORE_TYPE_NAME); }
};

DEFINE_CHANNEL_EXPORTS(Kco_CoreStandIn, (ChannelTypeInfo{CORE_TYPE_NAME, kType, kType, 0}))
