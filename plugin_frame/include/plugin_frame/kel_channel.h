// The engine's channel base class. Every channel class starts its virtual table with the
// twelve operations below, in this order: the order is the binary contract between the
// engine and the plug-in libraries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin_frame/channel_type.h"
#include "plugin_frame/file_loader.h"
#include "plugin_frame/file_saver.h"
#include "plugin_frame/kel_list.h"

class EngineInterface;
class Kel_ChannelGroup;
struct ChildInfo;

// Most-base part of every channel: the engine that created it. The pointer is taken from
// the engine that is current when the object is constructed, so it is valid inside a
// plug-in's constructor.
class DllInterface {
public:
    DllInterface();
    DllInterface(const DllInterface&) = default;
    DllInterface& operator=(const DllInterface&) = default;

    EngineInterface* GetEngineInterface() const { return engineInterface; }

protected:
    EngineInterface* engineInterface;
};

class Kel_Channel : public DllInterface {
public:
    Kel_Channel();
    Kel_Channel(const Kel_Channel& other);
    Kel_Channel& operator=(const Kel_Channel& other);

    // ---- virtual operations, slot order 0 to 11 ----
    virtual ~Kel_Channel();
    virtual void CallChannel();
    virtual void OneTimeInitialize();
    virtual void DoEvent(int event, unsigned long data);
    virtual ChannelType GetChannelType();
    virtual bool SaveChannel(KelFileSaver& saver);
    virtual bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group);
    virtual void SetChannelInterfaceType(int type);
    virtual Kel_Channel* GetChannelFromChannel(Kel_Channel* channel, ChildInfo* info);
    virtual uint32_t GetTimeStamp();
    virtual void SetTimeStamp();
    virtual void DoDependencyInit(Kel_List* list);

    // ---- naming ----
    void SetChannelName(const char* name);
    const char* GetChannelName() const { return name_.c_str(); }

    // ---- link declarations ----
    // Clears earlier declarations and makes room for n.
    void SetChildCreationCount(int n);
    // Stores declaration `index`; refuses a second one-child link at the same position.
    bool SetChildCreateType(const ChildCreation& record, int index);
    int GetChildCreationCount() const { return int(declarations_.size()); }
    // The declaration at `index`, or null when none was stored there.
    const ChildCreation* GetChildCreateType(int index) const;

    // ---- children, counted in link order ----
    Kel_Channel* GetChild(int i) const;
    int GetChildCount() const { return int(children_.size()); }
    // The n-th child linked through link `position`.
    Kel_Channel* GetChildFromLinkPosition(int position, int n = 0) const;
    int GetChildLinkPositionCount(int position) const;
    // The n-th child (from 0) whose type GUID or base type GUID is `guid`.
    Kel_Channel* GetChildFromLinkGuid(const GUID& guid, int n) const;
    int GetChildTypeCount(const GUID& guid) const;
    // The link index child i hangs on, or -1.
    int GetChildLinkIndex(int i) const;
    void AddChannelGuidDepend(const GUID& guid, Kel_List* list);

    // Links `child` through declared link `linkIndex`. False for an undeclared link, a
    // second child on a one-child link, a child of a type the link does not accept, a null
    // child or the channel itself.
    bool LinkChild(Kel_Channel* child, int linkIndex);
    bool UnlinkChild(Kel_Channel* child);
    // Changes whenever any link between channels is made or broken (a destroyed channel
    // included), so a parent may keep what it found among its children until it changes.
    static uint64_t GetLinkGeneration();

    // ---- type and group ----
    // Whether the channel's type GUID or base type GUID is `guid`.
    bool IsOfType(const GUID& guid) const;
    const ChannelType& Type() const { return type_; }
    Kel_ChannelGroup* GetChannelGroup() const { return group_; }
    void SetChannelGroup(Kel_ChannelGroup* group) { group_ = group; }
    int GetChannelInterfaceType() const { return interfaceType_; }

protected:
    // True for the first query in a frame, false for later ones in the same frame.
    bool CheckRenderCount();

private:
    friend class EngineInterface;
    struct Link {
        Kel_Channel* child;
        int linkIndex;
    };
    void DetachFromGraph();

    std::string name_;
    ChannelType type_;                        // set by the engine that creates the channel
    std::vector<ChildCreation> declarations_; // index = link index
    std::vector<bool> declared_;
    std::vector<Link> children_;              // sorted by link index, then by linking order
    std::vector<Kel_Channel*> parents_;       // so a destroyed child leaves no dangling link
    Kel_ChannelGroup* group_ = nullptr;
    uint32_t renderFrame_ = 0;                // frame of the last CheckRenderCount that said true
    uint32_t timeStamp_ = 0;
    int interfaceType_ = 0;
};

// A set of channels loaded from or saved to one group file. It owns its channels.
class Kel_ChannelGroup {
public:
    Kel_ChannelGroup() = default;
    Kel_ChannelGroup(const Kel_ChannelGroup&) = delete;
    Kel_ChannelGroup& operator=(const Kel_ChannelGroup&) = delete;
    ~Kel_ChannelGroup();

    // The group's file, or null when it has none.
    const char* GetChannelGroupFileName() const { return fileName_.empty() ? nullptr : fileName_.c_str(); }
    void SetChannelGroupFileName(const char* name) { fileName_ = name ? name : ""; }

    // Takes ownership of `channel` and makes this its group.
    void AddChannel(Kel_Channel* channel);
    int GetChannelCount() const { return int(channels_.size()); }
    Kel_Channel* GetChannel(int i) const { return i >= 0 && i < int(channels_.size()) ? channels_[i] : nullptr; }
    int IndexOf(const Kel_Channel* channel) const;
    // The first channel with this name, or null.
    Kel_Channel* FindChannel(const char* name) const;

private:
    std::string fileName_;
    std::vector<Kel_Channel*> channels_;
};
