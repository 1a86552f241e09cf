#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cstring>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/skinned_object_data.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_BoneOffsetObjectData,
                       (ChannelTypeInfo{"DX8 BoneOffsetObjectData", type_guids::kBoneOffsetObjectData,
                                        type_guids::kObjectDataChannel, 0}))

namespace {
constexpr int kMaxMatrices = 256;
}

Kco_DX8_BoneOffsetObjectData::Kco_DX8_BoneOffsetObjectData() { SetChannelName("DX8 BoneOffsetObjectData"); }

Kco_DX8_BoneOffsetObjectData::~Kco_DX8_BoneOffsetObjectData() = default;

bool Kco_DX8_BoneOffsetObjectData::SaveChannel(KelFileSaver& saver) {
    if (!Kco_DX8_SkinnedObjectData::SaveChannel(saver)) return false;
    saver.SaveTag("SKBO");
    saver.SaveBlockSize(uint32_t(boneOffsets.size() * 64));
    for (const D3DXMATRIX& m : boneOffsets) saver.SaveDataToFile(&m.m[0][0], 64);
    return true;
}

bool Kco_DX8_BoneOffsetObjectData::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kco_DX8_SkinnedObjectData::LoadChannel(loader, group)) return false;
    boneOffsets.clear();
    if (loader.GetInfoIfTag("SKBO")) {
        std::span<const uint8_t> data = loader.TakeTagData();
        boneOffsets.resize(std::min<size_t>(data.size() / 64, kMaxMatrices));
        for (size_t k = 0; k < boneOffsets.size(); ++k) std::memcpy(&boneOffsets[k].m[0][0], data.data() + 64 * k, 64);
    }
    return true;
}

// Row vectors: the offset brings the vertex into the bone's space, the bone's matrix
// then places it in the world.
D3DXMATRIX Kco_DX8_BoneOffsetObjectData::GetBlendMatrix(int number) {
    const D3DXMATRIX bone = Kco_DX8_SkinnedObjectData::GetBlendMatrix(number);
    return GetBoneOffset(number) * bone;
}

void Kco_DX8_BoneOffsetObjectData::SetBoneOffset(int number, const D3DXMATRIX& offset) {
    if (number < 0 || number >= kMaxMatrices) return;
    if (number >= int(boneOffsets.size())) {
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        boneOffsets.resize(number + 1, identity);
    }
    boneOffsets[number] = offset;
}

D3DXMATRIX Kco_DX8_BoneOffsetObjectData::GetBoneOffset(int number) {
    if (number >= 0 && number < int(boneOffsets.size())) return boneOffsets[number];
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    return identity;
}
