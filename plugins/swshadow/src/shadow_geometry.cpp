#include "swshadow/shadow_geometry.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "os/memory_block.h"

namespace swshadow {

namespace {

// A triangle edge word: the edge number, the bits a sighting xors into the edge's byte,
// and in the triangle's first word whether it needs the exact toggle.
constexpr uint32_t kEdgeNumberMask = (1u << 29) - 1;
constexpr int kSightingShift = 29;
constexpr uint32_t kExactTriangle = 1u << 31;

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
    capIndices = other.capIndices;
    capIndexCount = other.capIndexCount;
    report_ = other.report_;
    built_ = other.built_;
    edgeBase_ = other.edgeBase_;
    edgeKeys_ = other.edgeKeys_;
    edgeNeighbours_ = other.edgeNeighbours_;
    triangleEdges_ = other.triangleEdges_;
    edgeSightings_ = other.edgeSightings_;
    oddEdges_ = other.oddEdges_;
    litTriangles_ = other.litTriangles_;
    triangleCorners_ = other.triangleCorners_;
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
    capIndices = {};
    capIndexCount = 0;
    built_ = false;
    edgeBase_ = {};
    edgeKeys_ = {};
    edgeNeighbours_ = {};
    triangleEdges_ = {};
    edgeSightings_ = {};
    oddEdges_ = {};
    litTriangles_ = {};
    triangleCorners_ = {};
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
    capIndices.assign(indices * 2, 0);
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

bool ShadowGeometry::FinishBuild() {
    built_ = false;
    if (vertexCount > kMaxWeldedVertices) return false;
    const int items = edgeTable.GetItemCount();
    edgeBase_.assign(size_t(items), 0);
    edgeKeys_.clear();
    edgeNeighbours_.clear();
    for (int v = 0; v < items; ++v) {
        edgeBase_[size_t(v)] = uint32_t(edgeKeys_.size());
        if (const EdgeRecord* record = Record(v))
            for (int k = 0; k < record->neighbourCount; ++k) {
                edgeKeys_.push_back(uint32_t(v) << 8 | uint32_t(k));
                edgeNeighbours_.push_back(uint16_t(record->neighbours[k]));
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
    edgeSightings_.assign(edgeKeys_.size() + 1, 0);
    oddEdges_.assign(edgeKeys_.size(), 0);
    litTriangles_.assign(size_t(triangleCount), 0);
    triangleCorners_.resize(size_t(triangleCount));
    for (size_t t = 0; t < size_t(triangleCount); ++t) {
        const uint16_t* v = triangles[t].vertices;
        triangleCorners_[t] = uint64_t(v[0]) | uint64_t(v[1]) << 16 | uint64_t(v[2]) << 32;
    }
    extrudeVertices_.assign(size_t(vertexCount), 0);
    if (extrusionStamps.size() < size_t(2 * vertexCount)) extrusionStamps.resize(size_t(2 * vertexCount), 0);
    built_ = true;
    return true;
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
    const D3DXVECTOR3* positions;
    uint8_t* sightings;
    uint8_t* extrude;
    uint8_t* lit;
};

// One sighting of an edge that may have three or more lit sides: the parity flips and the
// direction is that of this sighting.
inline void SightExactly(uint8_t* sightings, uint32_t edge) {
    uint8_t& s = sightings[edge & kEdgeNumberMask];
    s = uint8_t((~s & 1) | (edge >> kSightingShift & 2));
}

// The plane test of every triangle: a lit one counts a sighting of each of its edges, an
// unlit one marks its vertices for extrusion; with Caps each notes whether it was lit. Everything it touches is a local here, since its byte stores could otherwise
// alias (and so reload) the geometry's own fields.
//
// An edge with at most two triangle sides is odd after a construction exactly when one of
// them was lit, and then its direction is that sighting's: xor-ing 1 | direction << 1 into
// its byte gives the same bits as the documented toggle whenever they are read. Triangles
// with an edge of more sides take the toggle itself.
template <bool Caps, bool RecomputePlanes>
void Classify(const ClassifyArrays& a, const D3DXVECTOR3& light) {
    const uint32_t* triEdges = a.triangleEdges;
    uint8_t* const sightings = a.sightings;
    uint8_t* const extrude = a.extrude;
    uint8_t* litOut = a.lit;
    const int count = a.triangleCount;
    const float lx = light.x, ly = light.y, lz = light.z;
    for (ShadowTriangle *tri = a.triangles, *end = a.triangles + count; tri != end; ++tri, triEdges += 3) {
        const uint16_t v0 = tri->vertices[0], v1 = tri->vertices[1], v2 = tri->vertices[2];
        if (RecomputePlanes) {
            const D3DXVECTOR3& p0 = a.positions[v0];
            tri->normal = TriangleNormal(p0, a.positions[v1], a.positions[v2]);
            tri->d = -(tri->normal.x * p0.x + tri->normal.y * p0.y + tri->normal.z * p0.z);
        }
        const float s = tri->normal.x * lx + tri->normal.y * ly + tri->normal.z * lz + tri->d;
        const bool lit = s >= 0.0f;
        if (lit) {
            const uint32_t e0 = triEdges[0], e1 = triEdges[1], e2 = triEdges[2];
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
            extrude[v0] = 1;
            extrude[v1] = 1;
            extrude[v2] = 1;
        }
        if (Caps) *litOut++ = lit;
    }
}

}  // namespace

// Each triangle's cap, lit ones at their own vertices and the others at the extruded
// copies, into capIndices (capIndexCount) and then as many as fit `room` into `volume`;
// returns how many went there. A cap is one 8-byte store whose fourth index the next
// overwrites, where both lists have that spare index.
int ShadowGeometry::WriteCaps(uint16_t* volume, int room) {
    const int capSlots = int(capIndices.size());
    const int capTriangles = std::min(triangleCount, capSlots / 3);
    capIndexCount = 3 * capTriangles;
    room = std::max(0, std::min(room, capIndexCount));
    const int limit = std::min(capSlots, int(volumeIndices.size()) - int(volume - volumeIndices.data()));
    const int fast = std::max(0, std::min({capTriangles, (limit - 1) / 3, room / 3}));
    const uint64_t farOffset = uint64_t(vertexCount) * 0x0000000100010001ull;
    const uint64_t* corners = triangleCorners_.data();
    const uint8_t* lit = litTriangles_.data();
    uint16_t* const list = capIndices.data();
    for (int t = 0; t < fast; ++t) {
        const uint64_t cap = corners[t] + (lit[t] ? 0 : farOffset);
        std::memcpy(list + 3 * t, &cap, sizeof cap);
        std::memcpy(volume + 3 * t, &cap, sizeof cap);
    }
    for (int t = fast; t < capTriangles; ++t)
        for (int j = 0; j < 3; ++j) {
            const uint16_t index = uint16_t((corners[t] >> (16 * j)) + (lit[t] ? 0 : uint64_t(vertexCount)));
            list[3 * t + j] = index;
            if (3 * t + j < room) volume[3 * t + j] = index;
        }
    return room;
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
    extrudedCount = silhouetteCount = volumeIndexCount = capIndexCount = 0;
    // Stamp 0 is what untouched records hold, so a construction never uses it.
    if (++buildStamp == 0) buildStamp = 1;
    const uint32_t stamp = buildStamp;
    std::fill(edgeSightings_.begin(), edgeSightings_.end(), 0);
    std::fill(extrudeVertices_.begin(), extrudeVertices_.end(), 0);

    const int n = vertexCount;
    uint8_t* const extrude = extrudeVertices_.data();
    uint8_t* const sightings = edgeSightings_.data();
    const uint32_t* keys = edgeKeys_.data();
    const ClassifyArrays arrays{triangles.data(), triangleCount, triangleEdges_.data(), positions.data(),
                                sightings, extrude, litTriangles_.data()};
    if (recomputePlanes)
        caps ? Classify<true, true>(arrays, light) : Classify<false, true>(arrays, light);
    else
        caps ? Classify<true, false>(arrays, light) : Classify<false, false>(arrays, light);

    // Silhouette in edge order: smaller vertex, then slot; the pair runs the lit winding.
    // Counts live in locals: the byte stores below could otherwise alias the fields.
    const int silhouetteCapacity = int(silhouetteEdges.size());
    const uint16_t* neighbours = edgeNeighbours_.data();
    uint16_t* const pairs = silhouetteEdges.data();
    uint32_t* const odd = oddEdges_.data();
    int pairCount = 0;
    size_t oddCount = 0;
    ForEachMarked(edgeSightings_, edgeKeys_.size(), [&](size_t id) {
        if (pairCount + 2 > silhouetteCapacity) return;
        const int v = int(keys[id] >> 8), other = neighbours[id];
        const bool towardsLower = sightings[id] >> 1 & 1;
        pairs[pairCount++] = uint16_t(towardsLower ? other : v);
        pairs[pairCount++] = uint16_t(towardsLower ? v : other);
        odd[oddCount++] = uint32_t(id);
    });
    silhouetteCount = pairCount;

    const int volumeCapacity = int(volumeIndices.size());
    uint16_t* const out = volumeIndices.data();
    int written = 0;
    for (int i = 0; i + 1 < pairCount; i += 2) {
        const int a = pairs[i], b = pairs[i + 1];
        if (written + 6 > volumeCapacity) break;
        out[written++] = uint16_t(a);
        out[written++] = uint16_t(n + a);
        out[written++] = uint16_t(b);
        out[written++] = uint16_t(b);
        out[written++] = uint16_t(n + a);
        out[written++] = uint16_t(n + b);
        extrude[a] = 1;
        extrude[b] = 1;
    }

    // Each marked vertex gets its one extruded copy, in vertex order, and its slot the
    // construction's stamp.
    const D3DXVECTOR3 l = light;
    const D3DXVECTOR3* const points = positions.data();
    ExtrudedVertex* const copies = extrudedVertices.data();
    uint32_t* const stamps = extrusionStamps.data();
    int copied = 0;
    ForEachMarked(extrudeVertices_, extrudeVertices_.size(), [&](size_t v) {
        const D3DXVECTOR3& p = points[v];
        const uint32_t slot = uint32_t(n) + uint32_t(v);
        copies[copied++] = {p + (p - l) * e, slot};
        stamps[slot] = stamp;
    });
    extrudedCount = copied;

    // The silhouette's records take this construction's stamp and direction last: they lie
    // scattered in memory, and these stores can wait for their lines while nothing waits
    // for them (prefetching them measured slower).
    for (size_t i = 0; i < oddCount; ++i) {
        const uint32_t id = odd[i], key = keys[id];
        EdgeRecord* record = Record(int(key >> 8));
        record->stamps[key & 0xFF] = stamp;
        record->flags[key & 0xFF] = sightings[id] >> 1 & 1;
    }

    if (caps) written += WriteCaps(out + written, volumeCapacity - written);
    volumeIndexCount = written;
}

}  // namespace swshadow
