// What a channel's base constructors pick up while the engine creates it: the engine
// (for DllInterface) and the type record being instantiated (for Kel_Channel).
#pragma once

#include "plugin_frame/channel_type.h"

class EngineInterface;

namespace engine_detail {
// The type the engine is constructing right now; consumed by the first Kel_Channel
// constructor that runs, so a channel created inside another's constructor gets its own.
extern const ChannelType* g_typeUnderConstruction;
}  // namespace engine_detail
