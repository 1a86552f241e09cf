// A 3D object: a matrix, a bounding box in local space, and the direct-graphics channel it
// draws with.
#pragma once

#include <vecmath/d3dx_types.h>

#include "plugin_frame/kel_channel.h"

class Kco_DX8_DirectGraphicsChannel;

class Kco_DX8_ObjectChannel : public Kel_Channel {
public:
    Kco_DX8_ObjectChannel();
    ~Kco_DX8_ObjectChannel() override;

    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void DoDependencyInit(Kel_List* list) override;

    virtual D3DXMATRIX GetObjectMatrix();
    virtual void SetObjectMatrix(const D3DXMATRIX& matrix);
    // Whether the local bounding box, placed by the device's current world transform,
    // meets the view frustum.
    virtual bool GetIfObjectIsVisible();
    // The local box placed by the object matrix, as a world-space axis-aligned box.
    virtual void GetBoundingBoxMinMax(D3DXVECTOR3* min, D3DXVECTOR3* max);
    virtual void SetLocalBoundingBox(const D3DXVECTOR3& min, const D3DXVECTOR3& max);
    virtual Kco_DX8_DirectGraphicsChannel* GetDirectGraphicsChannel();

protected:
    D3DXMATRIX objectMatrix;
    D3DXVECTOR3 boxMin{-1.0f, -1.0f, -1.0f};
    D3DXVECTOR3 boxMax{1.0f, 1.0f, 1.0f};
    Kco_DX8_DirectGraphicsChannel* directGraphics = nullptr;  // unique, not owned
};
