#include "link_test_channel.h"

DEFINE_CHANNEL_EXPORTS(LinkTestChannel, (ChannelTypeInfo{"LinkTest", kLinkTestType, kLinkTestType, 1}))
