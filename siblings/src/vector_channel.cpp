#include "plugin_frame/siblings/vector_channel.h"

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_VectorChannel,
                       (ChannelTypeInfo{"Vector", type_guids::kVectorChannel, type_guids::kVectorChannel, 1}))

Kco_VectorChannel::Kco_VectorChannel() { SetChannelName("Vector"); }
Kco_VectorChannel::~Kco_VectorChannel() = default;

bool Kco_VectorChannel::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    const float xyz[3] = {vector.x, vector.y, vector.z};
    SaveField(saver, "VCXY", xyz);
    return true;
}

bool Kco_VectorChannel::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    float xyz[3] = {vector.x, vector.y, vector.z};
    if (LoadField(loader, "VCXY", xyz)) vector = D3DXVECTOR3(xyz[0], xyz[1], xyz[2]);
    return true;
}

D3DXVECTOR3 Kco_VectorChannel::GetVector() { return vector; }

void Kco_VectorChannel::SetVector(const D3DXVECTOR3& v) {
    vector = v;
    SetTimeStamp();
}
