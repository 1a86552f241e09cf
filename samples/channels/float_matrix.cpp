#include "float_matrix.h"

#include <cmath>

#include <vecmath/d3dx_math.h>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_FloatMatrix,
                       (ChannelTypeInfo{"Float Matrix", kFloatMatrixType, type_guids::kMatrixChannel, 1}))

namespace {
constexpr const char* kLinkNames[4] = {"Turn", "X", "Y", "Z"};
}

Kco_FloatMatrix::Kco_FloatMatrix() {
    SetChannelName("Float Matrix");
    SetChildCreationCount(4);
    for (int i = 0; i < 4; ++i)
        SetChildCreateType(MakeChildCreation("Value", type_guids::kFloatChannel, i, false, kLinkNames[i]), i);
}

D3DXMATRIX Kco_FloatMatrix::GetMatrix() {
    float v[4] = {};
    for (int i = 0; i < 4; ++i) {
        Kel_Channel* child = GetChildFromLinkPosition(i, 0);
        if (child && child->IsOfType(type_guids::kFloatChannel)) v[i] = static_cast<Kco_FloatChannel*>(child)->GetFloat();
        if (!std::isfinite(v[i])) v[i] = 0.0f;  // an undefined input would poison every reader
    }
    D3DXMATRIX turn, move, result;
    D3DXMatrixRotationY(&turn, v[0]);
    D3DXMatrixTranslation(&move, v[1], v[2], v[3]);
    D3DXMatrixMultiply(&result, &matrix, &turn);
    D3DXMatrixMultiply(&result, &result, &move);
    return result;
}
