// Object data: a mesh of positions, normals, three texture-coordinate sets, colours and
// 16-bit indices that draws itself through the device. Links 0 and 1 ("Texture Matrix
// Set 0/1") take matrix channels whose matrices become the texture transforms of sets 0
// and 1. Derived classes (the 3D text, primitive and model-file meshes) fill the data in
// UpdateData and let this class upload and draw it.
#pragma once

#include <cstdint>
#include <vector>

#include <d3d8/d3d8types.h>
#include <vecmath/d3dx_types.h>

#include "plugin_frame/siblings/d3d_device_use.h"

class IDirect3DVertexBuffer8;
class IDirect3DIndexBuffer8;

// How the coordinates of one texture set are made from the positions (RemapTexture).
enum TextureMapping : int32_t {
    kTextureMappingNone = 0,      // coordinates stay as set with SetVertexTUCoord
    kTextureMappingPlanar = 1,    // projected along z onto the box's x-y face
    kTextureMappingCylinder = 2,  // angle about the y axis, height along y
    kTextureMappingSphere = 3,    // longitude and latitude about the box centre
    kTextureMappingCubic = 4,     // planar along the dominant axis of each vertex's normal
};

// Placement of one texture set's generated coordinates: u' = offsetU + scaleU x (u rotated by
// `rotation` about (0.5, 0.5)), likewise v. Saved as six little-endian floats (24 bytes).
struct VertTUVOffset {
    float offsetU = 0.0f;
    float offsetV = 0.0f;
    float rotation = 0.0f;      // radians, counter-clockwise in texture space
    float axisRotation = 0.0f;  // radians: the projection axis turned about the object's y axis
    float scaleU = 1.0f;
    float scaleV = 1.0f;
};

// Polygon types: Direct3D primitive type numbers.
inline constexpr int kPolygonPointList = 1;
inline constexpr int kPolygonLineList = 2;
inline constexpr int kPolygonLineStrip = 3;
inline constexpr int kPolygonTriangleList = 4;
inline constexpr int kPolygonTriangleStrip = 5;
inline constexpr int kPolygonTriangleFan = 6;

class Kco_DX8_ObjectDataChannel : public Kco_DX8_D3DDeviceUse {
public:
    Kco_DX8_ObjectDataChannel();
    // Copies the mesh data and settings; device buffers are not shared (made on next draw).
    Kco_DX8_ObjectDataChannel(const Kco_DX8_ObjectDataChannel& other);
    Kco_DX8_ObjectDataChannel& operator=(const Kco_DX8_ObjectDataChannel& other);
    ~Kco_DX8_ObjectDataChannel() override;

    // Brings the data up to date (UpdateData); the mesh is drawn by the surface showing it.
    void CallChannel() override;
    // Settings "POTM", "VTOP", "VTO2", "VTO3", "POTT", then the mesh itself.
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void DoDependencyInit(Kel_List* list) override;
    // Changes whenever the mesh (vertices, indices, polygon type) has changed since it was
    // last asked, so a reader such as a shadow object knows to read the mesh again.
    uint32_t GetTimeStamp() override;
    void InvalidateDeviceObjects() override;

    // ---- added, in this order ----
    // Frees the mesh data: counts become 0, device buffers are released.
    virtual void Release();
    // Releases the device's vertex and index buffers; the data stays.
    virtual void ReleaseVertexData();
    // Brings the data up to date before it is read (derived classes build their mesh here).
    virtual void UpdateData();
    // Draws the mesh with its world matrix, texture matrices and render states; makes the
    // device buffers first when the data changed since they were made.
    virtual void StreamVertexData();
    // Sets the texture transforms of sets 0 and 1 from the matrix children on links 0 and 1.
    virtual void StreamTextureMatrices();
    // Uploads the data into new device buffers; false without a device or when it refuses.
    virtual bool CreateVertexBuffer();
    // Resizes the vertex arrays (new vertices are zero, white); the bounding box goes invalid.
    virtual void SetVertexCount(int count);
    virtual int GetVertexCount();
    virtual void SetIndexCount(int count);
    virtual int GetIndexCount();
    // Index i (0 <= i < index count) becomes `index`; out-of-range i is ignored.
    virtual void SetIndex(uint16_t index, int i);
    // Index i, or 0 when out of range.
    virtual uint16_t GetIndexes(int i);
    virtual void SetVertexPosition(const D3DXVECTOR3& position, int i);
    virtual D3DXVECTOR3 GetVertexPosition(int i);
    virtual void SetVertexNormal(const D3DXVECTOR3& normal, int i);
    virtual D3DXVECTOR3 GetVertexNormals(int i);
    // Texture coordinates of set 0..2 at vertex i.
    virtual void SetVertexTUCoord(int set, const D3DXVECTOR2& uv, int i);
    virtual D3DXVECTOR2 GetVertexTUV(int set, int i);
    // Vertex colour, 0xAARRGGBB.
    virtual void SetVertexColor(DWORD color, int i);
    virtual DWORD GetVertexColor(int i);
    // A primitive type number (kPolygon*); triangle lists are 4.
    virtual void SetPolygonType(int type);
    virtual int GetPolygonType();
    // Chooses the mapping of a set and computes its coordinates.
    virtual void MapTexture(int set, int mapping);
    virtual int GetTextureMapping(int set);
    // Each computes the coordinates of one set with that mapping (the stored mapping stays).
    virtual void MakeSphereTexture(int set);
    virtual void MakeCylinderTexture(int set);
    virtual void CubicTexture(int set);
    virtual void PlanarTexture(int set);
    // Measures the box around the positions and marks it valid.
    virtual void MakeObjectSizeBoundrys();
    // Whether the vertices carry that component (it was set on at least one vertex).
    virtual bool GetVertexPositionUse();
    virtual bool GetVertexNormalUse();
    virtual bool GetVertexTUUse(int set);
    virtual bool GetVertexColorUse();
    // The fixed-function vertex format and the vertex size in bytes of the device buffer.
    virtual DWORD GetFVFlags();
    virtual int GetVertexSize();
    // Moves and scales the coordinates of a set into 0..1.
    virtual void NormalizeTexture(int set);
    // Recomputes every set whose mapping is not kTextureMappingNone.
    virtual void RemapTexture();
    // Computes one set from its mapping and VertTUVOffset.
    virtual void CalculateTextureCoords(int set);
    virtual VertTUVOffset* GetTUVOffSet(int set);
    virtual void SetTUVOffSet(int set, const VertTUVOffset& offset);
    // The local-space box (CalculateBoundingBox first when it is not valid).
    virtual D3DXVECTOR3 GetBoundingBoxMin();
    virtual D3DXVECTOR3 GetBoundingBoxMax();
    // Measures the box when the valid flag is clear.
    virtual void CalculateBoundingBox();
    // Whether the box, placed by the device's current world transform, meets the frustum.
    virtual bool GetIfObjectIsVisible();
    // The local box placed by `matrix` (then by the mesh's world matrix) as a world-space
    // axis-aligned box.
    virtual void GetObjectTransformedMinMaxBox(const D3DXMATRIX& matrix, D3DXVECTOR3* min, D3DXVECTOR3* max);
    virtual void GetObjectTransformedMinMaxBox(D3DXVECTOR3* min, D3DXVECTOR3* max);
    // Sets vertex format, stream source and indices on the device, without drawing.
    virtual void SetDataToStream();
    // Render states a derived class wants around its drawing; the base sets none.
    virtual void DoCustomPreRenderStates();
    // The world transform the mesh is drawn with (identity until set).
    virtual void SetWorldMatrix(const D3DXMATRIX& matrix);
    virtual D3DXMATRIX GetWorldMatrix();
    // Texture transform flag of a set: 0 off, otherwise the count of coordinates the
    // set's texture matrix transforms (2 for the usual u, v).
    virtual void SetTextureTransform(int set, int transform);
    virtual int GetTextureTransform(int set);

protected:
    // ---- members derived classes read and write ----
    int32_t textureMapping[3] = {0, 0, 0};         // "POTM", a TextureMapping per set
    VertTUVOffset vertTUVOffset[3];                // "VTOP", "VTO2", "VTO3"
    int32_t textureTransform[3] = {0, 0, 0};       // "POTT"
    bool boundingBoxValid = false;                 // clear it when positions change behind our back

    // Writes the vertices in the buffer's format, taking positions from `source` (the
    // skinned kinds pass blended ones); `out` holds GetVertexSize() x vertex count bytes.
    void WriteVertices(uint8_t* out, const std::vector<D3DXVECTOR3>& source) const;
    // The saved settings ("POTM" ... "POTT") and the mesh records, for derived classes
    // that save one without the other.
    void SaveObjectDataSettings(KelFileSaver& saver);
    void LoadObjectDataSettings(KelFileLoader& loader);
    void SaveMeshData(KelFileSaver& saver);
    void LoadMeshData(KelFileLoader& loader);
    // The data changed: the box goes invalid and the device buffers are made again.
    void MarkDataChanged();

    // ---- the mesh ----
    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXVECTOR3> normals;
    std::vector<D3DXVECTOR2> texCoords[3];
    std::vector<DWORD> colors;
    std::vector<uint16_t> indices;
    bool positionUse = false;
    bool normalUse = false;
    bool texCoordUse[3] = {false, false, false};
    bool colorUse = false;
    int polygonType = kPolygonTriangleList;
    D3DXVECTOR3 boxMin;
    D3DXVECTOR3 boxMax;
    D3DXMATRIX worldMatrix;  // identity

    // ---- device objects, owned ----
    IDirect3DVertexBuffer8* vertexBuffer = nullptr;
    IDirect3DIndexBuffer8* indexBuffer = nullptr;
    DWORD bufferFVF = 0;      // format the buffer was made with
    int bufferVertexSize = 0;
    bool buffersStale = true;  // the data changed since the buffers were made
    bool stampStale = false;   // the data changed since the time stamp was taken
};
