// String channel: a text that may be null. Its time stamp changes whenever the text does.
#pragma once

#include "plugin_frame/kel_channel.h"
#include "plugin_frame/kel_string.h"

class Kco_StringChannel : public Kel_Channel {
public:
    Kco_StringChannel();
    ~Kco_StringChannel() override;

    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    uint32_t GetTimeStamp() override;

    // The text, or null when none is set.
    virtual const char* GetString();
    // Keeps a copy of text (null clears it) and takes a new time stamp.
    virtual void SetString(const char* text);

protected:
    Kel_String text;
};
