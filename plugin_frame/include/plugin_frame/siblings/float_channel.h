// Float channel: the base of every channel that yields one number.
#pragma once

#include "plugin_frame/kel_channel.h"

class Kco_FloatChannel : public Kel_Channel {
public:
    Kco_FloatChannel();
    Kco_FloatChannel(const Kco_FloatChannel&) = default;
    Kco_FloatChannel& operator=(const Kco_FloatChannel&) = default;
    ~Kco_FloatChannel() override;

    void CallChannel() override;
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;

    virtual float GetFloat();
    virtual float GetOldFloat();
    virtual void SetFloat(float value);
    virtual float GetDefaultFloat();
    virtual void SetDefaultFloat(float value);
    virtual bool GetDefaultFloatSetting();
    virtual void SetDefaultFloatSetting(bool useDefault);

protected:
    float currentFloat = 0.0f;   // the value; derived classes write it directly
    float oldFloat = 0.0f;       // the value before the last SetFloat
    float defaultFloat = 0.0f;   // the value restored when the default setting is on
    bool useDefaultFloat = false;
};
