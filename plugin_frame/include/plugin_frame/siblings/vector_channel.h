// Vector channel: three floats.
#pragma once

#include <vecmath/d3dx_types.h>

#include "plugin_frame/kel_channel.h"

class Kco_VectorChannel : public Kel_Channel {
public:
    Kco_VectorChannel();
    ~Kco_VectorChannel() override;

    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;

    virtual D3DXVECTOR3 GetVector();
    virtual void SetVector(const D3DXVECTOR3& vector);

protected:
    D3DXVECTOR3 vector;
};
