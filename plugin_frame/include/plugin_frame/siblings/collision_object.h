// Collision object: a triangle mesh that physics bodies collide with. Its triangles come
// from the surfaces of the 3D object on link 0 ("Object"; triangle-list object data),
// placed by that object's matrix, or, without an object, are filled in directly by a host.
// Queries run on a bounding-volume tree built once per mesh change.
//
// The first three added operations, with one between the second and the third, are what
// bodies of other libraries call: their slot order is fixed.
#pragma once

#include <cstdint>
#include <vector>

#include <vecmath/d3dx_types.h>

#include "plugin_frame/kel_channel.h"
#include "plugin_frame/kel_list.h"

class Kco_DX8_ObjectChannel;

// One triangle of the mesh as a caller reads it. The first nine floats are the three
// vertices in the mesh's local space.
struct PolygonInfoItem {
    D3DXVECTOR3 vertex[3];
    D3DXVECTOR3 normal;  // local unit normal, (0, 0, 0) for a triangle without area
};

class Kco_DX8_CollisionObject : public Kel_Channel {
public:
    Kco_DX8_CollisionObject();
    ~Kco_DX8_CollisionObject() override;

    void DoDependencyInit(Kel_List* list) override;

    // The mesh's world matrix: the linked object's matrix, else the one set directly.
    virtual D3DXMATRIX GetObjectWorld();
    // Appends one entry per triangle whose bounds meet the local-space box [min, max].
    // Entries are this channel's own encoding (triangle index + 1); only
    // GetPolygonInfoItem reads them.
    virtual void AddBoxCollisionPolygonsToList(Kel_List* list, D3DXVECTOR3* min, D3DXVECTOR3* max);
    // Number of triangles in the mesh (after gathering it from the linked object).
    virtual uint32_t GetPolygonCount();
    // The triangle of a list entry, null for an entry this mesh does not hold. Valid until
    // the mesh next changes.
    virtual PolygonInfoItem* GetPolygonInfoItem(uint32_t entry);

    // ---- direct fill, for hosts without a 3D object ----
    // Replaces the mesh with `count` triangles, three vertices each (local space). Used
    // only while no object is linked.
    virtual void SetPolygons(const D3DXVECTOR3* vertices, uint32_t count);
    // The world matrix used while no object is linked (identity by default).
    virtual void SetObjectWorld(const D3DXMATRIX& world);

    // Times the tree was built, for hosts and tests checking the build-once contract.
    uint32_t GetBuildCount() const { return buildCount; }

protected:
    struct Node {
        D3DXVECTOR3 min, max;
        uint32_t first = 0;  // leaf: first index into `order`; inner: index of the right child
        uint32_t count = 0;  // triangles of a leaf, 0 for an inner node (left child follows it)
    };

    Kco_DX8_ObjectChannel* Object() const;  // link 0, "Object"
    // Gathers the linked object's triangles again when its mesh may have changed.
    void RefreshFromObject();
    uint64_t ObjectSignature(Kco_DX8_ObjectChannel* object);
    void GatherFromObject(Kco_DX8_ObjectChannel* object);
    void Rebuild();
    uint32_t BuildNode(uint32_t first, uint32_t count, std::vector<D3DXVECTOR3>& centres);

    std::vector<PolygonInfoItem> polygons;            // the mesh the tree is built over
    std::vector<PolygonInfoItem> directPolygons;      // as filled in directly
    std::vector<D3DXVECTOR3> polygonMin, polygonMax;  // per-triangle bounds
    std::vector<uint32_t> order;                      // triangle indices, grouped by leaf
    std::vector<D3DXVECTOR3> orderedMin, orderedMax;  // their bounds, in the same order
    std::vector<Node> nodes;                          // the tree, root first
    std::vector<uint32_t> stack;                      // query scratch; an idle query never allocates
    D3DXMATRIX directWorld;
    uint64_t objectSignature = 0;  // what the last gathered mesh was built from; 0: the direct fill
    uint32_t buildCount = 0;
    uint32_t refreshFrame = 0;  // engine frame of the last look at the linked object
    bool refreshed = false;
};
