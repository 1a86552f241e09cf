// A channel used only by the engine's tests: one link of each kind, and two saved fields.
#pragma once

#include "plugin_frame/kel_channel.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

inline constexpr GUID kLinkTestType = MakeGuid("0D6B6C1E-7A51-4C43-9E0B-3F1A2B5C7D01");

class LinkTestChannel : public Kel_Channel {
public:
    LinkTestChannel() {
        SetChannelName("LinkTest");
        SetChildCreationCount(3);
        SetChildCreateType(MakeChildCreation("Value", type_guids::kFloatChannel, 0, false, "One float"), 0);
        SetChildCreateType(MakeChildCreation("All types", kAnyTypeGuid, -1, false, "Anything"), 1);
        SetChildCreateType(MakeChildCreation("Vector", type_guids::kVectorChannel, 2, true, "Made with me"), 2);
    }
    bool SaveChannel(KelFileSaver& saver) override {
        if (!Kel_Channel::SaveChannel(saver)) return false;
        SaveField(saver, "LTNA", number);
        SaveField(saver, "LTNB", flag);
        return true;
    }
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override {
        if (!Kel_Channel::LoadChannel(loader, group)) return false;
        LoadField(loader, "LTNA", number);
        LoadField(loader, "LTNB", flag);
        return true;
    }
    void OneTimeInitialize() override { ++initializeCount; }
    void DoEvent(int event, unsigned long data) override { lastEvent = event, ++eventCount; }
    bool Fresh() { return CheckRenderCount(); }

    int32_t number = 7;
    bool flag = true;
    int initializeCount = 0;
    int eventCount = 0;
    int lastEvent = -1;
};

