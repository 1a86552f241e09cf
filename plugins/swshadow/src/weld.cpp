#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
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
// the neighbour across it: about two cells on average. From 2^24 on, floats are spaced at
// least 2 apart and only equal coordinates weld: such a coordinate has a cell of its own
// per value, numbered from 2^40 on, and no neighbours.
constexpr double kCell = 8.0 * kWeldTolerance;
// Cell coordinates are taken as x × 125: a float times 125 is exact in double.
constexpr double kPerCell = 125.0;
static_assert(kCell * kPerCell > 0.999999 && kCell * kPerCell < 1.000001);
constexpr double kBorder = 0.15;
constexpr float kExactFrom = 16777216.0f;  // 2^24
constexpr int64_t kExactCells = int64_t(1) << 40;

struct CellKey {
    int64_t c[3];
    bool operator==(const CellKey& o) const { return c[0] == o.c[0] && c[1] == o.c[1] && c[2] == o.c[2]; }
};

uint64_t HashKey(const CellKey& key) {
    uint64_t h = uint64_t(key.c[0]) * 0x9E3779B97F4A7C15ull + uint64_t(key.c[1]) * 0xC2B2AE3D27D4EB4Full +
                 uint64_t(key.c[2]) * 0x165667B19E3779F9ull;
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
    return h ^ (h >> 31);
}

bool Finite(const D3DXVECTOR3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Open addressing over cells. The table holds only cell numbers, so it stays small enough
// for the cache; cells are numbered as they are made, which follows the mesh's order. Each
// cell chains the welded numbers filed under it, in increasing order.
class WeldGrid {
public:
    explicit WeldGrid(int points) {
        size_t size = 64;
        while (size < size_t(points)) size <<= 1;
        table_.assign(size, -1);
        cells_.reserve(size_t(points));
        nodes_.reserve(size_t(points));
    }

    // Head node of the cell's chain, or -1.
    int Head(const CellKey& key) const {
        const int cell = table_[Find(key)];
        return cell < 0 ? -1 : cells_[size_t(cell)].head;
    }
    void File(const CellKey& key, int welded) {
        size_t at = Find(key);
        if (table_[at] < 0) {
            if ((cells_.size() + 1) * 2 > table_.size()) {
                Grow();
                at = Find(key);
            }
            table_[at] = int(cells_.size());
            cells_.push_back({key, -1, -1});
        }
        Cell& cell = cells_[size_t(table_[at])];
        const int node = int(nodes_.size());
        nodes_.push_back({welded, -1});
        if (cell.head < 0) cell.head = node;
        else nodes_[size_t(cell.tail)].next = node;
        cell.tail = node;
    }
    int Welded(int node) const { return nodes_[size_t(node)].welded; }
    int Next(int node) const { return nodes_[size_t(node)].next; }

private:
    struct Cell {
        CellKey key;
        int head;
        int tail;
    };
    struct Node {
        int welded;
        int next;
    };
    // The table position holding the key's cell, or the empty one where it would go.
    size_t Find(const CellKey& key) const {
        const size_t mask = table_.size() - 1;
        for (size_t i = HashKey(key) & mask;; i = (i + 1) & mask) {
            const int cell = table_[i];
            if (cell < 0 || cells_[size_t(cell)].key == key) return i;
        }
    }
    void Grow() {
        table_.assign(table_.size() * 2, -1);
        for (size_t c = 0; c < cells_.size(); ++c) table_[Find(cells_[c].key)] = int(c);
    }

    std::vector<int> table_;
    std::vector<Cell> cells_;
    std::vector<Node> nodes_;
};

// The cell of a finite coordinate on one axis, and the range of cells to search.
// floor(u) is taken without a library call: this runs three times per point.
void CellRange(float x, int64_t* own, int64_t* lo, int64_t* hi) {
    if (!(std::fabs(x) < kExactFrom)) {
        *own = *lo = *hi = kExactCells + int64_t(std::bit_cast<uint32_t>(x));
        return;
    }
    const double u = double(x) * kPerCell;
    const int64_t i = int64_t(u);
    *own = i - (double(i) > u ? 1 : 0);
    const double frac = u - double(*own);
    *lo = *own - (frac < kBorder ? 1 : 0);
    *hi = *own + (frac > 1.0 - kBorder ? 1 : 0);
}

}  // namespace

int WeldSpatial(const D3DXVECTOR3* points, int count, D3DXVECTOR3* out, int* map) {
    if (count <= 0) return 0;
    WeldGrid grid(count);
    int welded = 0;
    for (int j = 0; j < count; ++j) {
        const D3DXVECTOR3& p = points[j];
        // A coordinate that is not finite fails every comparison: such a point neither
        // welds nor is welded to.
        if (!Finite(p)) {
            out[welded] = p;
            map[j] = welded++;
            continue;
        }
        CellKey own;
        int64_t range[3][2];
        const float coord[3] = {p.x, p.y, p.z};
        for (int a = 0; a < 3; ++a) CellRange(coord[a], &own.c[a], &range[a][0], &range[a][1]);
        int hit = INT_MAX;
        for (int64_t x = range[0][0]; x <= range[0][1]; ++x)
            for (int64_t y = range[1][0]; y <= range[1][1]; ++y)
                for (int64_t z = range[2][0]; z <= range[2][1]; ++z) {
                    // Welded numbers rise along a chain: the first hit is the cell's earliest.
                    for (int node = grid.Head(CellKey{{x, y, z}}); node >= 0; node = grid.Next(node)) {
                        const int k = grid.Welded(node);
                        if (k >= hit) break;
                        if (WithinWeldTolerance(out[k], p)) {
                            hit = k;
                            break;
                        }
                    }
                }
        if (hit != INT_MAX) {
            map[j] = hit;
            continue;
        }
        out[welded] = p;
        map[j] = welded;
        grid.File(own, welded++);
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
