// The software stencil shadow object ("DX8 SoftwareStencilShadowObject"): casts the stencil
// shadow of the 3D object on its link "Shadow Object". It gathers that object's triangles
// once (welded, with planes and an edge table) and, asked by the stencil shadow render
// channel for each light, builds the shadow volume on the CPU and draws it.
#pragma once

#include <cstdint>

#include <vecmath/d3dx_types.h>

#include "plugin_frame/siblings/stencil_shadow_base_object.h"
#include "swshadow/shadow_geometry.h"

class IDirect3DVertexBuffer8;
class IDirect3DIndexBuffer8;
class Kco_DX8_ObjectChannel;
class Kco_DX8_ObjectDataChannel;

class Kco_DX8_SoftwareStencilShadowObject : public Kco_DX8_StencilShadowBaseObject {
public:
    Kco_DX8_SoftwareStencilShadowObject();
    // Copies share no device object: the copy builds its own buffers on first use.
    Kco_DX8_SoftwareStencilShadowObject(const Kco_DX8_SoftwareStencilShadowObject& other);
    Kco_DX8_SoftwareStencilShadowObject& operator=(const Kco_DX8_SoftwareStencilShadowObject& other);
    ~Kco_DX8_SoftwareStencilShadowObject() override;

    // ---- Kco_DX8_D3DDeviceUse ----
    // Frees the buffers and the geometry arrays; the next construction rebuilds everything.
    void InvalidateDeviceObjects() override;

    // ---- Kco_DX8_StencilShadowBaseObject ----
    // Builds the volume for a point light in world space: extruded copies at
    // p + (p − L)·extrusion (−1.0 asks CalculateMaxVolumeDistance), caps when asked.
    void CreateShadowVolume(const D3DXVECTOR3& light, float extrusion, bool caps) override;
    // Draws the last volume built with exactly five device calls and no render states.
    void DrawCurrentVolume() override;

    // ---- added, in this order ----
    // Gathers, welds and indexes the source object's surfaces; makes both buffers.
    virtual void InitializeObjectInfo();
    // Registers the undirected edge a–b in the edge table (build time).
    virtual void AddEdge(int a, int b);
    // Toggles the edge a–b of a lit triangle during a construction.
    virtual void AddEdges(int a, int b);
    // The extrusion factor for the world-space light that takes the volume of `object` to the
    // far end of the view: the far-plane distance over |light| + m (m: the farthest box
    // corner's distance), with the light's distance from the eye for |light| when smaller;
    // lowered when the far cap would leave the frustum (never below m / n − 1), raised when
    // the volume would end before the far distance. 1.0 without a device channel or a
    // direction to extrude along.
    virtual float CalculateMaxVolumeDistance(Kco_DX8_ObjectChannel* object, const D3DXVECTOR3& light);
    // Welds one mesh. *count: in, the mesh's vertex count; out, the welded count. out gets
    // the welded positions, outIndices one welded number per mesh index.
    virtual void WeldObjectdata(int* count, D3DXVECTOR3* out, uint16_t* outIndices, Kco_DX8_ObjectDataChannel* mesh);

    // Not virtual: the geometry, for hosts and tests that read what was built.
    const swshadow::ShadowGeometry& Geometry() const { return geometry; }
    bool IsInitialized() const { return initialized; }
    bool IsSkinned() const { return skinned; }
    const D3DXMATRIX& GetVolumeWorldMatrix() const { return worldMatrix; }
    IDirect3DVertexBuffer8* GetVolumeVertexBuffer() const { return vertexBuffer; }
    IDirect3DIndexBuffer8* GetVolumeIndexBuffer() const { return indexBuffer; }

protected:
    IDirect3DVertexBuffer8* vertexBuffer = nullptr;  // 2 × raw vertex total slots of 20 bytes, owned
    IDirect3DIndexBuffer8* indexBuffer = nullptr;    // 7 × sourceIndexCount 16-bit indices, owned
    D3DXMATRIX worldMatrix;                          // the volume's world transform
    bool initialized = false;                        // the geometry matches the source object
    uint32_t sourceTimeStamp = 0;                    // the source's time stamp at the build
    // triangles, edge table, volume lists, buildStamp, sourceIndexCount, positions,
    // vertexCount, extrusionStamps and capIndexCount, in that order.
    swshadow::ShadowGeometry geometry;
    bool skinned = false;                            // skinned surfaces: no welding, positions per construction
    int uploadedIndexCount = 0;                      // indices the index buffer holds for drawing

private:
    void ReportInternal(const char* text);
    void ReportSource(const char* text);
    void ReportSource(const char* text, int value);
    void ReleaseBuffers();
    // The build could not finish: no geometry, no buffers, no volume.
    void AbandonBuild();
    // Recomputes `positions` from the blend matrices of the skinned surfaces.
    void SkinPositions(Kel_Channel* source, int surfaceCount);
};
