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

// Cells four tolerances wide: a partner of p lies, per axis, in p's own cell or in the one
// on the side of the cell half p is in, so eight cells are searched. The margin (a quarter
// cell either way) dwarfs the rounding of the double comparisons. Where floats are spaced
// wider than the tolerance only equal coordinates weld, and equal coordinates share a cell.
constexpr double kCell = 4.0 * kWeldTolerance;

struct CellKey {
    double c[3];
    bool operator==(const CellKey& o) const { return c[0] == o.c[0] && c[1] == o.c[1] && c[2] == o.c[2]; }
};

uint64_t HashKey(const CellKey& key) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (double c : key.c) {
        h ^= std::bit_cast<uint64_t>(c);
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    return h;
}

bool Finite(const D3DXVECTOR3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Open addressing over cells; each cell chains its welded numbers in increasing order.
class WeldGrid {
public:
    explicit WeldGrid(int capacity) : next_(size_t(capacity), -1) {
        size_t size = 16;
        while (size < size_t(capacity) * 2) size <<= 1;
        slots_.resize(size);
        mask_ = size - 1;
    }

    // Slot of the cell, or null when the cell is empty (insert: created).
    struct Slot {
        CellKey key;
        int head = -1;
        int tail = -1;
    };
    Slot* Find(const CellKey& key, bool insert) {
        for (size_t i = HashKey(key) & mask_;; i = (i + 1) & mask_) {
            Slot& s = slots_[i];
            if (s.head < 0) {
                if (!insert) return nullptr;
                s.key = key;
                return &s;
            }
            if (s.key == key) return &s;
        }
    }
    void Append(Slot* slot, int k) {
        if (slot->head < 0) slot->head = k;
        else next_[size_t(slot->tail)] = k;
        slot->tail = k;
    }
    int Next(int k) const { return next_[size_t(k)]; }

private:
    std::vector<Slot> slots_;
    std::vector<int> next_;
    size_t mask_ = 0;
};

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
        const double coord[3] = {p.x, p.y, p.z};
        CellKey own;
        double side[3];
        for (int a = 0; a < 3; ++a) {
            const double u = coord[a] / kCell;
            own.c[a] = std::floor(u) + 0.0;  // -0.0 and 0.0 name one cell
            side[a] = (u - own.c[a] < 0.5) ? -1.0 : 1.0;
        }
        int best = INT_MAX;
        for (int corner = 0; corner < 8; ++corner) {
            CellKey key = own;
            for (int a = 0; a < 3; ++a)
                if (corner & (1 << a)) key.c[a] += side[a];
            const auto* slot = grid.Find(key, false);
            if (!slot) continue;
            // Welded numbers rise along a chain: the first hit is the cell's earliest.
            for (int k = slot->head; k >= 0 && k < best; k = grid.Next(k)) {
                if (WithinWeldTolerance(out[k], p)) {
                    best = k;
                    break;
                }
            }
        }
        if (best != INT_MAX) {
            map[j] = best;
            continue;
        }
        out[welded] = p;
        grid.Append(grid.Find(own, true), welded);
        map[j] = welded++;
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
