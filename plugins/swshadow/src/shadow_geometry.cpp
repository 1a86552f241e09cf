#include "swshadow/shadow_geometry.h"

#include "plugin_frame/vantrel_assert.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>


#include "os/memory_block.h"

namespace swshadow {

namespace {

// A triangle edge word: the edge number, the bits a sighting xors into the edge's byte,
// and in the triangle's first word whether it needs the exact toggle.
constexpr uint32_t kEdgeNumberMask = (1u << 29) - 1;
constexpr int kSightingShift = 29;
constexpr uint32_t kExactTriangle = 1u << 31;
// Triangles are tested in blocks of eight; a block with a triangle that takes the exact
// toggle has kMixedBlock in its first edge number and always goes triangle by triangle.
constexpr size_t kBlock = 8;
constexpr uint32_t kMixedBlock = 1u << 31;

// Calls f(i) for every i below n whose byte has its lowest bit set, in order, eight bytes
// at a time.
template <typename F>
void ForEachMarked(const std::vector<uint8_t>& marks, size_t n, F&& f) {
    const size_t whole = n & ~size_t(7);
    for (size_t i = 0; i < whole; i += 8) {
        uint64_t word;
        std::memcpy(&word, marks.data() + i, 8);
        for (word &= 0x0101010101010101ull; word; word &= word - 1) f(i + size_t(std::countr_zero(word)) / 8);
    }
    for (size_t i = whole; i < n; ++i)
        if (marks[i] & 1) f(i);
}

}  // namespace

ShadowGeometry::ShadowGeometry(const ShadowGeometry& other) { CopyFrom(other); }

ShadowGeometry& ShadowGeometry::operator=(const ShadowGeometry& other) {
    if (this != &other) {
        DeleteRecords();
        CopyFrom(other);
    }
    return *this;
}

ShadowGeometry::~ShadowGeometry() { DeleteRecords(); }

// Records belong to the geometry, so a copy gets records of its own.
void ShadowGeometry::CopyFrom(const ShadowGeometry& other) {
    triangles = other.triangles;
    triangleCount = other.triangleCount;
    edgeTable = Kel_List();
    for (int i = 0; i < other.edgeTable.GetItemCount(); ++i) {
        auto* record = static_cast<EdgeRecord*>(other.edgeTable.GetItem(i));
        edgeTable.AddItem(record ? NewRecord(*record) : nullptr);
    }
    volumeIndices = other.volumeIndices;
    volumeIndexCount = other.volumeIndexCount;
    extrudedVertices = other.extrudedVertices;
    extrudedCount = other.extrudedCount;
    silhouetteEdges = other.silhouetteEdges;
    silhouetteCount = other.silhouetteCount;
    buildStamp = other.buildStamp;
    sourceIndexCount = other.sourceIndexCount;
    positions = other.positions;
    vertexCount = other.vertexCount;
    extrusionStamps = other.extrusionStamps;
    capIndexCount = other.capIndexCount;
    wideIndices = other.wideIndices;
    volumeStart_ = other.volumeStart_;
    volumeIndices32 = other.volumeIndices32;
    report_ = other.report_;
    built_ = other.built_;
    edgeBase_ = other.edgeBase_;
    edgeKeys_ = other.edgeKeys_;
    triangleEdges_ = other.triangleEdges_;
    blockEdgeStart_ = other.blockEdgeStart_;
    blockEdges_ = other.blockEdges_;
    blockVertexStart_ = other.blockVertexStart_;
    blockVertices_ = other.blockVertices_;
    edgeSightings_ = other.edgeSightings_;
    oddEdges_ = other.oddEdges_;
    extrudeVertices_ = other.extrudeVertices_;
}

void ShadowGeometry::DeleteRecords() {
    edgeTable.ReleaseItems();
    for (void* block : recordBlocks_) os::FreeMemoryBlock(block);
    recordBlocks_.clear();
    recordBlockSizes_ = recordsLeft_ = 0;
}

// Records are handed out from blocks owned by the geometry rather than allocated one by
// one: construction writes the silhouette's records, which lie all over the table, and
// in few large blocks (2 MB ones asked to be backed by huge pages) they cost far fewer
// address translations.
EdgeRecord* ShadowGeometry::NewRecord(const EdgeRecord& init) {
    if (recordsLeft_ == 0) {
        size_t records = std::max<size_t>(64, recordBlockSizes_);
        const size_t bytes = std::min(records * sizeof(EdgeRecord), os::kHugePageBytes);
        void* block = os::AllocateMemoryBlock(bytes);
        if (!block) throw std::bad_alloc();
        recordBlocks_.push_back(block);
        recordsLeft_ = bytes / sizeof(EdgeRecord);
        recordBlockSizes_ += recordsLeft_;
        nextRecord_ = static_cast<EdgeRecord*>(block);
    }
    --recordsLeft_;
    return new (nextRecord_++) EdgeRecord(init);
}

void ShadowGeometry::Clear(bool keepEdgeTable) {
    if (!keepEdgeTable) DeleteRecords();
    triangles = {};
    triangleCount = 0;
    volumeIndices = {};
    volumeIndexCount = 0;
    extrudedVertices = {};
    extrudedCount = 0;
    silhouetteEdges = {};
    silhouetteCount = 0;
    sourceIndexCount = 0;
    positions = {};
    vertexCount = 0;
    capIndexCount = 0;
    wideIndices = false;
    volumeStart_ = 0;
    volumeIndices32 = {};
    built_ = false;
    edgeBase_ = {};
    edgeKeys_ = {};
    triangleEdges_ = {};
    blockEdgeStart_ = {};
    blockEdges_ = {};
    blockVertexStart_ = {};
    blockVertices_ = {};
    edgeSightings_ = {};
    oddEdges_ = {};
    extrudeVertices_ = {};
}

void ShadowGeometry::Allocate(int rawVertexCount, int indexTotal) {
    const size_t raw = size_t(std::max(rawVertexCount, 0));
    const size_t indices = size_t(std::max(indexTotal, 0));
    triangleCount = int(indices / 3);
    sourceIndexCount = int(indices);
    positions.assign(raw, D3DXVECTOR3());
    triangles.assign(size_t(triangleCount), ShadowTriangle());
    volumeIndices.assign(indices * kVolumeIndicesPerSourceIndex, 0);
    silhouetteEdges.assign(indices * 6, 0);
    wideIndices = false;
    volumeStart_ = 0;
    volumeIndices32 = {};
    extrudedVertices.assign(raw * 2, ExtrudedVertex());
    triangleEdges_.assign(size_t(triangleCount) * 3, kNoEdge);
    volumeIndexCount = silhouetteCount = capIndexCount = extrudedCount = 0;
    built_ = false;
}

void ShadowGeometry::AddEdge(int a, int b) {
    if (a == b || a < 0 || b < 0) return;
    const int lo = std::min(a, b), hi = std::max(a, b);
    EdgeRecord* record = Record(lo);
    if (!record) {
        while (edgeTable.GetItemCount() <= lo) edgeTable.AddItem(nullptr);
        record = NewRecord(EdgeRecord{});
        edgeTable.SetItem(record, lo);
    }
    if (record->neighbourCount >= kMaxNeighbours) return;
    int32_t* const end = record->neighbours + record->neighbourCount;
    if (std::find(record->neighbours, end, hi) != end) return;
    record->neighbours[record->neighbourCount++] = hi;
}

void ShadowGeometry::SetTriangle(int t, const D3DXVECTOR3& normal, float d, int i0, int i1, int i2) {
    ShadowTriangle& tri = triangles[size_t(t)];
    tri.normal = normal;
    tri.d = d;
    tri.vertices[0] = uint16_t(i0);
    tri.vertices[1] = uint16_t(i1);
    tri.vertices[2] = uint16_t(i2);
    AddEdge(i0, i1);
    AddEdge(i1, i2);
    AddEdge(i2, i0);
}

int ShadowGeometry::AppendSurface(const D3DXVECTOR3* welded, int weldedCount, const uint16_t* indices,
                                  int indexCount, int firstTriangle) {
    const int base = vertexCount;
    int t = firstTriangle;
    for (int k = 0; k + 2 < indexCount && t < triangleCount; k += 3, ++t) {
        const int i0 = indices[k], i1 = indices[k + 1], i2 = indices[k + 2];
        // Only a surface without vertices has indices beyond them: its triangles stay
        // zero (degenerate, no edges).
        if (i0 >= weldedCount || i1 >= weldedCount || i2 >= weldedCount) continue;
        const D3DXVECTOR3 &v0 = welded[i0], &v1 = welded[i1], &v2 = welded[i2];
        const D3DXVECTOR3 normal = TriangleNormal(v0, v1, v2);
        SetTriangle(t, normal, -(normal.x * v0.x + normal.y * v0.y + normal.z * v0.z), base + i0, base + i1,
                    base + i2);
    }
    const int room = std::max(0, std::min(weldedCount, int(positions.size()) - base));
    std::copy(welded, welded + room, positions.begin() + base);
    vertexCount = base + room;
    return t;
}

uint32_t ShadowGeometry::EdgeId(int a, int b) const {
    if (a == b) return kNoEdge;
    const int lo = std::min(a, b), hi = std::max(a, b);
    const EdgeRecord* record = Record(lo);
    if (!record || size_t(lo) >= edgeBase_.size()) return kNoEdge;
    for (int k = 0; k < record->neighbourCount; ++k)
        if (record->neighbours[k] == hi) return edgeBase_[size_t(lo)] + uint32_t(k);
    return kNoEdge;
}

int ShadowGeometry::VertexLimit(uint32_t maxVertexIndex) {
    return int(std::min<uint64_t>((uint64_t(maxVertexIndex) + 1) / 2, uint64_t(std::numeric_limits<int>::max())));
}

bool ShadowGeometry::FinishBuild(uint32_t maxVertexIndex) {
    built_ = false;
    if (vertexCount > VertexLimit(maxVertexIndex)) return false;
    wideIndices = vertexCount > kMaxWeldedVertices;
    if (wideIndices) {
        volumeIndices32.assign(volumeIndices.size(), 0);
        volumeIndices = {};
        }
    const int items = edgeTable.GetItemCount();
    edgeBase_.assign(size_t(items), 0);
    edgeKeys_.clear();
    for (int v = 0; v < items; ++v) {
        edgeBase_[size_t(v)] = uint32_t(edgeKeys_.size());
        if (const EdgeRecord* record = Record(v))
            for (int k = 0; k < record->neighbourCount; ++k) {
                edgeKeys_.push_back(uint64_t(uint32_t(record->neighbours[k])) << 32 | uint32_t(v) << 8 | uint32_t(k));
            }
    }
    // Per triangle edge: its number (edges that were not registered count on a spare one
    // past the end, so that construction needs no test) and the bits a sighting xors into
    // the edge's byte; triangles with an edge of three or more sides are marked for the
    // exact toggle (see Classify).
    const uint32_t spare = uint32_t(edgeKeys_.size());
    std::vector<uint8_t> sides(size_t(spare) + 1, 0);
    for (int t = 0; t < triangleCount; ++t) {
        const uint16_t* v = triangles[size_t(t)].vertices;
        for (int j = 0; j < 3; ++j) {
            const int a = v[j], b = v[j == 2 ? 0 : j + 1];
            const uint32_t id = EdgeId(a, b), edge = id == kNoEdge ? spare : id;
            triangleEdges_[size_t(t) * 3 + size_t(j)] = edge | (1u | uint32_t(b < a) << 1) << kSightingShift;
            if (sides[edge] < 3) ++sides[edge];
        }
    }
    for (size_t t = 0; t < size_t(triangleCount); ++t)
        for (size_t j = 0; j < 3; ++j) {
            const uint32_t edge = triangleEdges_[t * 3 + j] & kEdgeNumberMask;
            if (edge != spare && sides[edge] >= 3) triangleEdges_[t * 3] |= kExactTriangle;
        }
    BuildBlocks(spare);
    edgeSightings_.assign(edgeKeys_.size() + 1, 0);
    oddEdges_.assign(edgeKeys_.size(), 0);
    extrudeVertices_.assign(size_t(vertexCount), 0);
    if (extrusionStamps.size() < size_t(2 * vertexCount)) extrusionStamps.resize(size_t(2 * vertexCount), 0);
    built_ = true;
    return true;
}

// Per whole block of kBlock triangles: the sightings it makes when all of it is lit (each
// edge word of the block whose edge has no other side in it; unregistered edges are never
// read) and the distinct vertices it marks when none of it is.
void ShadowGeometry::BuildBlocks(uint32_t spare) {
    const size_t blocks = size_t(triangleCount) / kBlock;
    blockEdgeStart_.assign(blocks + 1, 0);
    blockVertexStart_.assign(blocks + 1, 0);
    blockEdges_.clear();
    blockVertices_.clear();
    for (size_t b = 0; b < blocks; ++b) {
        const uint32_t* words = triangleEdges_.data() + b * kBlock * 3;
        blockEdgeStart_[b] = uint32_t(blockEdges_.size());
        blockVertexStart_[b] = uint32_t(blockVertices_.size());
        bool mixed = false;
        for (size_t i = 0; i < kBlock * 3; ++i) {
            const uint32_t edge = words[i] & kEdgeNumberMask;
            mixed = mixed || (words[i / 3 * 3] & kExactTriangle);
            if (edge == spare) continue;
            size_t sides = 0;
            for (size_t k = 0; k < kBlock * 3; ++k) sides += (words[k] & kEdgeNumberMask) == edge;
            if (sides == 1) blockEdges_.push_back(words[i] & ~kExactTriangle);
        }
        const uint16_t* first = blockVertices_.data() + blockVertices_.size();
        for (size_t t = b * kBlock; t < (b + 1) * kBlock; ++t)
            for (uint16_t v : triangles[t].vertices) {
                const uint16_t* end = blockVertices_.data() + blockVertices_.size();
                if (std::find(first, end, v) == end) {
                    blockVertices_.push_back(v);
                    first = blockVertices_.data() + blockVertexStart_[b];
                }
            }
        if (mixed) blockEdgeStart_[b] |= kMixedBlock;
    }
    blockEdgeStart_[blocks] = uint32_t(blockEdges_.size());
    blockVertexStart_[blocks] = uint32_t(blockVertices_.size());
}

bool ShadowGeometry::AddEdges(int a, int b) {
    if (a == b) return true;
    const bool direction = b < a;
    const int lo = std::min(a, b), hi = std::max(a, b);
    EdgeRecord* record = Record(lo);
    if (!record) {
        if (report_) report_("Error edge not found");
        return false;
    }
    int k = 0;
    while (k < record->neighbourCount && record->neighbours[k] != hi) ++k;
    if (k == record->neighbourCount) return true;
    if (record->stamps[k] == buildStamp) {
        record->stamps[k] = 0;
    } else {
        record->stamps[k] = buildStamp;
        record->flags[k] = direction;
    }
    if (built_ && size_t(lo) < edgeBase_.size()) {
        uint8_t& sighting = edgeSightings_[edgeBase_[size_t(lo)] + uint32_t(k)];
        sighting = uint8_t(((sighting ^ 1) & 1) | uint8_t(direction) << 1);
    }
    return true;
}

namespace {

struct ClassifyArrays {
    ShadowTriangle* triangles;
    int triangleCount;
    const uint32_t* triangleEdges;
    const uint32_t* blockEdgeStart;   // per block of kBlock triangles (see FinishBuild)
    const uint32_t* blockEdges;
    const uint32_t* blockVertexStart;
    const uint16_t* blockVertices;
    const D3DXVECTOR3* positions;
    uint8_t* sightings;
    uint8_t* extrude;
    void* caps;          // the cap list, of Cap indices
    uint32_t farOffset;  // N: an unlit triangle's cap uses the extruded copies
};

// One sighting of an edge that may have three or more lit sides: the parity flips and the
// direction is that of this sighting.
inline void SightExactly(uint8_t* sightings, uint32_t edge) {
    uint8_t& s = sightings[edge & kEdgeNumberMask];
    s = uint8_t((~s & 1) | (edge >> kSightingShift & 2));
}

// What the plane test's answer does to one triangle: a lit one counts a sighting of each of
// its edges, an unlit one marks its vertices for extrusion; with a Cap index type each
// writes its cap (lit: its own vertices, unlit: their copies) to the cap list.
//
// An edge with at most two triangle sides is odd after a construction exactly when one of
// them was lit, and then its direction is that sighting's: xor-ing 1 | direction << 1 into
// its byte gives the same bits as toggling the records (AddEdges) whenever they are read.
// Triangles with an edge of more sides take the toggle itself.
template <typename Cap>
struct Triangles {
    const ShadowTriangle* triangles;
    const uint32_t* triangleEdges;
    uint8_t* sightings;
    uint8_t* extrude;
    Cap* caps;
    uint32_t farOffset;

    void Sight(size_t t, bool lit) const {
        const uint16_t* v = triangles[t].vertices;
        if (lit) {
            const uint32_t* e = triangleEdges + 3 * t;
            const uint32_t e0 = e[0], e1 = e[1], e2 = e[2];
            if (__builtin_expect(e0 & kExactTriangle, 0)) {
                SightExactly(sightings, e0);
                SightExactly(sightings, e1);
                SightExactly(sightings, e2);
            } else {
                sightings[e0 & kEdgeNumberMask] ^= uint8_t(e0 >> kSightingShift & 3);
                sightings[e1 & kEdgeNumberMask] ^= uint8_t(e1 >> kSightingShift & 3);
                sightings[e2 & kEdgeNumberMask] ^= uint8_t(e2 >> kSightingShift & 3);
            }
        } else {
            extrude[v[0]] = 1;
            extrude[v[1]] = 1;
            extrude[v[2]] = 1;
        }
    }

    void Cap3(size_t t, bool lit) const {
        if constexpr (!std::is_same_v<Cap, std::nullptr_t>) {
            const uint16_t* v = triangles[t].vertices;
            const uint32_t offset = lit ? 0 : farOffset;
            Cap* cap = caps + 3 * t;
            cap[0] = Cap(v[0] + offset);
            cap[1] = Cap(v[1] + offset);
            cap[2] = Cap(v[2] + offset);
        }
    }
};

// The caps of triangles t..t+kBlock−2 (bit k of lit: triangle t+k is lit), one store each:
// the eight bytes at the triangle's corners (the last two are padding), with the offset
// added to each 16-bit corner (no sum reaches 65536, so none carries into the next), go to
// its three indices and one past them, which the next triangle's cap then overwrites. The
// block's last triangle is left to Cap3, so nothing is written past the block's caps.
inline void CapsButLast(const ShadowTriangle* triangles, size_t t, unsigned lit, uint16_t* caps, uint32_t farOffset) {
    static_assert(offsetof(ShadowTriangle, vertices) == 16 && sizeof(ShadowTriangle) == 24);
    const uint64_t far = uint64_t(farOffset) * 0x0000000100010001ull;
    for (size_t k = 0; k + 1 < kBlock; ++k) {
        uint64_t corners;
        std::memcpy(&corners, triangles[t + k].vertices, 8);
        corners += lit >> k & 1 ? 0 : far;
        std::memcpy(caps + 3 * (t + k), &corners, 8);
    }
}

// 32-bit caps: two stores, corners 0 and 1, then corner 2 and one index past it.
inline void CapsButLast(const ShadowTriangle* triangles, size_t t, unsigned lit, uint32_t* caps, uint32_t farOffset) {
    const uint64_t far = uint64_t(farOffset) * 0x0000000100000001ull;
    for (size_t k = 0; k + 1 < kBlock; ++k) {
        const uint16_t* v = triangles[t + k].vertices;
        const uint64_t offset = lit >> k & 1 ? 0 : far;
        const uint64_t first = (uint64_t(v[0]) | uint64_t(v[1]) << 32) + offset, last = uint64_t(v[2]) + offset;
        std::memcpy(caps + 3 * (t + k), &first, 8);
        std::memcpy(caps + 3 * (t + k) + 2, &last, 8);
    }
}

// n·L + d ≥ 0, summed in this order.
inline bool Lit(const ShadowTriangle& tri, float lx, float ly, float lz) {
    return tri.normal.x * lx + tri.normal.y * ly + tri.normal.z * lz + tri.d >= 0.0f;
}

#if defined(__GNUC__)
// Four plane tests at once in the compiler's vector types: the same products and sums,
// lane by lane, so the same answers.
typedef float Lanes __attribute__((vector_size(16)));
typedef int32_t LaneMasks __attribute__((vector_size(16)));
#if defined(__clang__)
#define SWSHADOW_SHUFFLE(a, b, i, j, k, l) __builtin_shufflevector(a, b, i, j, k, l)
#else
#define SWSHADOW_SHUFFLE(a, b, i, j, k, l) __builtin_shuffle(a, b, LaneMasks{i, j, k, l})
#endif

// Triangles t..t+3 lit as bits 0..3.
inline unsigned LitFour(const ShadowTriangle* triangles, size_t t, Lanes x, Lanes y, Lanes z) {
    static_assert(offsetof(ShadowTriangle, d) == 12);
    Lanes r0, r1, r2, r3;  // one plane (nx, ny, nz, d) each, turned into one coordinate each
    std::memcpy(&r0, &triangles[t].normal.x, 16);
    std::memcpy(&r1, &triangles[t + 1].normal.x, 16);
    std::memcpy(&r2, &triangles[t + 2].normal.x, 16);
    std::memcpy(&r3, &triangles[t + 3].normal.x, 16);
    const Lanes low01 = SWSHADOW_SHUFFLE(r0, r1, 0, 4, 1, 5), low23 = SWSHADOW_SHUFFLE(r2, r3, 0, 4, 1, 5);
    const Lanes high01 = SWSHADOW_SHUFFLE(r0, r1, 2, 6, 3, 7), high23 = SWSHADOW_SHUFFLE(r2, r3, 2, 6, 3, 7);
    const Lanes nx = SWSHADOW_SHUFFLE(low01, low23, 0, 1, 4, 5), ny = SWSHADOW_SHUFFLE(low01, low23, 2, 3, 6, 7);
    const Lanes nz = SWSHADOW_SHUFFLE(high01, high23, 0, 1, 4, 5), d = SWSHADOW_SHUFFLE(high01, high23, 2, 3, 6, 7);
    const LaneMasks lit = nx * x + ny * y + nz * z + d >= Lanes{};
#if defined(__SSE__)
    return unsigned(__builtin_ia32_movmskps(reinterpret_cast<Lanes>(lit)));
#else
    return unsigned((lit[0] & 1) | (lit[1] & 2) | (lit[2] & 4) | (lit[3] & 8));
#endif
}
#undef SWSHADOW_SHUFFLE
#endif

// The plane test n·L + d ≥ 0 of every triangle, summed in this order; with RecomputePlanes
// each plane is first taken from the current positions. Where a whole block of triangles is
// lit, only the edges it shares with no other triangle of the block are sighted (an edge
// with both its sides in the block is seen twice, which leaves it even); where a whole block
// is unlit its distinct vertices are marked once each. Everything it touches is a local
// here, since its byte stores could otherwise alias (and so reload) the geometry's own fields.
template <typename Cap, bool RecomputePlanes>
void Classify(const ClassifyArrays& a, const D3DXVECTOR3& light) {
    const Triangles<Cap> each{a.triangles, a.triangleEdges, a.sightings, a.extrude, static_cast<Cap*>(a.caps),
                              a.farOffset};
    uint8_t* const sightings = a.sightings;
    uint8_t* const extrude = a.extrude;
    const size_t count = size_t(a.triangleCount);
    ShadowTriangle* const triangles = a.triangles;
    const float lx = light.x, ly = light.y, lz = light.z;
    size_t t = 0;
    if constexpr (!RecomputePlanes) {
#if defined(__GNUC__)
        const Lanes x = {lx, lx, lx, lx}, y = {ly, ly, ly, ly}, z = {lz, lz, lz, lz};
#endif
        static_assert(kBlock == 8);  // two sets of four plane tests, all lit: 0xFF
        for (size_t block = 0; t + kBlock <= count; t += kBlock, ++block) {
#if defined(__GNUC__)
            const unsigned lit = LitFour(triangles, t, x, y, z) | LitFour(triangles, t + 4, x, y, z) << 4;
#else
            unsigned lit = 0;
            for (size_t k = 0; k < kBlock; ++k) lit |= unsigned(Lit(triangles[t + k], lx, ly, lz)) << k;
#endif
            const uint32_t first = a.blockEdgeStart[block], next = a.blockEdgeStart[block + 1] & ~kMixedBlock;
            if (lit == 0xFF && !(first & kMixedBlock)) {
                for (const uint32_t* e = a.blockEdges + first; e != a.blockEdges + next; ++e)
                    sightings[*e & kEdgeNumberMask] ^= uint8_t(*e >> kSightingShift & 3);
            } else if (lit == 0 && !(first & kMixedBlock)) {
                const uint16_t* v = a.blockVertices + a.blockVertexStart[block];
                for (const uint16_t* end = a.blockVertices + a.blockVertexStart[block + 1]; v != end; ++v) extrude[*v] = 1;
            } else {
                for (size_t k = 0; k < kBlock; ++k) each.Sight(t + k, lit >> k & 1);
            }
            if constexpr (!std::is_same_v<Cap, std::nullptr_t>) {
                CapsButLast(triangles, t, lit, each.caps, a.farOffset);
                each.Cap3(t + kBlock - 1, lit >> (kBlock - 1) & 1);
            }
        }
    }
    for (; t < count; ++t) {
        ShadowTriangle& tri = triangles[t];
        if (RecomputePlanes) {
            const D3DXVECTOR3& p0 = a.positions[tri.vertices[0]];
            tri.normal = TriangleNormal(p0, a.positions[tri.vertices[1]], a.positions[tri.vertices[2]]);
            tri.d = -(tri.normal.x * p0.x + tri.normal.y * p0.y + tri.normal.z * p0.z);
        }
        const bool lit = Lit(tri, lx, ly, lz);
        each.Sight(t, lit);
        each.Cap3(t, lit);
    }
}

void ClassifyAll(const ClassifyArrays& arrays, const D3DXVECTOR3& light, bool caps, bool wide, bool recomputePlanes) {
    using None = std::nullptr_t;
    if (recomputePlanes) {
        if (!caps) Classify<None, true>(arrays, light);
        else if (wide) Classify<uint32_t, true>(arrays, light);
        else Classify<uint16_t, true>(arrays, light);
    } else {
        if (!caps) Classify<None, false>(arrays, light);
        else if (wide) Classify<uint32_t, false>(arrays, light);
        else Classify<uint16_t, false>(arrays, light);
    }
}

}  // namespace

// A side quad per silhouette pair (a, b): a, N+a, b, b, N+a, N+b; both ends are marked for
// extrusion. Returns the indices written, never more than `capacity`.
template <typename Index>
int ShadowGeometry::WriteQuads(Index* out, int capacity, int pairCount) {
    const uint16_t* pairs = silhouetteEdges.data();
    uint8_t* const extrude = extrudeVertices_.data();
    const uint32_t n = uint32_t(vertexCount);
    int written = 0;
    for (int i = 0; i + 1 < pairCount && written + 6 <= capacity; i += 2, written += 6) {
        const uint32_t a = pairs[i], b = pairs[i + 1];
        Index* q = out + written;
        q[0] = Index(a);
        q[1] = Index(n + a);
        q[2] = Index(b);
        q[3] = Index(b);
        q[4] = Index(n + a);
        q[5] = Index(n + b);
        extrude[a] = 1;
        extrude[b] = 1;
    }
    return written;
}

// Performance contract: no allocation. The sightings of lit triangles' edges are counted
// in one byte per edge (parity, and the direction of the last sighting), in edge order and
// small enough for the cache; the edge records (544 bytes each) are written only for the
// edges seen an odd number of times, which are the silhouette, once it has been read out in
// edge order. So after a construction exactly those edges carry its stamp, with the direction
// of their last sighting, as if each sighting had been toggled in the records. Vertices to
// extrude are marked in a byte per vertex and get their one copy each, in vertex order.
void ShadowGeometry::Construct(const D3DXVECTOR3& light, float e, bool caps, bool recomputePlanes) {
    if (!HasGeometry()) return;
    extrudedCount = silhouetteCount = volumeIndexCount = capIndexCount = volumeStart_ = 0;
    // Stamp 0 is what untouched records hold, so a construction never uses it.
    if (++buildStamp == 0) buildStamp = 1;
    const uint32_t stamp = buildStamp;
    std::fill(edgeSightings_.begin(), edgeSightings_.end(), 0);
    std::fill(extrudeVertices_.begin(), extrudeVertices_.end(), 0);

    const int n = vertexCount;
    uint8_t* const extrude = extrudeVertices_.data();
    uint8_t* const sightings = edgeSightings_.data();
    const uint64_t* keys = edgeKeys_.data();
    // With caps the volume list ends with them, one per triangle in triangle order, so the
    // plane test writes them straight to the end of the list's room; the quads, counted only
    // afterwards, go just in front of them, and the list starts where the quads do.
    const int capacity = VolumeIndexCapacity();
    const int capStart = caps ? capacity - 3 * triangleCount : capacity;
    void* const capOut = wideIndices ? static_cast<void*>(volumeIndices32.data() + capStart)
                                     : static_cast<void*>(volumeIndices.data() + capStart);
    const ClassifyArrays arrays{triangles.data(),       triangleCount,         triangleEdges_.data(),
                                blockEdgeStart_.data(), blockEdges_.data(),    blockVertexStart_.data(),
                                blockVertices_.data(),  positions.data(),      sightings,
                                extrude,                capOut,                uint32_t(n)};
    ClassifyAll(arrays, light, caps, wideIndices, recomputePlanes);
    capIndexCount = caps ? 3 * triangleCount : 0;

    // Silhouette in edge order: smaller vertex, then slot; the pair runs the lit winding.
    // The odd edges are listed first and only then their keys read: those loads miss the
    // cache, and in a loop of their own they do not wait for each other.
    // Counts live in locals: the byte stores below could otherwise alias the fields.
    const int silhouetteCapacity = int(silhouetteEdges.size());
    uint16_t* const pairs = silhouetteEdges.data();
    uint32_t* const odd = oddEdges_.data();
    size_t oddCount = 0;
    ForEachMarked(edgeSightings_, edgeKeys_.size(), [&](size_t id) { odd[oddCount++] = uint32_t(id); });
    VANTREL_ASSERT(2 * oddCount <= size_t(silhouetteCapacity));  // at most one pair per edge
    oddCount = std::min(oddCount, size_t(silhouetteCapacity) / 2);
    int pairCount = 0;
    for (size_t i = 0; i < oddCount; ++i) {
        const uint32_t id = odd[i];
        const uint64_t key = keys[id];
        const uint16_t v = uint16_t(uint32_t(key) >> 8), other = uint16_t(key >> 32);
        const bool towardsLower = sightings[id] >> 1 & 1;
        pairs[pairCount++] = towardsLower ? other : v;
        pairs[pairCount++] = towardsLower ? v : other;
    }
    silhouetteCount = pairCount;

    // Every silhouette edge belongs to a lit triangle, so the quads (6 per edge, at most 6 per
    // source index) always fit in front of the caps (3 per triangle) in the 7 per source index.
    VANTREL_ASSERT(3 * pairCount <= (caps ? capStart : capacity));  // six per silhouette edge fit
    const int quadIndices = std::min(3 * pairCount, caps ? capStart : capacity);
    volumeStart_ = caps ? capStart - quadIndices : 0;
    const int written = wideIndices ? WriteQuads(volumeIndices32.data() + volumeStart_, quadIndices, pairCount)
                                    : WriteQuads(volumeIndices.data() + volumeStart_, quadIndices, pairCount);

    // Each marked vertex gets its one extruded copy, in vertex order, and its slot the
    // construction's stamp.
    const D3DXVECTOR3 l = light;
    const D3DXVECTOR3* const points = positions.data();
    ExtrudedVertex* const copies = extrudedVertices.data();
    uint32_t* const stamps = extrusionStamps.data();
    int copied = 0;
#if defined(__GNUC__)
    // p + (p − L)·e on three lanes and the slot in the fourth, one store per copy.
    static_assert(sizeof(ExtrudedVertex) == 16 && offsetof(ExtrudedVertex, slot) == 12);
    const Lanes lightLanes = {l.x, l.y, l.z, 0.0f}, factor = {e, e, e, e};
    ForEachMarked(extrudeVertices_, extrudeVertices_.size(), [&](size_t v) {
        const D3DXVECTOR3& p = points[v];
        const uint32_t slot = uint32_t(n) + uint32_t(v);
        const Lanes at = {p.x, p.y, p.z, 0.0f};
        LaneMasks copy = reinterpret_cast<LaneMasks>(at + (at - lightLanes) * factor);
        copy[3] = int32_t(slot);
        std::memcpy(static_cast<void*>(copies + copied++), &copy, 16);
        stamps[slot] = stamp;
    });
#else
    ForEachMarked(extrudeVertices_, extrudeVertices_.size(), [&](size_t v) {
        const D3DXVECTOR3& p = points[v];
        const uint32_t slot = uint32_t(n) + uint32_t(v);
        copies[copied++] = {p + (p - l) * e, slot};
        stamps[slot] = stamp;
    });
#endif
    extrudedCount = copied;

    // The silhouette's records take this construction's stamp and direction last: they lie
    // scattered in memory, and these stores can wait for their lines while nothing waits
    // for them (prefetching them measured slower).
    for (size_t i = 0; i < oddCount; ++i) {
        const uint32_t id = odd[i], key = uint32_t(keys[id]);
        EdgeRecord* record = Record(int(key >> 8));
        record->stamps[key & 0xFF] = stamp;
        record->flags[key & 0xFF] = sightings[id] >> 1 & 1;
    }

    if (caps) volumeStart_ = capStart - written;  // quads cut short by the room stay next to the caps
    volumeIndexCount = written + capIndexCount;
}

}  // namespace swshadow
