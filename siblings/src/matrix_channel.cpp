#include "plugin_frame/siblings/matrix_channel.h"

#include <vecmath/d3dx_math.h>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_MatrixChannel,
                       (ChannelTypeInfo{"Matrix", type_guids::kMatrixChannel, type_guids::kMatrixChannel, 1}))

Kco_MatrixChannel::Kco_MatrixChannel() {
    SetChannelName("Matrix");
    D3DXMatrixIdentity(&matrix);
}
Kco_MatrixChannel::~Kco_MatrixChannel() = default;

void Kco_MatrixChannel::CallChannel() {}

bool Kco_MatrixChannel::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    saver.SaveTag("MXMA");
    saver.SaveBlockSize(sizeof(float) * 16);
    saver.SaveDataToFile(&matrix.m[0][0], sizeof(float) * 16);
    return true;
}

bool Kco_MatrixChannel::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    if (loader.GetInfoIfTag("MXMA")) loader.CopyTagDataToPointer(&matrix.m[0][0], sizeof(float) * 16);
    return true;
}

void Kco_MatrixChannel::DoDependencyInit(Kel_List* list) { Kel_Channel::DoDependencyInit(list); }

D3DXMATRIX Kco_MatrixChannel::GetMatrix() { return matrix; }

void Kco_MatrixChannel::SetMatrix(const D3DXMATRIX& m) {
    matrix = m;
    SetTimeStamp();
}
