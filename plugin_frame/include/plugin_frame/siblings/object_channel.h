// A 3D object ("DX8 3D Object"): a world matrix and its surfaces (link 0, "Surfaces", any
// number of Kco_DX8_SurfaceChannel), each holding one object data mesh. Link 1 ("Object
// Matrix") may hold a matrix channel that then gives the object matrix, so a project can
// move the object.
#pragma once

#include <vecmath/d3dx_types.h>

#include <cstdint>

#include "plugin_frame/kel_channel.h"

class Kco_DX8_DirectGraphicsChannel;
class Kco_DX8_SurfaceChannel;

class Kco_DX8_ObjectChannel : public Kel_Channel {
public:
    Kco_DX8_ObjectChannel();
    ~Kco_DX8_ObjectChannel() override;

    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void DoDependencyInit(Kel_List* list) override;
    // Changes when the geometry may have: a surface mesh changed, or links were made or
    // broken. Moving the object does not change it (readers take the matrix every time).
    uint32_t GetTimeStamp() override;

    // ---- added, in this order ----
    // The world matrix: the matrix child's when there is one, else the stored one.
    virtual D3DXMATRIX GetObjectMatrix();
    // Whether the local box, placed by the device's current world transform, meets the
    // view frustum.
    virtual bool GetIfObjectIsVisible();
    // The local box placed by the object matrix, as a world-space axis-aligned box.
    virtual void GetBoundingBoxMinMax(D3DXVECTOR3* min, D3DXVECTOR3* max);
    virtual Kco_DX8_DirectGraphicsChannel* GetDirectGraphicsChannel();
    // Host side: the stored matrix (used while no matrix child is linked).
    virtual void SetObjectMatrix(const D3DXMATRIX& matrix);
    // The local box of an object whose surfaces hold no vertices (default -1..1); an
    // object with meshes measures its box over them.
    virtual void SetLocalBoundingBox(const D3DXVECTOR3& min, const D3DXVECTOR3& max);
    // The local box: over every surface mesh's vertices, else the one set above.
    virtual void GetLocalBoundingBox(D3DXVECTOR3* min, D3DXVECTOR3* max);
    virtual int GetSurfaceCount();
    // Surface i in link order, or null.
    virtual Kco_DX8_SurfaceChannel* GetSurface(int i);
    // Draws every surface with the object matrix.
    virtual void DrawObject();

protected:
    D3DXMATRIX objectMatrix;  // "OBMA"
    D3DXVECTOR3 boxMin{-1.0f, -1.0f, -1.0f};  // "OBBX", used only without meshes
    D3DXVECTOR3 boxMax{1.0f, 1.0f, 1.0f};
    Kco_DX8_DirectGraphicsChannel* directGraphics = nullptr;  // unique, not owned
    uint64_t seenLinkGeneration = 0;  // link generation the time stamp accounts for
};
