// The two skinned object data kinds. Each vertex carries up to three blend weights (a
// fourth is 1 minus their sum) and four 8-bit matrix numbers; a mesh is placed in world
// space by blending the vertex transformed by each numbered blend matrix.
//
// Blend matrix k is the matrix of the k-th matrix channel on link 2 ("Bones", any number),
// so a project animates a skin by animating those channels; without such a child it is
// the matrix stored with SetBlendMatrix (identity until set).
//   first kind  (Kco_DX8_SkinnedObjectData): blend matrix = the bone's matrix;
//   second kind (Kco_DX8_BoneOffsetObjectData): blend matrix = the bone's stored offset
//     (bind-pose inverse) x the bone's matrix, for models whose bones are posed in world
//     space rather than given as blend matrices.
// Skinned vertices are already in world space: they are drawn with the identity world
// transform, whatever SetWorldMatrix was given.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin_frame/siblings/object_data_channel.h"

// The four 32-bit values of one vertex's blend record.
struct VertexBlend {
    float weight[3] = {1.0f, 0.0f, 0.0f};  // w0, w1, w2; w3 = 1 - (w0 + w1 + w2)
    uint32_t matrixNumbers = 0;            // four 8-bit matrix numbers, matrix 0 in the lowest byte
};

class Kco_DX8_SkinnedObjectData : public Kco_DX8_ObjectDataChannel {
public:
    Kco_DX8_SkinnedObjectData();
    ~Kco_DX8_SkinnedObjectData() override;

    // Settings of the base, then "SKWC" (weight count), "SKBL" (blend records), "SKBM"
    // (stored blend matrices).
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    // Draws with the blended positions and the identity world transform.
    void StreamVertexData() override;
    void SetVertexCount(int count) override;

    // ---- added, in this order (the same on both kinds) ----
    // The blend record of vertex j (a neutral one when j is out of range).
    virtual VertexBlend GetVertexBlend(int j);
    // Number of weights in use per vertex, 1 to 4.
    virtual int GetBlendWeightCount();
    // Blend matrix `number` (0..255), placing the mesh in world space for that bone.
    virtual D3DXMATRIX GetBlendMatrix(int number);
    virtual void SetVertexBlend(const VertexBlend& blend, int j);
    virtual void SetBlendWeightCount(int count);
    // The stored matrix of bone `number`, used when no matrix channel sits at that place
    // on the "Bones" link.
    virtual void SetBlendMatrix(int number, const D3DXMATRIX& matrix);
    // Vertex j placed by the blend matrices (the rule the shadow object follows).
    virtual D3DXVECTOR3 GetBlendedVertexPosition(int j);

protected:
    std::vector<VertexBlend> blends;        // one per vertex
    int weightCount = 1;
    std::vector<D3DXMATRIX> storedMatrices;  // by matrix number; missing ones are identity
    std::vector<D3DXVECTOR3> blendedPositions;  // drawing's scratch, kept so frames do not allocate
};

class Kco_DX8_BoneOffsetObjectData : public Kco_DX8_SkinnedObjectData {
public:
    Kco_DX8_BoneOffsetObjectData();
    ~Kco_DX8_BoneOffsetObjectData() override;

    bool SaveChannel(KelFileSaver& saver) override;  // adds "SKBO" (offsets)
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    D3DXMATRIX GetBlendMatrix(int number) override;

    // ---- added ----
    virtual void SetBoneOffset(int number, const D3DXMATRIX& offset);
    virtual D3DXMATRIX GetBoneOffset(int number);

protected:
    std::vector<D3DXMATRIX> boneOffsets;  // by matrix number; missing ones are identity
};
