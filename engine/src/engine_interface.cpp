#include "plugin_frame/engine_interface.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>

#include "creation_context.h"
#include "os/native_path.h"
#include "os/shared_library.h"

namespace {

EngineInterface* g_currentEngine = nullptr;

using GetTypeFunction = ChannelType* (*)();
using InitDllFunction = void* (*)();

struct RegisteredType {
    ChannelType type;             // the engine's copy of the library's record
    InitDllFunction initDll = nullptr;
};

struct UniqueKey {
    GUID type;
    std::string name;
    bool named;
    bool operator<(const UniqueKey& o) const {
        if (type != o.type) return type < o.type;
        if (named != o.named) return named < o.named;
        return name < o.name;
    }
};

}  // namespace

struct EngineInterface::Impl {
    std::string channelsFolder = "channels";
    // A null entry remembers a type that could not be loaded, so it is reported once.
    std::map<GUID, std::unique_ptr<RegisteredType>> types;
    std::map<UniqueKey, Kel_Channel*> uniques;
    std::vector<Kel_Channel*> uniqueOrder;  // creation order, destroyed in reverse
    std::map<int, std::vector<Kel_Channel*>> events;
    // DoEvent's copies of the lists it delivers, one per nesting depth (a handler may send
    // an event), kept between frames so that delivering an event allocates nothing once
    // they have grown. A deque: a deeper copy added never moves the outer ones.
    std::deque<std::vector<Kel_Channel*>> eventTargets;
    size_t eventDepth = 0;
    std::vector<std::string> debugMessages;
    bool echo = false;
};

EngineInterface::EngineInterface() : impl_(std::make_unique<Impl>()) { MakeCurrent(); }

EngineInterface::~EngineInterface() {
    // Unique channels may hold private channels of their own; they are destroyed while
    // this engine is still whole. Libraries stay loaded: code of a library may still be
    // referenced by objects a host has not freed yet, and a later engine reuses them.
    EngineInterface* previous = g_currentEngine;
    g_currentEngine = this;
    while (!impl_->uniqueOrder.empty()) {
        Kel_Channel* channel = impl_->uniqueOrder.back();
        impl_->uniqueOrder.pop_back();
        delete channel;
    }
    impl_->uniques.clear();
    g_currentEngine = previous == this ? nullptr : previous;
}

EngineInterface* EngineInterface::Current() { return g_currentEngine; }
void EngineInterface::MakeCurrent() { g_currentEngine = this; }

void EngineInterface::SetChannelsFolder(const std::string& folder) { impl_->channelsFolder = folder; }
const std::string& EngineInterface::GetChannelsFolder() const { return impl_->channelsFolder; }

const ChannelType* EngineInterface::GetRegisteredType(const GUID& guid) {
    auto found = impl_->types.find(guid);
    if (found != impl_->types.end()) return found->second ? &found->second->type : nullptr;

    auto& slot = impl_->types[guid];
    std::string path = impl_->channelsFolder + "\\" + FormatGuid(guid) + ".dll";
    os::LibraryHandle library = os::LoadLibrary(path);
    if (!library) {
        ShowDebugMessage(("Can't load channel library " + path + ": " + os::LastLibraryError()).c_str());
        return nullptr;
    }
    auto getType = reinterpret_cast<GetTypeFunction>(os::GetProcAddress(library, "GetType"));
    auto initDll = reinterpret_cast<InitDllFunction>(os::GetProcAddress(library, "InitDLL"));
    const ChannelType* record = getType ? getType() : nullptr;
    if (!record || !initDll) {
        ShowDebugMessage(("Channel library lacks GetType or InitDLL: " + path).c_str());
        return nullptr;
    }
    if (record->engineVersion != kEngineInterfaceVersion) {
        ShowDebugMessage("Channel type built for another engine version:", record->engineVersion);
        return nullptr;
    }
    auto registered = std::make_unique<RegisteredType>();
    registered->type = *record;
    registered->initDll = initDll;
    slot = std::move(registered);
    return &slot->type;
}

Kel_Channel* EngineInterface::CreateFromType(const GUID& guid) {
    const ChannelType* type = GetRegisteredType(guid);
    if (!type) return nullptr;
    const RegisteredType& reg = *impl_->types[guid];

    EngineInterface* previousEngine = g_currentEngine;
    const ChannelType* previousType = engine_detail::g_typeUnderConstruction;
    g_currentEngine = this;
    engine_detail::g_typeUnderConstruction = type;
    auto* channel = static_cast<Kel_Channel*>(reg.initDll());
    engine_detail::g_typeUnderConstruction = previousType;
    g_currentEngine = previousEngine;
    if (!channel) {
        ShowDebugMessage(("Channel could not be created: " + FormatGuid(guid)).c_str());
        return nullptr;
    }
    channel->type_ = *type;
    return channel;
}

Kel_Channel* EngineInterface::InitChannelFromType(const GUID& type, Kel_ChannelGroup* group, bool) {
    Kel_Channel* channel = CreateFromType(type);
    if (channel && group) channel->SetChannelGroup(group);
    return channel;
}

Kel_Channel* EngineInterface::GetUniqueChannel(const GUID& type, const char* name) {
    UniqueKey key{type, name ? name : "", name != nullptr};
    auto found = impl_->uniques.find(key);
    if (found != impl_->uniques.end()) return found->second;
    Kel_Channel* channel = CreateFromType(type);
    if (!channel) return nullptr;
    if (name) channel->SetChannelName(name);
    impl_->uniques[key] = channel;
    impl_->uniqueOrder.push_back(channel);
    // A unique channel belongs to no group, so no group load initialises it: it is
    // initialised once here, before anything can register it for events.
    channel->OneTimeInitialize();
    return channel;
}

Kel_Channel* EngineInterface::CreateChannelInGroup(const GUID& type, Kel_ChannelGroup& group,
                                                   const char* name) {
    Kel_Channel* channel = CreateFromType(type);
    if (!channel) return nullptr;
    if (name) channel->SetChannelName(name);
    group.AddChannel(channel);
    for (int i = 0; i < channel->GetChildCreationCount(); ++i) {
        const ChildCreation* decl = channel->GetChildCreateType(i);
        if (!decl || !decl->autoCreate) continue;
        GUID childType = decl->defaultChildGuid != kNullGuid ? decl->defaultChildGuid : decl->linkType.typeGuid;
        Kel_Channel* child = CreateChannelInGroup(childType, group, decl->linkName);
        if (child && !channel->LinkChild(child, i))
            ShowDebugMessage("Auto-created child could not be linked at", i);
    }
    return channel;
}

void EngineInterface::AddChannelToEvent(Kel_Channel* channel, int event) {
    if (!channel) return;
    auto& list = impl_->events[event];
    if (std::find(list.begin(), list.end(), channel) == list.end()) list.push_back(channel);
}

void EngineInterface::RemoveChannelFromEvent(Kel_Channel* channel, int event) {
    auto it = impl_->events.find(event);
    if (it == impl_->events.end()) return;
    auto& list = it->second;
    list.erase(std::remove(list.begin(), list.end(), channel), list.end());
}

void EngineInterface::ForgetChannel(Kel_Channel* channel) {
    for (auto& [event, list] : impl_->events)
        list.erase(std::remove(list.begin(), list.end(), channel), list.end());
}

void EngineInterface::DoEvent(int event, unsigned long data) {
    auto it = impl_->events.find(event);
    if (it == impl_->events.end()) return;
    // A handler may register or remove channels; deliver to those registered now.
    if (impl_->eventDepth == impl_->eventTargets.size()) impl_->eventTargets.emplace_back();
    std::vector<Kel_Channel*>& targets = impl_->eventTargets[impl_->eventDepth];
    targets.assign(it->second.begin(), it->second.end());
    struct DepthGuard {
        size_t& depth;
        explicit DepthGuard(size_t& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } guard(impl_->eventDepth);
    for (Kel_Channel* channel : targets) {
        const auto& current = impl_->events[event];
        if (std::find(current.begin(), current.end(), channel) != current.end())
            channel->DoEvent(event, data);
    }
}

void EngineInterface::BeginFrame(float frameTime) {
    ++frameNumber_;
    if (frameNumber_ == 0) frameNumber_ = 1;  // 0 is never a frame a channel has seen
    // An undefined time counts as none: channels scale velocities and backlogs by it.
    frameTime_ = !(frameTime > 0.0f) ? 0.0f : frameTime > 2.0f ? 2.0f : frameTime;
    DoEvent(0, 0);
}

void EngineInterface::ShowDebugMessage(const char* text) {
    impl_->debugMessages.emplace_back(text ? text : "");
    if (impl_->echo) std::fprintf(stderr, "%s\n", impl_->debugMessages.back().c_str());
}

void EngineInterface::ShowDebugMessage(const char* text, int value) {
    impl_->debugMessages.emplace_back(std::string(text ? text : "") + " " + std::to_string(value));
    if (impl_->echo) std::fprintf(stderr, "%s\n", impl_->debugMessages.back().c_str());
}

const std::vector<std::string>& EngineInterface::GetDebugMessages() const { return impl_->debugMessages; }
void EngineInterface::ClearDebugMessages() { impl_->debugMessages.clear(); }
void EngineInterface::SetDebugEcho(bool echo) { impl_->echo = echo; }
