#include <algorithm>

#include "creation_context.h"
#include "plugin_frame/channel_internal.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/vantrel_assert.h"

namespace engine_detail {
const ChannelType* g_typeUnderConstruction = nullptr;
}

namespace {
uint64_t g_linkGeneration = 1;
}

uint64_t Kel_Channel::GetLinkGeneration() { return g_linkGeneration; }

DllInterface::DllInterface() : engineInterface(EngineInterface::Current()) {}

Kel_Channel::Kel_Channel() {
    if (engine_detail::g_typeUnderConstruction) {
        type_ = *engine_detail::g_typeUnderConstruction;
        engine_detail::g_typeUnderConstruction = nullptr;
    }
}

Kel_Channel::Kel_Channel(const Kel_Channel& other)
    : DllInterface(other),
      name_(other.name_),
      type_(other.type_),
      declarations_(other.declarations_),
      declared_(other.declared_),
      group_(other.group_),
      timeStamp_(other.timeStamp_),
      interfaceType_(other.interfaceType_) {
    // The copy hangs on the same children; it starts a frame of its own.
    ++g_linkGeneration;
    for (const Link& link : other.children_) {
        children_.push_back(link);
        link.child->parents_.push_back(this);
    }
}

Kel_Channel& Kel_Channel::operator=(const Kel_Channel& other) {
    if (this == &other) return *this;
    DetachFromGraph();
    DllInterface::operator=(other);
    name_ = other.name_;
    type_ = other.type_;
    declarations_ = other.declarations_;
    declared_ = other.declared_;
    group_ = other.group_;
    timeStamp_ = other.timeStamp_;
    interfaceType_ = other.interfaceType_;
    renderFrame_ = 0;
    for (const Link& link : other.children_) {
        children_.push_back(link);
        link.child->parents_.push_back(this);
    }
    return *this;
}

Kel_Channel::~Kel_Channel() {
    DetachFromGraph();
    channelInternal::ForgetChannel(this);
    if (engineInterface) engineInterface->ForgetChannel(this);
}

void Kel_Channel::DetachFromGraph() {
    ++g_linkGeneration;
    for (Kel_Channel* parent : parents_) {
        auto& siblings = parent->children_;
        siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                      [this](const Link& l) { return l.child == this; }),
                       siblings.end());
    }
    parents_.clear();
    for (const Link& link : children_) {
        auto& up = link.child->parents_;
        auto it = std::find(up.begin(), up.end(), this);
        VANTREL_ASSERT(it != up.end());  // every link is recorded on both of its ends
        if (it != up.end()) up.erase(it);
    }
    children_.clear();
}

void Kel_Channel::CallChannel() {}
void Kel_Channel::OneTimeInitialize() {}
void Kel_Channel::DoEvent(int, unsigned long) {}
ChannelType Kel_Channel::GetChannelType() { return type_; }
bool Kel_Channel::SaveChannel(KelFileSaver&) { return true; }
bool Kel_Channel::LoadChannel(KelFileLoader&, Kel_ChannelGroup* group) {
    if (group) group_ = group;
    return true;
}
void Kel_Channel::SetChannelInterfaceType(int type) { interfaceType_ = type; }
Kel_Channel* Kel_Channel::GetChannelFromChannel(Kel_Channel* channel, ChildInfo*) { return channel; }
uint32_t Kel_Channel::GetTimeStamp() { return timeStamp_; }
void Kel_Channel::SetTimeStamp() {
    timeStamp_ = engineInterface ? engineInterface->NextTimeStamp() : timeStamp_ + 1;
}
void Kel_Channel::DoDependencyInit(Kel_List*) {}

void Kel_Channel::SetChannelName(const char* name) { name_ = name ? name : ""; }

void Kel_Channel::SetChildCreationCount(int n) {
    declarations_.assign(std::max(n, 0), ChildCreation{});
    declared_.assign(std::max(n, 0), false);
}

bool Kel_Channel::SetChildCreateType(const ChildCreation& record, int index) {
    if (index < 0) return false;
    if (record.linkPosition != -1) {
        for (size_t i = 0; i < declarations_.size(); ++i) {
            if (declared_[i] && int(i) != index && declarations_[i].linkPosition == record.linkPosition) {
                if (engineInterface)
                    engineInterface->ShowDebugMessage("Link position declared twice:", record.linkPosition);
                return false;
            }
        }
    }
    if (index >= int(declarations_.size())) {
        declarations_.resize(index + 1);
        declared_.resize(index + 1, false);
    }
    declarations_[index] = record;
    declared_[index] = true;
    return true;
}

const ChildCreation* Kel_Channel::GetChildCreateType(int index) const {
    if (index < 0 || index >= int(declarations_.size()) || !declared_[index]) return nullptr;
    return &declarations_[index];
}

Kel_Channel* Kel_Channel::GetChild(int i) const {
    return i >= 0 && i < int(children_.size()) ? children_[i].child : nullptr;
}

int Kel_Channel::GetChildLinkIndex(int i) const {
    return i >= 0 && i < int(children_.size()) ? children_[i].linkIndex : -1;
}

Kel_Channel* Kel_Channel::GetChildFromLinkPosition(int position, int n) const {
    for (const Link& link : children_) {
        if (link.linkIndex == position && n-- == 0) return link.child;
    }
    return nullptr;
}

int Kel_Channel::GetChildLinkPositionCount(int position) const {
    return int(std::count_if(children_.begin(), children_.end(),
                             [position](const Link& l) { return l.linkIndex == position; }));
}

Kel_Channel* Kel_Channel::GetChildFromLinkGuid(const GUID& guid, int n) const {
    if (n < 0) return nullptr;
    for (const Link& link : children_) {
        if (link.child->IsOfType(guid) && n-- == 0) return link.child;
    }
    return nullptr;
}

int Kel_Channel::GetChildTypeCount(const GUID& guid) const {
    return int(std::count_if(children_.begin(), children_.end(),
                             [&guid](const Link& l) { return l.child->IsOfType(guid); }));
}

void Kel_Channel::AddChannelGuidDepend(const GUID& guid, Kel_List* list) {
    if (!list || !engineInterface) return;
    const ChannelType* type = engineInterface->GetRegisteredType(guid);
    if (!type) {
        engineInterface->ShowDebugMessage(("Dependency type not available: " + FormatGuid(guid)).c_str());
        return;
    }
    // The list holds the engine's own copy of the GUID, stable for the engine's life.
    void* item = const_cast<GUID*>(&type->typeGuid);
    for (int i = 0; i < list->GetItemCount(); ++i)
        if (list->GetItem(i) == item) return;
    list->AddItem(item);
}

bool Kel_Channel::IsOfType(const GUID& guid) const {
    return type_.typeGuid == guid || type_.baseTypeGuid == guid;
}

bool Kel_Channel::LinkChild(Kel_Channel* child, int linkIndex) {
    const ChildCreation* decl = GetChildCreateType(linkIndex);
    if (!child || child == this || !decl) return false;
    if (decl->linkPosition != -1 && GetChildLinkPositionCount(linkIndex) > 0) return false;
    const GUID& accepted = decl->linkType.typeGuid;
    if (accepted != kAnyTypeGuid && accepted != kNullGuid && !child->IsOfType(accepted)) return false;
    // Keep children in link order: after the last child of this or an earlier link.
    auto at = std::find_if(children_.begin(), children_.end(),
                           [linkIndex](const Link& l) { return l.linkIndex > linkIndex; });
    children_.insert(at, Link{child, linkIndex});
    child->parents_.push_back(this);
    ++g_linkGeneration;
    return true;
}

bool Kel_Channel::UnlinkChild(Kel_Channel* child) {
    auto it = std::find_if(children_.begin(), children_.end(),
                           [child](const Link& l) { return l.child == child; });
    if (it == children_.end()) return false;
    children_.erase(it);
    ++g_linkGeneration;
    auto& up = child->parents_;
    auto p = std::find(up.begin(), up.end(), this);
    VANTREL_ASSERT(p != up.end());  // every link is recorded on both of its ends
    if (p != up.end()) up.erase(p);
    return true;
}

bool Kel_Channel::CheckRenderCount() {
    if (!engineInterface) return true;
    uint32_t frame = engineInterface->GetFrameNumber();
    if (renderFrame_ == frame) return false;
    renderFrame_ = frame;
    return true;
}
