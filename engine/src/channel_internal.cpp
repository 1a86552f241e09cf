#include "plugin_frame/channel_internal.h"

#include <cstring>
#include <map>

#include "plugin_frame/kel_channel.h"

namespace {
// Public-call information lives beside the channels, keyed by channel.
std::map<const Kel_Channel*, PublicCallInfo>& PublicCalls() {
    // Never destroyed: channels may still be freed while the process exits.
    static auto* calls = new std::map<const Kel_Channel*, PublicCallInfo>;
    return *calls;
}

bool IsAbsolute(const std::string& path) {
    return (!path.empty() && (path[0] == '\\' || path[0] == '/')) ||
           (path.size() > 1 && path[1] == ':');
}
}  // namespace

Kel_Channel* channelInternal::GetInternalChild(Kel_Channel* channel, int n) {
    return channel ? channel->GetChild(n) : nullptr;
}

PublicCallInfo* channelInternal::GetPublicCallInfo(Kel_Channel* channel) {
    if (!channel || channel->GetChannelInterfaceType() != 2) return nullptr;
    auto it = PublicCalls().find(channel);
    return it == PublicCalls().end() ? nullptr : &it->second;
}

void channelInternal::SetPublicCallInfo(Kel_Channel* channel, const char* fileName) {
    if (!channel) return;
    PublicCallInfo& info = PublicCalls()[channel];
    std::memset(info.fileName, 0, sizeof info.fileName);
    if (fileName) std::strncpy(info.fileName, fileName, sizeof info.fileName - 1);
    channel->SetChannelInterfaceType(2);
}

void channelInternal::ForgetChannel(Kel_Channel* channel) { PublicCalls().erase(channel); }

void FilePathFind::SetSourcePath(const char* path) {
    std::string p = path ? path : "";
    size_t cut = p.find_last_of("\\/");
    sourceFolder_ = cut == std::string::npos ? std::string() : p.substr(0, cut);
}

std::string FilePathFind::GetCompleteFilePath(const char* relative) const {
    std::string rel = relative ? relative : "";
    if (IsAbsolute(rel) || sourceFolder_.empty()) return rel;
    return sourceFolder_ + "\\" + rel;
}
