// The device-free half of the software stencil shadow object: welding, the edge table and
// shadow volume construction over plain arrays. The channel owns one ShadowGeometry and
// adds the source object, the skinning and the two Direct3D buffers; tests and the
// benchmark drive this part directly.
//
// Index:
//   records     ShadowTriangle, EdgeRecord, ExtrudedVertex
//   weld        WithinWeldTolerance, WeldQuadratic, WeldSpatial
//   geometry    ShadowGeometry: build (Allocate, AddEdge, SetTriangle, FinishBuild),
//               construction (Construct, AddEdges)
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <vecmath/d3dx_types.h>

#include "plugin_frame/kel_list.h"

namespace swshadow {

inline constexpr int kMaxNeighbours = 60;
// A raw vertex total of this many or more is refused.
inline constexpr int kRawVertexLimit = 65536;
// Extruded copies sit in slots N + v: with 16-bit indices N may not exceed this; above it
// the volume takes 32-bit indices where the device draws them.
inline constexpr int kMaxWeldedVertices = 32768;
inline constexpr uint32_t kMaxShortIndex = 0xFFFF;
// Per axis, strictly inside; held as a double, and points are compared with it in double.
inline constexpr double kWeldTolerance = 0.001;
// Indices per source index the volume may need: a lit triangle of an open mesh can have
// three silhouette edges (18 indices) and its cap (3), an unlit one its far cap (3).
inline constexpr int kVolumeIndicesPerSourceIndex = 7;

// ---- records ----

struct ShadowTriangle {
    D3DXVECTOR3 normal;       // unit length
    float d = 0.0f;           // plane: normal·p + d = 0
    uint16_t vertices[3]{};   // into positions
};

// One per vertex that is the smaller end of at least one edge; created zero-filled.
struct EdgeRecord {
    uint8_t flags[kMaxNeighbours];       // last sighting ran from neighbour to own vertex
    int32_t neighbourCount;              // 0..60
    int32_t neighbours[kMaxNeighbours];  // each larger than the record's own vertex
    uint32_t stamps[kMaxNeighbours];     // buildStamp of an odd number of sightings
};

struct ExtrudedVertex {
    D3DXVECTOR3 position;
    uint32_t slot = 0;  // always N + the vertex number
};

// A vertex of the volume's vertex buffer: FVF XYZ | TEX1, 20 bytes.
struct VolumeVertex {
    float x, y, z;
    float u, v;
};
static_assert(sizeof(VolumeVertex) == 20);

// ---- weld ----

// Whether p welds to the already welded position `welded`: strictly within the tolerance
// on every axis, compared in double.
inline bool WithinWeldTolerance(const D3DXVECTOR3& welded, const D3DXVECTOR3& p) {
    return double(welded.x) - kWeldTolerance < p.x && p.x < double(welded.x) + kWeldTolerance &&
           double(welded.y) - kWeldTolerance < p.y && p.y < double(welded.y) + kWeldTolerance &&
           double(welded.z) - kWeldTolerance < p.z && p.z < double(welded.z) + kWeldTolerance;
}

// The weld rule itself: each point takes the first welded position within tolerance, or
// becomes a new one. map[j] receives point j's welded number; returns the welded count.
// Quadratic; kept as the reference the fast weld is tested and measured against.
int WeldQuadratic(const D3DXVECTOR3* points, int count, D3DXVECTOR3* out, int* map);

// The same result as WeldQuadratic for every input, through a spatial hash of the welded
// positions: near-linear.
int WeldSpatial(const D3DXVECTOR3* points, int count, D3DXVECTOR3* out, int* map);

// normalise((v2 − v1) × (v1 − v0)); a degenerate triangle gives the zero vector.
D3DXVECTOR3 TriangleNormal(const D3DXVECTOR3& v0, const D3DXVECTOR3& v1, const D3DXVECTOR3& v2);

// ---- geometry ----

class ShadowGeometry {
public:
    // Receives the texts of internal failures ("Error edge not found").
    using Report = std::function<void(const char*)>;

    ShadowGeometry() = default;
    ShadowGeometry(const ShadowGeometry& other);
    ShadowGeometry& operator=(const ShadowGeometry& other);
    ~ShadowGeometry();

    void SetReport(Report report) { report_ = std::move(report); }

    // Frees every array and, unless kept, the edge records; counts to 0. extrusionStamps
    // and buildStamp stay. Either way nothing can be constructed until the next build.
    void Clear(bool keepEdgeTable = false);

    // Sizes every array for a build of `rawVertexCount` vertices and `indexTotal` indices
    // (the worst case; construction then allocates nothing).
    void Allocate(int rawVertexCount, int indexTotal);

    // Registers the undirected edge a–b (build time). Degenerate and 61st edges are dropped.
    void AddEdge(int a, int b);

    // Appends one welded surface: its positions at base B = vertexCount, and a triangle
    // (numbers B + i, plane from the welded positions) per three indices from triangle
    // `firstTriangle` on. Returns the next triangle number.
    int AppendSurface(const D3DXVECTOR3* welded, int weldedCount, const uint16_t* indices,
                      int indexCount, int firstTriangle);

    // Stores triangle t and registers its three edges.
    void SetTriangle(int t, const D3DXVECTOR3& normal, float d, int i0, int i1, int i2);

    // Ends a build of vertexCount welded vertices: numbers the edges in silhouette order
    // and sizes the extrusion stamps for 2N slots. Slot 2N − 1 must be an index the device
    // draws (maxVertexIndex); above 0xFFFF the volume's indices are 32-bit (wideIndices).
    // False, building nothing, when it is not.
    bool FinishBuild(uint32_t maxVertexIndex = kMaxShortIndex);

    // The most welded vertices a device drawing indices up to maxVertexIndex can take.
    static int VertexLimit(uint32_t maxVertexIndex);

    // Toggles the edge a–b of a lit triangle for the current construction. False, with
    // "Error edge not found", when the smaller vertex has no record.
    bool AddEdges(int a, int b);

    // One construction for the light L (in the geometry's space), extrusion factor e and
    // cap flag: fills extrudedVertices, silhouetteEdges and the volume index list.
    // With recomputePlanes (skinned sources) every triangle's plane is taken from the
    // current positions first. Allocates nothing.
    void Construct(const D3DXVECTOR3& light, float e, bool caps, bool recomputePlanes);

    // Whether a volume can be built: a finished build with at least one triangle.
    bool HasGeometry() const { return built_ && triangleCount > 0 && vertexCount > 0; }

    int VolumeIndexCapacity() const { return int(wideIndices ? volumeIndices32.size() : volumeIndices.size()); }
    // Volume index i (of volumeIndexCount), whichever width the build chose.
    uint32_t VolumeIndex(int i) const {
        const size_t at = size_t(volumeStart_) + size_t(i);
        return wideIndices ? volumeIndices32[at] : volumeIndices[at];
    }
    // The volume's index list as the index buffer takes it, and the bytes per index.
    const void* VolumeIndexData() const {
        return wideIndices ? static_cast<const void*>(volumeIndices32.data() + volumeStart_)
                           : static_cast<const void*>(volumeIndices.data() + volumeStart_);
    }
    // Where the list starts in volumeIndices (volumeIndices32): 0 without caps; with caps
    // they fill the end of the room and the quads come just before them.
    int VolumeStart() const { return volumeStart_; }
    int IndexSize() const { return wideIndices ? 4 : 2; }
    int EdgeCount() const { return int(edgeKeys_.size()); }

    // ---- fields, as the channel describes them ----
    std::vector<ShadowTriangle> triangles;
    int triangleCount = 0;
    Kel_List edgeTable;                        // EdgeRecord* by smaller vertex number, owned
    std::vector<uint16_t> volumeIndices;       // room for 7 × sourceIndexCount; the list from VolumeStart()
    int volumeIndexCount = 0;
    std::vector<ExtrudedVertex> extrudedVertices;  // capacity 2 × raw vertex total
    int extrudedCount = 0;
    std::vector<uint16_t> silhouetteEdges;     // capacity 6 × sourceIndexCount
    int silhouetteCount = 0;
    uint32_t buildStamp = 0;
    int sourceIndexCount = 0;
    std::vector<D3DXVECTOR3> positions;        // capacity raw vertex total
    int vertexCount = 0;                       // welded count N once built
    // buildStamp of each vertex-buffer slot's last extruded copy. Only the geometry reads
    // or writes it, so it is a plain array rather than an engine list of u32 items.
    std::vector<uint32_t> extrusionStamps;
    // The caps are not gathered in a list of their own: they are written straight into the
    // volume list, after the quads; this many.
    int capIndexCount = 0;
    // With more than 32,768 welded vertices the extruded slots pass 16 bits: the volume list
    // is then this 32-bit one, and volumeIndices stays empty.
    bool wideIndices = false;
    std::vector<uint32_t> volumeIndices32;

private:
    static constexpr uint32_t kNoEdge = 0xFFFFFFFFu;

    EdgeRecord* Record(int v) const { return static_cast<EdgeRecord*>(edgeTable.GetItem(v)); }
    void DeleteRecords();
    template <typename Index>
    int WriteQuads(Index* out, int capacity, int pairCount);
    EdgeRecord* NewRecord(const EdgeRecord& init);
    void CopyFrom(const ShadowGeometry& other);
    uint32_t EdgeId(int a, int b) const;
    void BuildBlocks(uint32_t spareEdge);

    Report report_;
    bool built_ = false;
    int volumeStart_ = 0;
    // The blocks the edge records live in (see NewRecord).
    std::vector<void*> recordBlocks_;
    size_t recordBlockSizes_ = 0;  // records the blocks hold in all
    size_t recordsLeft_ = 0;
    EdgeRecord* nextRecord_ = nullptr;
    // Edges are numbered in the order the silhouette emits them (smaller vertex, then
    // slot); per edge the record's vertex and slot, per triangle its three edge numbers.
    // Construction counts sightings in parity bits and directions (see Construct).
    std::vector<uint32_t> edgeBase_;        // first edge number of each vertex's record
    // neighbour << 32 | vertex << 8 | slot: one load tells a silhouette edge's two ends.
    std::vector<uint64_t> edgeKeys_;
    // 3 per triangle: edge number | (1 | towards lower << 1) << kSightingShift, and in the
    // first word kExactTriangle when one of its edges has three or more triangle sides.
    std::vector<uint32_t> triangleEdges_;
    // Per block of eight triangles, what it does when all lit or all unlit (BuildBlocks).
    std::vector<uint32_t> blockEdgeStart_, blockEdges_, blockVertexStart_;
    std::vector<uint16_t> blockVertices_;
    std::vector<uint8_t> edgeSightings_;    // bit 0: seen an odd number of times; bit 1:
                                            // the last sighting ran towards the lower number
    std::vector<uint8_t> extrudeVertices_;  // vertices this construction extrudes
    std::vector<uint32_t> oddEdges_;        // this construction's silhouette edge numbers
};

}  // namespace swshadow
