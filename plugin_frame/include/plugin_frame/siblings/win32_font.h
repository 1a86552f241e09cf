// Win32 font channel: holds the description of a Windows font, which the 3D text reads to
// create its font.
#pragma once

#include <gdi/wingdi.h>

#include "plugin_frame/kel_channel.h"

class Kco_Win32_Font : public Kel_Channel {
public:
    Kco_Win32_Font();
    ~Kco_Win32_Font() override;

    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;

    // The font description; starts as 0 height, weight 400, default character set, "Arial".
    virtual LOGFONTA GetFont();
    virtual void SetFont(const LOGFONTA& font);

protected:
    LOGFONTA font;
};
