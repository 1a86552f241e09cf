#include "plugin_frame/siblings/tick_count_channel.h"

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_TickCountChannel,
                       (ChannelTypeInfo{"TickCount", type_guids::kTickCountChannel, type_guids::kFloatChannel, 1}))

Kco_TickCountChannel::Kco_TickCountChannel() { SetChannelName("TickCount"); }
Kco_TickCountChannel::~Kco_TickCountChannel() = default;

float Kco_TickCountChannel::GetFloat() {
    currentFloat = engineInterface ? engineInterface->GetFrameTime() : 0.0f;
    return currentFloat;
}
