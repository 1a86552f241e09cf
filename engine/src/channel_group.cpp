#include <algorithm>
#include <cstring>

#include "plugin_frame/kel_channel.h"

Kel_ChannelGroup::~Kel_ChannelGroup() {
    for (auto it = channels_.rbegin(); it != channels_.rend(); ++it) delete *it;
}

void Kel_ChannelGroup::AddChannel(Kel_Channel* channel) {
    if (!channel) return;
    channels_.push_back(channel);
    channel->SetChannelGroup(this);
}

int Kel_ChannelGroup::IndexOf(const Kel_Channel* channel) const {
    auto it = std::find(channels_.begin(), channels_.end(), channel);
    return it == channels_.end() ? -1 : int(it - channels_.begin());
}

Kel_Channel* Kel_ChannelGroup::FindChannel(const char* name) const {
    if (!name) return nullptr;
    for (Kel_Channel* c : channels_)
        if (std::strcmp(c->GetChannelName(), name) == 0) return c;
    return nullptr;
}
