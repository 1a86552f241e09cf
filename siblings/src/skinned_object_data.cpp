#include "plugin_frame/siblings/skinned_object_data.h"

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cstring>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/type_guids.h"


DEFINE_CHANNEL_EXPORTS(Kco_DX8_SkinnedObjectData,
                       (ChannelTypeInfo{"DX8 SkinnedObjectData", type_guids::kSkinnedObjectData,
                                        type_guids::kObjectDataChannel, 0}))


namespace {
constexpr int kBonesLink = 2;
constexpr int kMaxMatrices = 256;
}  // namespace

Kco_DX8_SkinnedObjectData::Kco_DX8_SkinnedObjectData() {
    SetChannelName("DX8 SkinnedObjectData");
    SetChildCreationCount(3);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 0, false, "Texture Matrix Set 0"), 0);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 1, false, "Texture Matrix Set 1"), 1);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, -1, false, "Bones"), kBonesLink);
}

Kco_DX8_SkinnedObjectData::~Kco_DX8_SkinnedObjectData() = default;

bool Kco_DX8_SkinnedObjectData::SaveChannel(KelFileSaver& saver) {
    if (!Kco_DX8_ObjectDataChannel::SaveChannel(saver)) return false;
    SaveField(saver, "SKWC", int32_t(weightCount));
    // Each blend record: three float weights, then the u32 of matrix numbers.
    saver.SaveTag("SKBL");
    saver.SaveBlockSize(uint32_t(blends.size() * 16));
    for (const VertexBlend& b : blends) {
        saver.SaveDataToFile(b.weight, 12);
        saver.SaveDataToFile(&b.matrixNumbers, 4);
    }
    saver.SaveTag("SKBM");
    saver.SaveBlockSize(uint32_t(storedMatrices.size() * 64));
    for (const D3DXMATRIX& m : storedMatrices) saver.SaveDataToFile(&m.m[0][0], 64);
    return true;
}

bool Kco_DX8_SkinnedObjectData::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kco_DX8_ObjectDataChannel::LoadChannel(loader, group)) return false;
    int32_t count = weightCount;
    if (LoadField(loader, "SKWC", count)) SetBlendWeightCount(count);
    blends.assign(positions.size(), VertexBlend{});
    if (loader.GetInfoIfTag("SKBL")) {
        std::span<const uint8_t> data = loader.TakeTagData();
        const size_t n = std::min(data.size() / 16, blends.size());
        for (size_t j = 0; j < n; ++j) {
            std::memcpy(blends[j].weight, data.data() + 16 * j, 12);
            std::memcpy(&blends[j].matrixNumbers, data.data() + 16 * j + 12, 4);
        }
    }
    storedMatrices.clear();
    if (loader.GetInfoIfTag("SKBM")) {
        std::span<const uint8_t> data = loader.TakeTagData();
        const size_t n = std::min<size_t>(data.size() / 64, kMaxMatrices);
        storedMatrices.resize(n);
        for (size_t k = 0; k < n; ++k) std::memcpy(&storedMatrices[k].m[0][0], data.data() + 64 * k, 64);
    }
    return true;
}

void Kco_DX8_SkinnedObjectData::SetVertexCount(int count) {
    Kco_DX8_ObjectDataChannel::SetVertexCount(count);
    blends.resize(positions.size());
}

VertexBlend Kco_DX8_SkinnedObjectData::GetVertexBlend(int j) {
    return j >= 0 && j < int(blends.size()) ? blends[j] : VertexBlend{};
}

int Kco_DX8_SkinnedObjectData::GetBlendWeightCount() { return weightCount; }

D3DXMATRIX Kco_DX8_SkinnedObjectData::GetBlendMatrix(int number) {
    if (Kel_Channel* bone = GetChildFromLinkPosition(kBonesLink, number); bone && bone->IsOfType(type_guids::kMatrixChannel))
        return static_cast<Kco_MatrixChannel*>(bone)->GetMatrix();
    if (number >= 0 && number < int(storedMatrices.size())) return storedMatrices[number];
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    return identity;
}

void Kco_DX8_SkinnedObjectData::SetVertexBlend(const VertexBlend& blend, int j) {
    if (j >= 0 && j < int(blends.size())) blends[j] = blend;
}

void Kco_DX8_SkinnedObjectData::SetBlendWeightCount(int count) { weightCount = std::clamp(count, 1, 4); }

void Kco_DX8_SkinnedObjectData::SetBlendMatrix(int number, const D3DXMATRIX& matrix) {
    if (number < 0 || number >= kMaxMatrices) return;
    if (number >= int(storedMatrices.size())) {
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        storedMatrices.resize(number + 1, identity);
    }
    storedMatrices[number] = matrix;
}

// Weights as the shadow object reads them: a weight count below 4 makes the last weight in
// use take what the others leave.
D3DXVECTOR3 Kco_DX8_SkinnedObjectData::GetBlendedVertexPosition(int j) {
    const VertexBlend b = GetVertexBlend(j);
    float w[4] = {b.weight[0], b.weight[1], b.weight[2], 1.0f - (b.weight[0] + b.weight[1] + b.weight[2])};
    switch (GetBlendWeightCount()) {
        case 1: w[0] = 1.0f, w[1] = w[2] = w[3] = 0.0f; break;
        case 2: w[1] = 1.0f - w[0], w[2] = w[3] = 0.0f; break;
        case 3: w[2] = 1.0f - (w[0] + w[1]), w[3] = 0.0f; break;
        default: break;
    }
    const D3DXVECTOR3 p = GetVertexPosition(j);
    D3DXVECTOR3 sum;
    for (int k = 0; k < 4; ++k) {
        if (w[k] == 0.0f) continue;
        const D3DXMATRIX m = GetBlendMatrix(int((b.matrixNumbers >> (8 * k)) & 0xFF));
        D3DXVECTOR3 q;
        D3DXVec3TransformCoord(&q, &p, &m);
        sum += q * w[k];
    }
    return sum;
}

void Kco_DX8_SkinnedObjectData::StreamVertexData() {
    IDirect3DDevice8* device = GetDevice();
    if (!device || positions.empty()) return;
    if ((buffersStale || !vertexBuffer) && !CreateVertexBuffer()) return;
    if (!vertexBuffer) return;
    blendedPositions.resize(positions.size());
    for (size_t j = 0; j < positions.size(); ++j) blendedPositions[j] = GetBlendedVertexPosition(int(j));
    BYTE* data = nullptr;
    if (vertexBuffer->Lock(0, 0, &data, 0) != D3D_OK || !data) return;
    WriteVertices(data, blendedPositions);
    vertexBuffer->Unlock();
    // Blended vertices are in world space already.
    const D3DXMATRIX placed = worldMatrix;
    D3DXMatrixIdentity(&worldMatrix);
    Kco_DX8_ObjectDataChannel::StreamVertexData();
    worldMatrix = placed;
}
