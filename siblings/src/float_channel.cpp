#include "plugin_frame/siblings/float_channel.h"

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_FloatChannel,
                       (ChannelTypeInfo{"Value", type_guids::kFloatChannel, type_guids::kFloatChannel, 1}))

Kco_FloatChannel::Kco_FloatChannel() { SetChannelName("Value"); }
Kco_FloatChannel::~Kco_FloatChannel() = default;

void Kco_FloatChannel::CallChannel() {
    if (useDefaultFloat) SetFloat(defaultFloat);
}

bool Kco_FloatChannel::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveField(saver, "FLVA", currentFloat);
    SaveField(saver, "FLDF", defaultFloat);
    SaveField(saver, "FLDS", useDefaultFloat);
    return true;
}

bool Kco_FloatChannel::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    LoadField(loader, "FLVA", currentFloat);
    LoadField(loader, "FLDF", defaultFloat);
    LoadField(loader, "FLDS", useDefaultFloat);
    oldFloat = currentFloat;
    return true;
}

float Kco_FloatChannel::GetFloat() { return currentFloat; }
float Kco_FloatChannel::GetOldFloat() { return oldFloat; }

void Kco_FloatChannel::SetFloat(float value) {
    oldFloat = currentFloat;
    currentFloat = value;
    SetTimeStamp();
}

float Kco_FloatChannel::GetDefaultFloat() { return defaultFloat; }
void Kco_FloatChannel::SetDefaultFloat(float value) { defaultFloat = value; }
bool Kco_FloatChannel::GetDefaultFloatSetting() { return useDefaultFloat; }
void Kco_FloatChannel::SetDefaultFloatSetting(bool useDefault) { useDefaultFloat = useDefault; }
