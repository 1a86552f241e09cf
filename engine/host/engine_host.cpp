#include "engine_host.h"

EngineHost::EngineHost(const std::string& channelsFolder)
    : engine_(std::make_unique<EngineInterface>()), group_(std::make_unique<Kel_ChannelGroup>()) {
    engine_->SetChannelsFolder(channelsFolder);
}

EngineHost::~EngineHost() {
    engine_->MakeCurrent();
    group_.reset();
    engine_.reset();
}

Kel_Channel* EngineHost::Create(const GUID& type, const char* name) {
    return engine_->CreateChannelInGroup(type, *group_, name);
}

bool EngineHost::Link(Kel_Channel* parent, Kel_Channel* child, int linkIndex) {
    return parent && parent->LinkChild(child, linkIndex);
}

void EngineHost::Step(float frameTime, int frames) {
    for (int f = 0; f < frames; ++f) {
        engine_->BeginFrame(frameTime);
        for (int i = 0; i < group_->GetChannelCount(); ++i) group_->GetChannel(i)->CallChannel();
    }
}

bool EngineHost::Load(const std::string& path) {
    auto loaded = engine_->LoadChannelGroup(path);
    if (!loaded) return false;
    group_ = std::move(loaded);
    return true;
}

bool EngineHost::Save(const std::string& path) { return engine_->SaveChannelGroup(*group_, path); }
