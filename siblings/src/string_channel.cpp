#include "plugin_frame/siblings/string_channel.h"

#include <cstring>
#include <string>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_StringChannel,
                       (ChannelTypeInfo{"String", type_guids::kStringChannel, type_guids::kStringChannel, 1}))

Kco_StringChannel::Kco_StringChannel() { SetChannelName("String"); }
Kco_StringChannel::~Kco_StringChannel() = default;

// "STTX" holds the text with its NUL; a null text is saved as no record at all.
bool Kco_StringChannel::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    if (const char* t = text.GetString()) {
        uint32_t n = uint32_t(std::strlen(t) + 1);
        saver.SaveTag("STTX");
        saver.SaveBlockSize(n);
        saver.SaveDataToFile(t, n);
    }
    return true;
}

bool Kco_StringChannel::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    if (loader.GetInfoIfTag("STTX")) {
        std::span<const uint8_t> data = loader.TakeTagData();
        // Stops at the first NUL; a record without one still gives a terminated text.
        std::string value(reinterpret_cast<const char*>(data.data()), data.size());
        SetString(value.c_str());
    }
    return true;
}

uint32_t Kco_StringChannel::GetTimeStamp() { return Kel_Channel::GetTimeStamp(); }

const char* Kco_StringChannel::GetString() { return text.GetString(); }

void Kco_StringChannel::SetString(const char* value) {
    text.SetString(value);
    SetTimeStamp();
}
