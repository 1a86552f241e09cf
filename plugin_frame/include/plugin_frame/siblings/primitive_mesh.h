// A built-in mesh: box, sphere, plane or torus, made from its saved settings (triangle
// lists with outward normals, clockwise seen from outside, and texture coordinates in set
// 0). The mesh is made again whenever a setting changes.
#pragma once

#include "plugin_frame/siblings/object_data_channel.h"

enum PrimitiveShape : int32_t {
    kPrimitiveBox = 0,     // size = full extents x, y, z, centred on the origin
    kPrimitiveSphere = 1,  // size.x = radius; segments around, rings pole to pole
    kPrimitivePlane = 2,   // size.x by size.z in the x-z plane facing +y; segments x rings quads
    kPrimitiveTorus = 3,   // size.x = ring radius, size.y = tube radius, about the y axis
};

class Kco_DX8_PrimitiveMesh : public Kco_DX8_ObjectDataChannel {
public:
    Kco_DX8_PrimitiveMesh();
    ~Kco_DX8_PrimitiveMesh() override;

    // Settings of the base, then "PRSH" shape, "PRSZ" size, "PRTS" segments and rings; the
    // vertices are not saved.
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void UpdateData() override;
    void StreamVertexData() override;

    // ---- added, in this order ----
    virtual void SetShape(int shape);
    virtual int GetShape();
    virtual void SetSize(const D3DXVECTOR3& size);
    virtual D3DXVECTOR3 GetSize();
    // Tessellation: segments around (or along x), rings (or along z); at least 3 and 2 for
    // round shapes, 1 and 1 for the plane, at most 255 each.
    virtual void SetTessellation(int segments, int rings);
    virtual int GetSegments();
    virtual int GetRings();
    // Makes the mesh now from the settings.
    virtual void BuildPrimitive();

protected:
    int32_t shape = kPrimitiveBox;
    D3DXVECTOR3 size{1.0f, 1.0f, 1.0f};
    int32_t segments = 24;
    int32_t rings = 12;
    bool built = false;  // the data matches the settings
};
