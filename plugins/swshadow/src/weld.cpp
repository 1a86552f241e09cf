#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <vecmath/d3dx_math.h>

#include "swshadow/shadow_geometry.h"

namespace swshadow {

int WeldQuadratic(const D3DXVECTOR3* points, int count, D3DXVECTOR3* out, int* map) {
    int welded = 0;
    for (int j = 0; j < count; ++j) {
        const D3DXVECTOR3& p = points[j];
        int hit = -1;
        for (int k = 0; k < welded; ++k) {
            if (WithinWeldTolerance(out[k], p)) {
                hit = k;
                break;
            }
        }
        if (hit < 0) {
            hit = welded++;
            out[hit] = p;
        }
        map[j] = hit;
    }
    return welded;
}

namespace {

// Cells eight tolerances wide. Two points that weld lie within an eighth of a cell of each
// other per axis (the rounding of the double comparisons is far below that margin), so a
// point searches its own cell and, on each axis where it lies within 0.15 cell of a border,
// the neighbour across it: about two cells on average. From 2^20 on, floats are spaced at
// least 0.125 apart and only equal coordinates weld: such a coordinate has a cell of its
// own per value and no neighbours. Either kind of cell number fits 32 bits: ordinary ones
// stay within ±2^27, a coordinate from 2^20 on is numbered by its bits (at least 2^30),
// negated for negative ones.
constexpr double kCell = 8.0 * kWeldTolerance;
// Cell coordinates are taken as x × 125: a float times 125 is exact in double.
constexpr double kPerCell = 125.0;
static_assert(kCell * kPerCell > 0.999999 && kCell * kPerCell < 1.000001);
constexpr double kBorder = 0.15;
constexpr float kExactFrom = 1048576.0f;  // 2^20
static_assert(1048576.0 * kPerCell < double(1 << 27) && 0x49800000 > (1 << 30));

struct CellKey {
    int32_t c[3];
};

bool Finite(const D3DXVECTOR3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The cell of a finite coordinate on one axis; for a coordinate from 2^20 on, whether it
// has neighbours at all.
int32_t OwnCell(float x, bool* exact) {
    if (!(std::fabs(x) < kExactFrom)) {
        *exact = true;
        const int32_t bits = int32_t(std::bit_cast<uint32_t>(std::fabs(x)));
        return x < 0.0f ? -bits : bits;
    }
    const double u = double(x) * kPerCell;
    const int32_t i = int32_t(u);  // |u| < 2^27: no overflow; floor without a library call
    return i - (double(i) > u ? 1 : 0);
}

// The range of cells to search on one axis around an ordinary coordinate's own cell.
void CellRange(float x, int32_t own, int32_t* lo, int32_t* hi) {
    const double frac = double(x) * kPerCell - double(own);
    *lo = own - (frac < kBorder ? 1 : 0);
    *hi = own + (frac > 1.0 - kBorder ? 1 : 0);
}

// Open addressing over cells. The table holds only cell numbers, so it stays small enough
// for the cache; cells are numbered as they are made, which follows the mesh's order, so
// the cells a point searches were mostly made recently. Each cell holds its numbers and
// the first welded number filed under it; the welded numbers of a cell are chained in
// rising order through `next` (indexed by welded number, as every welded point is filed
// where it was made).
class WeldGrid {
public:
    WeldGrid(int points, int* next, const D3DXVECTOR3* out) : next_(next), out_(out) {
        size_t size = 64;
        while (size < size_t(points)) size <<= 1;
        Resize(size);
        cells_.reserve(size_t(points));
    }

    // The table position holding the cell's number, or the empty one where it would go.
    size_t Find(const CellKey& key) const {
        for (size_t i = Hash(key) >> shift_;; i = (i + 1) & mask_) {
            const int32_t cell = table_[i];
            if (cell < 0) return i;
            const Cell& c = cells_[size_t(cell)];
            if (c.c[0] == key.c[0] && c.c[1] == key.c[1] && c.c[2] == key.c[2]) return i;
        }
    }
    int Head(size_t at) const { return table_[at] < 0 ? -1 : cells_[size_t(table_[at])].head; }
    // Whether the cell at `at` exists and its first welded point is a bit-for-bit copy of p.
    bool HeadIsCopy(size_t at, const D3DXVECTOR3& p) const {
        return table_[at] >= 0 && std::memcmp(&out_[cells_[size_t(table_[at])].head], &p, sizeof p) == 0;
    }
    int Head(const CellKey& key) const { return Head(Find(key)); }
    int Next(int welded) const { return next_[welded]; }

    // Files welded number k (larger than any filed) in the cell at `at` from Find, after
    // `last`, the cell's last number (or -1 when the cell is new).
    void File(size_t at, const CellKey& key, int last, int k, const D3DXVECTOR3& p) {
        next_[k] = -1;
        if (last >= 0) {
            next_[last] = k;
            return;
        }
        table_[at] = int32_t(cells_.size());
        cells_.push_back({{key.c[0], key.c[1], key.c[2]}, k});
        if (cells_.size() * 2 > table_.size()) {
            Resize(table_.size() * 2);
            for (size_t c = 0; c < cells_.size(); ++c) table_[Find(CellKey{{cells_[c].c[0], cells_[c].c[1], cells_[c].c[2]}})] = int32_t(c);
        }
    }

private:
    // The first point's position is kept beside the cell's numbers: in a triangle soup it
    // answers most lookups without a further load.
    struct Cell {
        int32_t c[3];
        int32_t head;
    };
    // Fibonacci hashing of the three numbers folded into 64 bits; the fold may merge
    // distant cells, which only costs a probe, as Find compares whole keys.
    static uint64_t Hash(const CellKey& key) {
        const uint64_t folded = uint64_t(uint32_t(key.c[0])) ^ uint64_t(uint32_t(key.c[1])) << 21 ^
                                uint64_t(uint32_t(key.c[2])) << 42;
        return folded * 0x9E3779B97F4A7C15ull;
    }
    void Resize(size_t size) {
        table_.assign(size, -1);
        mask_ = size - 1;
        shift_ = 64 - std::countr_zero(size);
    }

    std::vector<int32_t> table_;
    std::vector<Cell> cells_;
    size_t mask_ = 0;
    int shift_ = 0;
    int* next_;
    const D3DXVECTOR3* out_;
};

}  // namespace

int WeldSpatial(const D3DXVECTOR3* points, int count, D3DXVECTOR3* out, int* map) {
    if (count <= 0) return 0;
    // Left unset: only the welded numbers' entries are written, and fresh pages are
    // costly to touch.
    const std::unique_ptr<int[]> next(new int[size_t(count)]);
    WeldGrid grid(count, next.get(), out);
    // Points seen lately, by a hash of their bits, with their welded numbers: a copy of an
    // earlier point that matches itself takes that point's number (nothing before it
    // matched, and it did), and meshes use their vertices again soon after.
    struct Recent {
        D3DXVECTOR3 p;
        int welded;
    };
    constexpr int kRecentBits = 10;
    std::unique_ptr<Recent[]> recent(new Recent[size_t(1) << kRecentBits]);
    for (size_t i = 0; i < (size_t(1) << kRecentBits); ++i) recent[i].welded = -1;
    int welded = 0;
    for (int j = 0; j < count; ++j) {
        const D3DXVECTOR3& p = points[j];
        uint32_t bits[3];
        std::memcpy(bits, &p, sizeof bits);
        Recent& seen = recent[(((uint64_t(bits[0]) << 32 | bits[1]) ^ uint64_t(bits[2]) << 16) * 0x9E3779B97F4A7C15ull) >>
                              (64 - kRecentBits)];
        if (seen.welded >= 0 && std::memcmp(&seen.p, &p, sizeof p) == 0) {
            map[j] = seen.welded;
            continue;
        }
        const float coord[3] = {p.x, p.y, p.z};
        bool exact[3] = {false, false, false};
        CellKey own;
        for (int a = 0; a < 3; ++a) own.c[a] = OwnCell(coord[a], &exact[a]);
        // A coordinate that is not finite fails every comparison: such a point neither
        // welds nor is welded to. (OwnCell files it as exact, so ordinary points skip
        // the test.)
        if ((exact[0] || exact[1] || exact[2]) && !Finite(p)) {
            out[welded] = p;
            map[j] = welded++;
            continue;
        }
        // Beyond about 2^43 a coordinate fails the strict comparison even with itself, so
        // only points whose coordinates are all ordinary take the shortcut for copies
        // without asking.
        const bool matchesItself = !(exact[0] || exact[1] || exact[2]) || WithinWeldTolerance(p, p);
        const size_t ownSlot = grid.Find(own);
        if (matchesItself && grid.HeadIsCopy(ownSlot, p)) {
            map[j] = seen.welded = grid.Head(ownSlot);
            seen.p = p;
            continue;
        }
        int hit = INT_MAX, last = -1;
        bool copy = false;
        for (int k = grid.Head(ownSlot); k >= 0; k = grid.Next(k)) {
            if (matchesItself && std::memcmp(&out[k], &p, sizeof p) == 0) {
                hit = k;
                copy = true;
                break;
            }
            if (WithinWeldTolerance(out[k], p)) {
                hit = k;
                break;
            }
            last = k;
        }
        if (!copy) {
            int32_t range[3][2];
            for (int a = 0; a < 3; ++a) {
                if (exact[a]) range[a][0] = range[a][1] = own.c[a];
                else CellRange(coord[a], own.c[a], &range[a][0], &range[a][1]);
            }
            for (int32_t x = range[0][0]; x <= range[0][1]; ++x)
                for (int32_t y = range[1][0]; y <= range[1][1]; ++y)
                    for (int32_t z = range[2][0]; z <= range[2][1]; ++z) {
                        if (x == own.c[0] && y == own.c[1] && z == own.c[2]) continue;
                        // Welded numbers rise along a chain: the first hit is the cell's earliest.
                        for (int k = grid.Head(CellKey{{x, y, z}}); k >= 0 && k < hit; k = grid.Next(k))
                            if (WithinWeldTolerance(out[k], p)) {
                                hit = k;
                                break;
                            }
                    }
        }
        if (matchesItself) {
            seen.p = p;
            seen.welded = hit != INT_MAX ? hit : welded;
        }
        if (hit != INT_MAX) {
            map[j] = hit;
            continue;
        }
        out[welded] = p;
        map[j] = welded;
        grid.File(ownSlot, own, last, welded++, p);
    }
    return welded;
}

D3DXVECTOR3 TriangleNormal(const D3DXVECTOR3& v0, const D3DXVECTOR3& v1, const D3DXVECTOR3& v2) {
    const D3DXVECTOR3 a = v2 - v1, b = v1 - v0;
    D3DXVECTOR3 n;
    D3DXVec3Cross(&n, &a, &b);
    D3DXVec3Normalize(&n, &n);
    return n;
}

}  // namespace swshadow
