// The engine as plug-ins and hosts see it. Plug-ins use the services in the first
// section; hosts (the viewer, tests, benchmarks) drive frames and files with the second.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "plugin_frame/kel_channel.h"

class EngineInterface {
public:
    EngineInterface();
    EngineInterface(const EngineInterface&) = delete;
    EngineInterface& operator=(const EngineInterface&) = delete;
    // Destroys the unique channels, then unloads the channel libraries.
    ~EngineInterface();

    // The engine new channels attach to: the last one made current (a new engine makes
    // itself current).
    static EngineInterface* Current();
    void MakeCurrent();

    // ---- services for channels ----
    // A new channel of the type, owned by the caller (delete it through its virtual
    // destructor). Null when the type's library cannot be loaded or refuses to construct.
    Kel_Channel* InitChannelFromType(const GUID& type, Kel_ChannelGroup* group, bool flag);
    // The one channel of this type and name (null name: the unnamed one), created (and
    // given its OneTimeInitialize) on first request, and owned by the engine.
    Kel_Channel* GetUniqueChannel(const GUID& type, const char* name);
    void AddChannelToEvent(Kel_Channel* channel, int event);
    void RemoveChannelFromEvent(Kel_Channel* channel, int event);
    void ShowDebugMessage(const char* text);
    void ShowDebugMessage(const char* text, int value);

    uint32_t GetFrameNumber() const { return frameNumber_; }
    // The last frame's duration in 1/25 s, between 0 and 2.
    float GetFrameTime() const { return frameTime_; }
    // A fresh value for SetTimeStamp: strictly increasing over the engine's life.
    uint32_t NextTimeStamp() { return ++timeStampCounter_; }

    // ---- host side ----
    // Where channel libraries "<GUID>.dll" are looked up (matched ignoring case).
    void SetChannelsFolder(const std::string& folder);
    const std::string& GetChannelsFolder() const;
    // The type record of a channel type, loading its library on first use; null when the
    // library is missing, lacks the exports or reports another engine version.
    const ChannelType* GetRegisteredType(const GUID& type);
    // Creates a channel in `group` (owned by it) and the children of its auto-create links.
    Kel_Channel* CreateChannelInGroup(const GUID& type, Kel_ChannelGroup& group, const char* name);

    // Starts a frame: the frame number moves on, the frame time is set (clamped to 0..2,
    // in 1/25 s; NaN gives 0) and event 0 is delivered to the channels registered for it.
    void BeginFrame(float frameTime);
    // Delivers an event to every channel registered for it, in registration order.
    void DoEvent(int event, unsigned long data);

    // The messages both ShowDebugMessage outlets received, oldest first.
    const std::vector<std::string>& GetDebugMessages() const;
    void ClearDebugMessages();
    // Echo debug messages to stderr as they arrive (off by default).
    void SetDebugEcho(bool echo);

    // Channel group files (.cgr): saving writes every channel of the group with its links;
    // loading re-creates them, loads their records, links them, then runs DoDependencyInit
    // and OneTimeInitialize. Loading returns null for a missing, truncated or corrupt file.
    bool SaveChannelGroup(Kel_ChannelGroup& group, const std::string& path);
    std::unique_ptr<Kel_ChannelGroup> LoadChannelGroup(const std::string& path);
    std::unique_ptr<Kel_ChannelGroup> LoadChannelGroupFromMemory(std::span<const uint8_t> bytes,
                                                                 const std::string& fileName);

private:
    friend class Kel_Channel;
    // A channel being destroyed leaves every event list.
    void ForgetChannel(Kel_Channel* channel);
    Kel_Channel* CreateFromType(const GUID& type);
    struct Impl;
    std::unique_ptr<Impl> impl_;
    uint32_t frameNumber_ = 1;
    float frameTime_ = 0.0f;
    uint32_t timeStampCounter_ = 0;
};
