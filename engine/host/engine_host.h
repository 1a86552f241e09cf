// A host for the engine: what tests, benchmarks and the viewer use to make an engine,
// point it at a channels folder, create and link channels and step frames. It owns one
// channel group and destroys it before the engine, as every host must.
#pragma once

#include <memory>
#include <string>

#include "plugin_frame/engine_interface.h"

class EngineHost {
public:
    explicit EngineHost(const std::string& channelsFolder);
    ~EngineHost();

    EngineInterface& Engine() { return *engine_; }
    Kel_ChannelGroup& Group() { return *group_; }

    // A channel of the type in the host's group (auto-created children included); null
    // when the type cannot be created.
    Kel_Channel* Create(const GUID& type, const char* name = nullptr);
    template <typename T>
    T* Create(const GUID& type, const char* name = nullptr) {
        return static_cast<T*>(Create(type, name));
    }
    bool Link(Kel_Channel* parent, Kel_Channel* child, int linkIndex);

    // Runs `frames` frames of frame time T (1/25 s): each starts a frame and calls every
    // channel of the group once, in group order.
    void Step(float frameTime, int frames = 1);

    // Replaces the group with one loaded from a file; false when loading fails.
    bool Load(const std::string& path);
    bool Save(const std::string& path);

private:
    std::unique_ptr<EngineInterface> engine_;
    std::unique_ptr<Kel_ChannelGroup> group_;
};
