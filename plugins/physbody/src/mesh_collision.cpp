// Collision of spheres and boxes against the triangle meshes of the collision objects on
// the body's "Collision object" link. Vector arithmetic is single precision, as the meshes
// are; what goes to and comes from ODE is double.
//
// Performance contract: only the triangles a collision object returns for the query box
// are tested, and the polygon list is one list reused by every call, so a query that
// finds no more triangles than an earlier one never allocates. The colliders reach their
// helper operations directly (inline, or by qualified calls), not through the virtual
// table: these run for every listed triangle of every pair.
#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include <vecmath/d3dx_math.h>

#include "physbody/ode_body.h"
#include "physworld/ode_world.h"
#include "plugin_frame/siblings/collision_object.h"

namespace {

constexpr int kCollisionObjectLink = 2;
constexpr float kFrontTolerance = 0.0001f;  // a centre nearer its triangle's plane is not in front
// Box contacts closer together than this share of the box's smallest side are one contact.
constexpr double kSamePoint = 0.05;

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

// All sixteen values compared exactly (against the base type, so C++20's reversed
// comparison is no second candidate).
bool IsIdentity(const D3DXMATRIX& w) {
    static const D3DXMATRIX identity = Identity();
    return w == static_cast<const D3DMATRIX&>(identity);
}

// The vector routines inline, with the extension library's arithmetic: these run for
// every listed triangle of every pair, where a call into another library each costs more
// than the arithmetic.
inline D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float Length(const D3DXVECTOR3& v) { return std::sqrt(Dot(v, v)); }
inline D3DXVECTOR3 Normalised(const D3DXVECTOR3& v) {
    const float length = Length(v);
    return length == 0.0f ? D3DXVECTOR3(0.0f, 0.0f, 0.0f) : v * (1.0f / length);
}
inline D3DXVECTOR3 Transformed(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    const float x = v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41;
    const float y = v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42;
    const float z = v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43;
    const float w = v.x * m._14 + v.y * m._24 + v.z * m._34 + m._44;
    const float inv = 1.0f / w;
    return {x * inv, y * inv, z * inv};
}

// Closest point of the segment [a, b] to p; u is Normalised(b - a), length Length(b - a).
D3DXVECTOR3 ClosestAlong(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& u, float length,
                         const D3DXVECTOR3& p) {
    const float t = Dot(p - a, u);
    if (t < 0.0f) return a;
    if (t > length) return b;
    return a + u * t;
}

D3DXVECTOR3 ClosestOnSegment(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& p) {
    return ClosestAlong(a, b, Normalised(b - a), Length(b - a), p);
}

bool RayMeetsTriangle(const D3DXVECTOR3& target, const D3DXVECTOR3& origin, const D3DXVECTOR3& e1,
                      const D3DXVECTOR3& e2, const D3DXVECTOR3& v0) {
    const D3DXVECTOR3 dir = target - origin;
    const D3DXVECTOR3 pvec = Cross(dir, e2);
    float det = Dot(e1, pvec);
    D3DXVECTOR3 tvec;
    if (det > 0.0f) {
        tvec = origin - v0;
    } else {
        tvec = v0 - origin;
        det = -det;
    }
    if (det < 0.0001f) return false;
    const float u = Dot(tvec, pvec);
    if (u < 0.0f || u > det) return false;
    const D3DXVECTOR3 qvec = Cross(tvec, e1);
    const float v = Dot(dir, qvec);
    return !(v < 0.0f || u + v > det);
}

// The unit normal of the plane through a, b and c.
D3DXVECTOR3 PlaneNormal(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c) {
    return Normalised(Cross(b - a, c - a));
}

bool BehindPlane(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& p) {
    const D3DXVECTOR3 m = PlaneNormal(a, b, c);
    return Dot(m, p) - Dot(m, a) < 0.0f;
}

// The edge push of [a, b] (direction u, length `length`, as ClosestAlong takes them).
bool EdgePushAlong(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& u, float length,
                   const D3DXVECTOR3& centre, D3DXVECTOR3& push, float radius) {
    const D3DXVECTOR3 v = centre - ClosestAlong(a, b, u, length, centre);
    const float dist = Length(v);
    if (radius < dist) return false;
    const float depth = radius - dist;
    if (Length(push) >= depth) return true;  // the deepest edge push so far stays
    push = Normalised(v) * depth;
    return true;
}

bool EdgePush(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& centre, D3DXVECTOR3& push, float radius) {
    return EdgePushAlong(a, b, Normalised(b - a), Length(b - a), centre, push, radius);
}

// A listed triangle in world space, with what the rules derive from it alone. Each value is
// made by the very operations the rules apply to the triangle, so a kept value is the value
// the rules would compute again, bit for bit. Two cache lines, in the order the sphere rule
// reads them: a kept mesh is read all over for every body, and a triangle's cache misses
// cost more than the few subtractions and roots left out (an edge's vector, direction and
// length are made where needed, by the same operations).
struct alignas(64) WorldTriangle {
    uint32_t stamp = 0;           // of the kept mesh when derived (MeshCache); 0: never
    D3DXVECTOR3 lo, hi;           // bounds
    D3DXVECTOR3 n;                // unit normal
    float nv0;                    // Dot(n, v0)
    D3DXVECTOR3 v0, v1, v2;
    // Edge k runs from vertex k to vertex k + 1: the unit normal of the plane through it and
    // the point one unit below its end (the sphere rule's side plane), and that plane's offset.
    D3DXVECTOR3 side[3];
    float sideOffset[3];
};
static_assert(sizeof(WorldTriangle) == 128, "a kept triangle fills two cache lines");

// `identity`: w is the identity, which leaves every vertex exactly as it is.
bool ToWorld(Kco_DX8_CollisionObject* mesh, void* entry, const D3DXMATRIX& w, bool identity, WorldTriangle& out) {
    const PolygonInfoItem* polygon = mesh->GetPolygonInfoItem(uint32_t(reinterpret_cast<uintptr_t>(entry)));
    if (!polygon) return false;
    out.v0 = identity ? polygon->vertex[0] : Transformed(polygon->vertex[0], w);
    out.v1 = identity ? polygon->vertex[1] : Transformed(polygon->vertex[1], w);
    out.v2 = identity ? polygon->vertex[2] : Transformed(polygon->vertex[2], w);
    return true;
}

void Derive(WorldTriangle& t) {
    t.n = PlaneNormal(t.v0, t.v1, t.v2);
    t.nv0 = Dot(t.n, t.v0);
    t.lo = {std::fmin(t.v0.x, std::fmin(t.v1.x, t.v2.x)), std::fmin(t.v0.y, std::fmin(t.v1.y, t.v2.y)),
            std::fmin(t.v0.z, std::fmin(t.v1.z, t.v2.z))};
    t.hi = {std::fmax(t.v0.x, std::fmax(t.v1.x, t.v2.x)), std::fmax(t.v0.y, std::fmax(t.v1.y, t.v2.y)),
            std::fmax(t.v0.z, std::fmax(t.v1.z, t.v2.z))};
    const D3DXVECTOR3* corners[3] = {&t.v0, &t.v1, &t.v2};
    for (int k = 0; k < 3; ++k) {
        const D3DXVECTOR3& a = *corners[k];
        const D3DXVECTOR3& b = *corners[(k + 1) % 3];
        t.side[k] = PlaneNormal(a, b, b - t.n);
        t.sideOffset[k] = Dot(t.side[k], a);
    }
}

// The face pushes of one sphere, combined into the push that clears every face the sphere
// sinks into: each face adds only what the push so far lacks along its normal. Triangles of
// one surface (a grid's triangles round a shared vertex or edge) thus push once, however
// many hold the centre, while faces at an angle (a crease) are each cleared. Two more passes
// over the kept faces settle the push where clearing a later face overshot or undid an
// earlier one.
class FacePushes {
public:
    void Add(const D3DXVECTOR3& n, float depth) {
        Clear(n, depth);
        if (count_ < kKept) normal_[count_] = n, depth_[count_++] = depth;
    }
    D3DXVECTOR3 Settled() {
        for (int pass = 0; pass < 2; ++pass)
            for (int i = 0; i < count_; ++i) Clear(normal_[i], depth_[i]);
        return push_;
    }

private:
    void Clear(const D3DXVECTOR3& n, float depth) {
        const float lacking = depth - Dot(push_, n);
        if (lacking > 0.0f) push_ += n * lacking;
    }
    static constexpr int kKept = 16;  // faces a sphere sinks into at once; more are cleared once
    D3DXVECTOR3 normal_[kKept];
    float depth_[kKept];
    int count_ = 0;
    D3DXVECTOR3 push_{0.0f, 0.0f, 0.0f};
};

// Whether the triangle's bounds lie beyond `reach` of c on some axis; such a triangle has no
// point within reach of c, so neither its face nor its edges can touch a sphere of that radius.
bool OutOfReach(const WorldTriangle& t, const D3DXVECTOR3& c, float reach) {
    return t.lo.x > c.x + reach || t.hi.x < c.x - reach || t.lo.y > c.y + reach || t.hi.y < c.y - reach ||
           t.lo.z > c.z + reach || t.hi.z < c.z - reach;
}

}  // namespace

// ---- what is kept of the meshes ----

// Per link position of the "Collision object" link: the triangles derived so far under the
// mesh's current triangles (its generation) and world matrix. A change of either makes every
// kept triangle stale at once (a new stamp); stale triangles are derived again when listed.
struct Kco_ODE_BodyCollision::MeshCache {
    struct Mesh {
        const Kco_DX8_CollisionObject* object = nullptr;
        uint64_t generation = 0;
        D3DXMATRIX world{};
        uint32_t stamp = 0;               // carried by the triangles derived under the above
        std::vector<WorldTriangle> triangles;  // by list entry; sized by the mesh's triangle count
    };

    Mesh& Use(int position, Kco_DX8_CollisionObject* object, const D3DXMATRIX& w) {
        if (meshes.size() <= size_t(position)) meshes.resize(size_t(position) + 1);
        Mesh& mesh = meshes[size_t(position)];
        if (mesh.object == object && mesh.generation == object->GetMeshGeneration() &&
            std::memcmp(&mesh.world, &w, sizeof w) == 0)
            return mesh;
        const size_t slots = size_t(object->GetPolygonCount()) + 1;  // entries are index + 1
        mesh.object = object;
        mesh.generation = object->GetMeshGeneration();
        mesh.world = w;
        mesh.triangles.resize(slots);
        if (++mesh.stamp == 0) {  // the stamps went round: start them again
            for (WorldTriangle& t : mesh.triangles) t.stamp = 0;
            mesh.stamp = 1;
        }
        return mesh;
    }

    // The derived triangle of a list entry, null for an entry the mesh does not hold. An
    // entry beyond the kept slots is derived into `scratch`.
    static const WorldTriangle* Triangle(Mesh& mesh, Kco_DX8_CollisionObject* object, void* entry,
                                         const D3DXMATRIX& w, bool identity, WorldTriangle& scratch) {
        const uintptr_t slot = reinterpret_cast<uintptr_t>(entry);
        if (slot >= mesh.triangles.size()) {
            if (!ToWorld(object, entry, w, identity, scratch)) return nullptr;
            Derive(scratch);
            return &scratch;
        }
        WorldTriangle& t = mesh.triangles[slot];
        if (t.stamp != mesh.stamp) {
            if (!ToWorld(object, entry, w, identity, t)) return nullptr;
            Derive(t);
            t.stamp = mesh.stamp;
        }
        return &t;
    }

    std::vector<Mesh> meshes;
};

void Kco_ODE_BodyCollision::MeshCacheDeleter::operator()(MeshCache* cache) const { delete cache; }

template <typename SetBounds, typename Visit>
bool Kco_ODE_BodyCollision::ForEachListedTriangle(SetBounds setBounds, Visit visit) {
    for (int k = 0; k < GetChildLinkPositionCount(kCollisionObjectLink); ++k) {
        auto* mesh = static_cast<Kco_DX8_CollisionObject*>(GetChildFromLinkPosition(kCollisionObjectLink, k));
        if (!mesh) continue;
        const D3DXMATRIX w = mesh->GetObjectWorld();
        const bool identity = IsIdentity(w);
        setBounds(w, identity);
        polygonList.ReleaseItems();
        mesh->AddBoxCollisionPolygonsToList(&polygonList, &boundsMin, &boundsMax);
        MeshCache::Mesh& kept = Cache().Use(k, mesh, w);
        // The kept triangles lie all over memory: ask for all of them before reading any.
        const size_t slots = kept.triangles.size();
        for (int i = 0; i < polygonList.GetItemCount(); ++i) {
            const uintptr_t slot = reinterpret_cast<uintptr_t>(polygonList.GetItem(i));
            if (slot < slots) {
                const char* line = reinterpret_cast<const char*>(&kept.triangles[slot]);
                __builtin_prefetch(line);
                __builtin_prefetch(line + 64);
            }
        }
        WorldTriangle scratch;
        for (int i = 0; i < polygonList.GetItemCount(); ++i) {
            const WorldTriangle* t = MeshCache::Triangle(kept, mesh, polygonList.GetItem(i), w, identity, scratch);
            if (t && !visit(*t)) return false;
        }
    }
    return true;
}

namespace {

// ODE's rotation (3x4, row-major) column j: the box's axis j in world space.
inline double Column(const double* r, int row, int j) { return r[4 * row + j]; }

// Vertex of a box reached by walking each half side along (sign of normal . axis) x `toward`.
void BoxVertex(const double* p, const double* r, const double* half, const double* normal, double toward,
               double out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = p[k];
    for (int j = 0; j < 3; ++j) {
        const double along = normal[0] * Column(r, 0, j) + normal[1] * Column(r, 1, j) + normal[2] * Column(r, 2, j);
        const double sign = along > 0.0 ? toward : -toward;
        for (int k = 0; k < 3; ++k) out[k] += sign * half[j] * Column(r, k, j);
    }
}

// The eight corners of a box (centre p, rotation r, side lengths); corner c takes the
// positive half of side j where bit j of c is set.
void BoxCorners(const double* p, const double* r, const double* sides, double corners[8][3]) {
    for (int c = 0; c < 8; ++c)
        for (int k = 0; k < 3; ++k) {
            corners[c][k] = p[k];
            for (int j = 0; j < 3; ++j) corners[c][k] += ((c >> j) & 1 ? 0.5 : -0.5) * sides[j] * Column(r, k, j);
        }
}

// How far `point` lies below the plane through `on` with unit normal n.
inline double Below(const double* point, const D3DXVECTOR3& n, double plane) {
    return plane - (n.x * point[0] + n.y * point[1] + n.z * point[2]);
}

// Whether `point`, seen along the triangle's normal, falls on the triangle (its edges
// included, with a margin of a millionth of the edge for rounding, so that a corner over an
// edge shared by two triangles is over both and is kept by one of them).
bool OverTriangle(const WorldTriangle& t, const double* point) {
    const D3DXVECTOR3* v[3] = {&t.v0, &t.v1, &t.v2};
    for (int e = 0; e < 3; ++e) {
        const D3DXVECTOR3& a = *v[e];
        const D3DXVECTOR3& b = *v[(e + 1) % 3];
        const double ex = double(b.x) - a.x, ey = double(b.y) - a.y, ez = double(b.z) - a.z;
        const double px = point[0] - a.x, py = point[1] - a.y, pz = point[2] - a.z;
        // n . (edge x (point - a)): positive on the triangle's side of the edge.
        const double side = t.n.x * (ey * pz - ez * py) + t.n.y * (ez * px - ex * pz) + t.n.z * (ex * py - ey * px);
        if (side < -1e-6 * (ex * ex + ey * ey + ez * ez)) return false;
    }
    return true;
}

// Where a box meets a triangle when none of its corners lies over it (the box rests on the
// triangle with an edge or a face, as across a ridge or on a bump); `meet(point, push,
// depth)` is called for each such point that lies below the triangle's plane. Vertices of
// the triangle inside the box are pushed out of the box face they entered by (of the faces
// that look towards the mesh, the one each lies least deep behind), along that face's
// normal: the vertices a grid's triangles share give one and the same contact. Without such
// a vertex the box is pushed along the triangle's normal at every point of its within the
// triangle's prism (the triangle swept along its normal) that lies below the plane: where a
// box edge crosses a side plane of the prism, and where a prism edge enters the box. A box
// face lying across a ridge is thus held at both ends of the ridge under it, not at
// whichever end lies deeper by a rounding, which turned from frame to frame and rocked the
// box. Measuring only within the prism keeps a corner far from the triangle from being
// pushed as if the triangle's plane ran on under it.
template <typename Meet>
void Meetings(const WorldTriangle& t, const double corners[8][3], const double* centre, const double* r,
              const double* half, double plane, Meet meet) {
    const D3DXVECTOR3* v[3] = {&t.v0, &t.v1, &t.v2};
    const double n[3] = {t.n.x, t.n.y, t.n.z};
    // Triangle vertices inside the box.
    double facings[3], most = 0.0;
    for (int j = 0; j < 3; ++j)
        most = std::fmax(most, std::fabs(facings[j] = n[0] * Column(r, 0, j) + n[1] * Column(r, 1, j) +
                                                      n[2] * Column(r, 2, j)));
    for (int k = 0; k < 3; ++k) {
        const double q[3] = {v[k]->x - centre[0], v[k]->y - centre[1], v[k]->z - centre[2]};
        double least = std::numeric_limits<double>::infinity(), face[3] = {0.0, 0.0, 0.0};
        bool inside = true;
        for (int j = 0; j < 3 && inside; ++j) {
            const double axis[3] = {Column(r, 0, j), Column(r, 1, j), Column(r, 2, j)};
            const double from = q[0] * axis[0] + q[1] * axis[1] + q[2] * axis[2];
            inside = std::fabs(from) <= half[j];
            // Only faces that look towards the mesh about as much as the most facing one: a
            // vertex under a box lying flat is pushed out of its underside, never sideways
            // out of a side it happens to lie near.
            const double facing = facings[j];
            if (!(std::fabs(facing) >= 0.5 * most)) continue;
            // The face on the side the mesh lies: its outward normal is -sign(facing) axis.
            const double behind = half[j] + (facing > 0.0 ? from : -from);
            if (behind < least) {
                least = behind;
                for (int c = 0; c < 3; ++c) face[c] = facing > 0.0 ? axis[c] : -axis[c];
            }
        }
        if (!inside || least == std::numeric_limits<double>::infinity()) continue;
        const double p[3] = {v[k]->x, v[k]->y, v[k]->z};
        meet(p, face, least);
    }
    // Inward side normals n x edge (unnormalised) and the tolerance of OverTriangle.
    double side[3][3], offset[3], tolerance[3];
    for (int e = 0; e < 3; ++e) {
        const D3DXVECTOR3& a = *v[e];
        const D3DXVECTOR3& b = *v[(e + 1) % 3];
        const double ex = double(b.x) - a.x, ey = double(b.y) - a.y, ez = double(b.z) - a.z;
        side[e][0] = t.n.y * ez - t.n.z * ey;
        side[e][1] = t.n.z * ex - t.n.x * ez;
        side[e][2] = t.n.x * ey - t.n.y * ex;
        offset[e] = side[e][0] * a.x + side[e][1] * a.y + side[e][2] * a.z;
        tolerance[e] = 1e-6 * (ex * ex + ey * ey + ez * ez);
    }
    const auto inside = [&](const double* p, int skip) {
        for (int e = 0; e < 3; ++e)
            if (e != skip && side[e][0] * p[0] + side[e][1] * p[1] + side[e][2] * p[2] - offset[e] < -tolerance[e])
                return false;
        return true;
    };
    // Box edges across the prism's side planes.
    for (int c = 0; c < 8; ++c)
        for (int j = 0; j < 3; ++j) {
            if ((c >> j) & 1) continue;
            const double* p0 = corners[c];
            const double* p1 = corners[c | (1 << j)];
            if (Below(p0, t.n, plane) < 0.0 && Below(p1, t.n, plane) < 0.0) continue;  // wholly above
            for (int e = 0; e < 3; ++e) {
                const double f0 = side[e][0] * p0[0] + side[e][1] * p0[1] + side[e][2] * p0[2] - offset[e];
                const double f1 = side[e][0] * p1[0] + side[e][1] * p1[1] + side[e][2] * p1[2] - offset[e];
                if ((f0 < 0.0) == (f1 < 0.0)) continue;
                const double s = f0 / (f0 - f1);
                const double p[3] = {p0[0] + s * (p1[0] - p0[0]), p0[1] + s * (p1[1] - p0[1]),
                                     p0[2] + s * (p1[2] - p0[2])};
                const double below = Below(p, t.n, plane);
                if (below >= 0.0 && inside(p, e)) meet(p, n, below);
            }
        }
    // Triangle vertices swept along the normal, where they enter the box (a box wholly below
    // a vertex): the lowest point of that line within the box's three slabs.
    for (int k = 0; k < 3; ++k) {
        const double q[3] = {v[k]->x - centre[0], v[k]->y - centre[1], v[k]->z - centre[2]};
        double lo = -std::numeric_limits<double>::infinity(), hi = std::numeric_limits<double>::infinity();
        for (int j = 0; j < 3 && lo <= hi; ++j) {
            const double from = q[0] * Column(r, 0, j) + q[1] * Column(r, 1, j) + q[2] * Column(r, 2, j);
            const double along = n[0] * Column(r, 0, j) + n[1] * Column(r, 1, j) + n[2] * Column(r, 2, j);
            if (along == 0.0) {
                if (std::fabs(from) > half[j]) lo = 1.0, hi = 0.0;
                continue;
            }
            double s0 = (-half[j] - from) / along, s1 = (half[j] - from) / along;
            if (s0 > s1) std::swap(s0, s1);
            lo = std::fmax(lo, s0);
            hi = std::fmin(hi, s1);
        }
        if (!(lo <= hi) || !(-lo >= 0.0)) continue;
        const double p[3] = {v[k]->x + lo * n[0], v[k]->y + lo * n[1], v[k]->z + lo * n[2]};
        meet(p, n, -lo);
    }
}

// ---- sweeps of fast bodies ----

// A body that moves more than this share of its size (a sphere's radius, a box's smallest
// side) in one step is swept along its motion: a discrete test would meet the mesh only
// once the body had passed halfway through it, or not at all.
constexpr double kSweepShare = 0.25;

// The earliest touch along a sweep: the share s (0..1) of the motion made before the touch,
// the push normal there (unit, from the mesh towards the body) and the body's point that
// touches, where it is now.
struct Touch {
    double s = 2.0;  // beyond the motion: nothing touched
    double normal[3] = {0.0, 0.0, 0.0};
    double point[3] = {0.0, 0.0, 0.0};
    double motion[3] = {0.0, 0.0, 0.0};  // of that point over the whole step
};

// The smaller root of a s^2 + b s + c = 0 in [0, limit) for a start outside (c >= 0).
bool FirstRoot(double a, double b, double c, double limit, double& s) {
    if (!(a > 0.0) || c < 0.0) return false;
    const double discriminant = b * b - 4.0 * a * c;
    if (discriminant < 0.0) return false;
    const double root = (-b - std::sqrt(discriminant)) / (2.0 * a);
    if (!(root >= 0.0 && root < limit)) return false;
    s = root;
    return true;
}

inline double Dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline void Cross3(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// A sphere of radius r at c moving by d against triangle t, which it lies in front of:
// its face, then its edges and vertices (the triangle grown by r is a prism with rounded
// edges). Only touches the sphere moves into count.
void SweepSphere(const WorldTriangle& t, const double* c, const double* d, double r, Touch& touch) {
    const double n[3] = {t.n.x, t.n.y, t.n.z};
    const double v[3][3] = {{t.v0.x, t.v0.y, t.v0.z}, {t.v1.x, t.v1.y, t.v1.z}, {t.v2.x, t.v2.y, t.v2.z}};
    const auto take = [&](double s, const double* q, const double* from) {
        double away[3] = {q[0] - from[0], q[1] - from[1], q[2] - from[2]};
        const double length = std::sqrt(Dot3(away, away));
        if (!(length > 0.0)) return;
        for (double& x : away) x /= length;
        if (Dot3(away, d) >= 0.0) return;  // moving away from it
        touch.s = s;
        for (int k = 0; k < 3; ++k)
            touch.normal[k] = away[k], touch.point[k] = c[k] - away[k] * r, touch.motion[k] = d[k];
    };
    const double h = Dot3(n, c) - Dot3(n, v[0]);
    const double nd = Dot3(n, d);
    if (h >= r && nd < 0.0) {
        const double s = (h - r) / -nd;
        if (s < touch.s) {
            const double q[3] = {c[0] + d[0] * s, c[1] + d[1] * s, c[2] + d[2] * s};
            const double foot[3] = {q[0] - n[0] * r, q[1] - n[1] * r, q[2] - n[2] * r};
            if (OverTriangle(t, foot)) {
                take(s, q, foot);
                return;  // nothing of the triangle is met before its face
            }
        }
    }
    for (int k = 0; k < 3; ++k) {
        const double* a = v[k];
        const double* b = v[(k + 1) % 3];
        const double e[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double m[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        double me[3], de[3];
        Cross3(m, e, me);
        Cross3(d, e, de);
        const double ee = Dot3(e, e);
        double s;
        if (FirstRoot(Dot3(de, de), 2.0 * Dot3(me, de), Dot3(me, me) - r * r * ee, touch.s, s)) {
            const double q[3] = {c[0] + d[0] * s, c[1] + d[1] * s, c[2] + d[2] * s};
            const double along = ((q[0] - a[0]) * e[0] + (q[1] - a[1]) * e[1] + (q[2] - a[2]) * e[2]) / ee;
            if (along >= 0.0 && along <= 1.0) {
                const double on[3] = {a[0] + e[0] * along, a[1] + e[1] * along, a[2] + e[2] * along};
                take(s, q, on);
            }
        }
        if (FirstRoot(Dot3(d, d), 2.0 * Dot3(m, d), Dot3(m, m) - r * r, touch.s, s)) {
            const double q[3] = {c[0] + d[0] * s, c[1] + d[1] * s, c[2] + d[2] * s};
            take(s, q, a);
        }
    }
}

// A box (corners now, each moving by its own motion; centre p, rotation r, half sides)
// against triangle t: each corner's path through the triangle (touches[c], the earliest over
// every triangle), and each triangle vertex's path (against the box's centre motion d) into
// the box (touches[8]). Pushes along the triangle's normal. Edge-across-edge first touches
// are left to the step after, when a corner or a vertex has crossed.
void SweepBox(const WorldTriangle& t, const double corners[8][3], const double motion[8][3], const double* p,
              const double* r, const double* half, const double* d, Touch (&touches)[9]) {
    const double n[3] = {t.n.x, t.n.y, t.n.z};
    const double plane = double(t.n.x) * t.v0.x + double(t.n.y) * t.v0.y + double(t.n.z) * t.v0.z;
    const auto take = [&](Touch& touch, double s, const double* point, const double* moving) {
        touch.s = s;
        for (int k = 0; k < 3; ++k) touch.normal[k] = n[k], touch.point[k] = point[k], touch.motion[k] = moving[k];
    };
    for (int c = 0; c < 8; ++c) {
        const double h = Dot3(n, corners[c]) - plane;
        const double nd = Dot3(n, motion[c]);
        if (h < 0.0 || !(nd < 0.0)) continue;
        const double s = h / -nd;
        if (!(s < touches[c].s)) continue;
        const double q[3] = {corners[c][0] + motion[c][0] * s, corners[c][1] + motion[c][1] * s,
                             corners[c][2] + motion[c][2] * s};
        if (OverTriangle(t, q)) take(touches[c], s, corners[c], motion[c]);
    }
    if (!(Dot3(n, d) < 0.0)) return;
    const D3DXVECTOR3* v[3] = {&t.v0, &t.v1, &t.v2};
    for (int k = 0; k < 3; ++k) {
        // The vertex seen from the box, moving by -d: where it enters the box's three slabs.
        const double q[3] = {v[k]->x - p[0], v[k]->y - p[1], v[k]->z - p[2]};
        double enter = -std::numeric_limits<double>::infinity(), leave = std::numeric_limits<double>::infinity();
        for (int j = 0; j < 3 && enter <= leave; ++j) {
            const double from = q[0] * Column(r, 0, j) + q[1] * Column(r, 1, j) + q[2] * Column(r, 2, j);
            const double along = -(d[0] * Column(r, 0, j) + d[1] * Column(r, 1, j) + d[2] * Column(r, 2, j));
            if (along == 0.0) {
                if (std::fabs(from) > half[j]) enter = 1.0, leave = 0.0;
                continue;
            }
            double s0 = (-half[j] - from) / along, s1 = (half[j] - from) / along;
            if (s0 > s1) std::swap(s0, s1);
            enter = std::fmax(enter, s0);
            leave = std::fmin(leave, s1);
        }
        if (!(enter <= leave) || !(enter > 0.0) || !(enter < touches[8].s)) continue;
        const double point[3] = {v[k]->x - d[0] * enter, v[k]->y - d[1] * enter, v[k]->z - d[2] * enter};
        take(touches[8], enter, point, d);
    }
}

// Writes the contact ahead of a swept body: at its point that will touch, against the push,
// its depth the gap still open along the normal, as a negative number (the world lets the
// body close it within the step, and no more).
void WriteAhead(const Touch& touch, dContactGeom* out, dGeomID g1, dGeomID g2) {
    for (int k = 0; k < 3; ++k) out->pos[k] = touch.point[k], out->normal[k] = -touch.normal[k];
    out->pos[3] = out->normal[3] = 0.0;
    out->depth = std::fmin(0.0, Dot3(touch.normal, touch.motion) * touch.s);
    out->g1 = g1;
    out->g2 = g2;
    out->side1 = out->side2 = -1;
}

// How far the point `at` of the body that owns `shape` moves in the step under way (its
// velocity there after this step's gravity, over the step's length). False for a shape of
// no moving body (a static shape, or one not made by a body).
bool StepMotion(dGeomID shape, Kco_ODE_World* world, const double* at, double motion[3]) {
    auto* item = static_cast<ODE_GeometryItem*>(dGeomGetData(shape));
    if (!item || !item->owner || !world) return false;
    dBodyID body = item->owner->GetBodyID();
    if (!body || !dBodyIsEnabled(body)) return false;
    dVector3 v, g;
    dBodyGetPointVel(body, at[0], at[1], at[2], v);
    dWorldGetGravity(world->GetWorldID(), g);
    const double dt = world->GetStepLength();
    const bool falls = dBodyGetGravityMode(body) != 0;
    for (int k = 0; k < 3; ++k) motion[k] = (v[k] + (falls ? g[k] * dt : 0.0)) * dt;
    return true;
}

}  // namespace

// ---- colliders ----

Kco_ODE_BodyCollision::MeshCache& Kco_ODE_BodyCollision::Cache() {
    if (!meshCache) meshCache.reset(new MeshCache);
    return *meshCache;
}

unsigned long Kco_ODE_BodyCollision::CollideSphere(dGeomID sphere, unsigned long, dContactGeom* contact,
                                                   unsigned long) {
    const float r = float(dGeomSphereGetRadius(sphere));
    const dReal* position = dGeomGetPosition(sphere);
    D3DXVECTOR3 c{float(position[0]), float(position[1]), float(position[2])};
    D3DXVECTOR3 edge(0.0f, 0.0f, 0.0f);
    FacePushes faces;
    if (r == 0.0f) return 0;
    const float extent = r * std::sqrt(2.0f);

    // An untransformed mesh is asked for the triangles within the sphere's own box: those the
    // box of r x sqrt(2) adds lie beyond r of the centre on some axis and are skipped below
    // (OutOfReach, the same comparison of the same sums), so the triangles tested, and their
    // order, are the same. A transformed mesh is asked with the wider box, turned into its
    // space.
    // The side plane of an edge holds the edge and the triangle's normal, so the centre lies
    // h (above the face) and s (behind the side plane) from the edge's line at right angles:
    // where h² + s² exceeds r² the edge cannot push. `reach` pads r by far more than the
    // rounding of either distance, so an edge skipped would have pushed nothing.
    const float slack = 1e-3f * r + 4e-6f * (std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z));
    const float reach = (r + slack) * (r + slack);
    ForEachListedTriangle(
        [&](const D3DXMATRIX& w, bool identity) {
            if (identity) {  // what CalculateSphereBounds gives an identity, without asking again
                const D3DXVECTOR3 own(r, r, r);
                boundsMin = c - own;
                boundsMax = c + own;
            } else {
                Kco_ODE_BodyCollision::CalculateSphereBounds(w, c, extent);
            }
        },
        [&](const WorldTriangle& t) {
            if (OutOfReach(t, c, r)) return true;
            const float h = Dot(t.n, c) - t.nv0;
            if (!(h >= kFrontTolerance)) return true;
            const float depth = r - h;
            if (!(depth >= 0.0f)) return true;
            const D3DXVECTOR3 target = c - t.n * r;
            if (RayMeetsTriangle(target, c, t.v1 - t.v0, t.v2 - t.v0, t.v0)) faces.Add(t.n, depth);
            const D3DXVECTOR3* corners[3] = {&t.v0, &t.v1, &t.v2};
            for (int e = 0; e < 3; ++e) {
                // Behind the side plane of edge e: the edge may push, if near enough.
                const float behind = Dot(t.side[e], c) - t.sideOffset[e];
                if (behind < 0.0f && h * h + behind * behind <= reach)
                    EdgePush(*corners[e], *corners[(e + 1) % 3], c, edge, r);
            }
            return true;
        });

    D3DXVECTOR3 face = faces.Settled();
    if (Length(edge) > Length(face)) face = edge;
    if (face.x == 0.0f && face.y == 0.0f && face.z == 0.0f) return SweepSphereAhead(sphere, contact);
    const float length = Length(face);
    const D3DXVECTOR3 n = face / length;
    const D3DXVECTOR3 at = c - n * r;
    contact->pos[0] = at.x, contact->pos[1] = at.y, contact->pos[2] = at.z, contact->pos[3] = 0.0;
    contact->normal[0] = -n.x, contact->normal[1] = -n.y, contact->normal[2] = -n.z, contact->normal[3] = 0.0;
    contact->depth = length;
    // Not read by the world, but ODE swaps them for a reversed pair: never left undefined.
    contact->g1 = nullptr;
    contact->g2 = sphere;
    contact->side1 = contact->side2 = -1;
    return 1;
}

unsigned long Kco_ODE_BodyCollision::CollideBox(dGeomID box, unsigned long flags, dContactGeom* contact,
                                                unsigned long skip, dGeomID collisionGeom) {
    dVector3 lengths;
    dGeomBoxGetLengths(box, lengths);
    const double sides[3] = {lengths[0], lengths[1], lengths[2]};
    const dReal* p = dGeomGetPosition(box);
    const dReal* R = dGeomGetRotation(box);
    const double p1[3] = {p[0], p[1], p[2]};
    double R1[12];
    for (int i = 0; i < 12; ++i) R1[i] = R[i];
    const D3DXMATRIX boxMatrix{float(R[0]), float(R[4]), float(R[8]),  0.0f,
                               float(R[1]), float(R[5]), float(R[9]),  0.0f,
                               float(R[2]), float(R[6]), float(R[10]), 0.0f,
                               float(p[0]), float(p[1]), float(p[2]),  1.0f};
    const D3DXVECTOR3 c{float(p[0]), float(p[1]), float(p[2])};
    unsigned long count = 0;
    const unsigned long max = flags & 0xFFFF;
    double corners[8][3];
    BoxCorners(p1, R1, sides, corners);
    const double half[3] = {0.5 * sides[0], 0.5 * sides[1], 0.5 * sides[2]};

    // Points closer than this to one already pushed add nothing the solver can use.
    const double near = kSamePoint * std::fmin(sides[0], std::fmin(sides[1], sides[2]));
    // One contact at `point`, pushing the box along the unit `push`; false when the caller's
    // room is used up.
    const auto emit = [&](const double* point, const double* push, double depth) {
        // A point already pushed (a corner over an edge two triangles share, a vertex the
        // triangles of a grid share) is pushed once: a second push along another triangle's
        // normal adds nothing but a sideways kick, and spends the caller's room.
        for (unsigned long j = 0; j < count; ++j) {
            const auto* earlier =
                reinterpret_cast<const dContactGeom*>(reinterpret_cast<const char*>(contact) + j * skip);
            const double dx = earlier->pos[0] - point[0], dy = earlier->pos[1] - point[1],
                         dz = earlier->pos[2] - point[2];
            if (dx * dx + dy * dy + dz * dz <= near * near) return true;
        }
        // Strictly below the maximum: the caller's last slot is never filled.
        if (count + 1 >= max) return false;
        auto* out = reinterpret_cast<dContactGeom*>(reinterpret_cast<char*>(contact) + count * skip);
        for (int axis = 0; axis < 3; ++axis) out->pos[axis] = point[axis], out->normal[axis] = -push[axis];
        out->pos[3] = out->normal[3] = 0.0;
        out->depth = depth;
        out->g1 = box;
        out->g2 = collisionGeom;
        out->side1 = out->side2 = -1;
        ++count;
        return true;
    };
    struct Pending {
        double point[3], push[3];
        double depth;
    };
    constexpr int kPending = 64;  // meeting points kept for after the corner pushes
    Pending waiting[kPending];
    int pending = 0;

    const bool roomLeft = ForEachListedTriangle(
        [&](const D3DXMATRIX& w, bool) { Kco_ODE_BodyCollision::CalculateBoxBounds(w, boxMatrix, sides); },
        [&](const WorldTriangle& derived) {
            WorldTriangle t = derived;  // the helpers below take non-const vertices
            const float h = Dot(t.n, c) - Dot(t.n, t.v0);
            if (!(h >= kFrontTolerance)) return true;

            D3DXVECTOR3 out;
            D3DXVECTOR3 centre = c;
            const float d0 = Kco_ODE_BodyCollision::GetPointEdgeDistance(t.v0, t.v1, centre, out);
            const float d1 = Kco_ODE_BodyCollision::GetPointEdgeDistance(t.v1, t.v2, centre, out);
            const float d2 = Kco_ODE_BodyCollision::GetPointEdgeDistance(t.v2, t.v0, centre, out);
            // The edge nearest the centre is the base; ties go to the later edge.
            D3DXVECTOR3 a = t.v2, b = t.v0, third = t.v1;
            if (d0 < d1 && d0 < d2)
                a = t.v0, b = t.v1, third = t.v2;
            else if (d0 >= d1 && d1 < d2)
                a = t.v1, b = t.v2, third = t.v0;

            double p2[3], R2[12], side2[3];
            Kco_ODE_BodyCollision::CreateBoxFromPoly(a, b, third, p2, R2, side2, t.n);
            dContactGeom local[3];
            double normal[3], depth = 0.0;
            int code = 0;
            const int m = Kco_ODE_BodyCollision::dBoxBox(p1, R1, sides, p2, R2, side2, normal, &depth, &code, 3, local,
                                  int(sizeof(dContactGeom)));
            if (m <= 0) return true;
            // The thin box's sides are no surface: where the box overlaps a triangle only
            // by a sliver, the test's shallowest axis runs along the ground and its contact
            // pushes sideways; and its point is the same corner of the thin box for every
            // triangle of a grid. So where the test says box and triangle meet, each box
            // corner below the triangle's plane and over the triangle is pushed out along
            // the triangle's normal, as deep as it lies: a box landing on an edge or a corner
            // is held at every corner that reaches the ground, whatever triangle it is over.
            const double plane = double(t.n.x) * t.v0.x + double(t.n.y) * t.v0.y + double(t.n.z) * t.v0.z;
            int pushed[8], pushes = 0;
            for (int j = 0; j < 8; ++j) {
                if (!OverTriangle(t, corners[j])) continue;
                if (Below(corners[j], t.n, plane) >= 0.0) pushed[pushes++] = j;
            }
            // Where else the box meets the triangle below its plane (an edge or a face across
            // a ridge, a bump under a face). These come after every corner push: under a box
            // lying flat on a grid they only repeat the support its corners give, and must
            // not take the corners' room. With more than are kept, the deepest are kept.
            Meetings(t, corners, p1, R1, half, plane, [&](const double* point, const double* push, double depth) {
                int slot = pending;
                if (pending == kPending) {
                    slot = 0;
                    for (int q = 1; q < kPending; ++q)
                        if (waiting[q].depth < waiting[slot].depth) slot = q;
                    if (!(depth > waiting[slot].depth)) return;
                } else {
                    ++pending;
                }
                Pending& meeting = waiting[slot];
                for (int axis = 0; axis < 3; ++axis) meeting.point[axis] = point[axis], meeting.push[axis] = push[axis];
                meeting.depth = depth;
            });
            const double along[3] = {t.n.x, t.n.y, t.n.z};
            for (int q = 0; q < pushes; ++q)
                if (!emit(corners[pushed[q]], along, Below(corners[pushed[q]], t.n, plane))) return false;
            return true;
        });
    if (!roomLeft) return count;
    // The meeting points the room allows: the deepest, then each time the one farthest from
    // every point already pushed, so that the pushes span the box's support and the same
    // few are chosen frame after frame.
    bool used[kPending] = {};
    for (int chosen = 0; chosen < pending; ++chosen) {
        int best = -1;
        double bestScore = -1.0;
        for (int q = 0; q < pending; ++q) {
            if (used[q]) continue;
            double score = count == 0 ? waiting[q].depth : std::numeric_limits<double>::infinity();
            for (unsigned long j = 0; j < count; ++j) {
                const auto* earlier =
                    reinterpret_cast<const dContactGeom*>(reinterpret_cast<const char*>(contact) + j * skip);
                const double dx = earlier->pos[0] - waiting[q].point[0], dy = earlier->pos[1] - waiting[q].point[1],
                             dz = earlier->pos[2] - waiting[q].point[2];
                score = std::fmin(score, dx * dx + dy * dy + dz * dz);
            }
            if (score > bestScore) bestScore = score, best = q;
        }
        used[best] = true;
        if (!emit(waiting[best].point, waiting[best].push, waiting[best].depth)) return count;
    }
    // A fast box is also held ahead at every corner not pushed yet: held at one corner only,
    // it turns about it and through the mesh.
    if (count + 1 < max) count = SweepBoxAhead(box, corners, p1, R1, half, contact, skip, max, count, collisionGeom);
    return count;
}

// ---- contacts ahead of fast bodies ----

unsigned long Kco_ODE_BodyCollision::SweepSphereAhead(dGeomID sphere, dContactGeom* contact) {
    const double r = dGeomSphereGetRadius(sphere);
    const dReal* position = dGeomGetPosition(sphere);
    const double c[3] = {position[0], position[1], position[2]};
    double d[3];
    if (!StepMotion(sphere, world, c, d) || !(std::sqrt(Dot3(d, d)) > kSweepShare * r)) return 0;
    const D3DXVECTOR3 middle{float(c[0] + 0.5 * d[0]), float(c[1] + 0.5 * d[1]), float(c[2] + 0.5 * d[2])};
    const float reach = float(r + 0.5 * std::fmax(std::fabs(d[0]), std::fmax(std::fabs(d[1]), std::fabs(d[2]))));
    const D3DXVECTOR3 centre{float(c[0]), float(c[1]), float(c[2])};
    Touch touch;
    ForEachListedTriangle([&](const D3DXMATRIX& w, bool) { Kco_ODE_BodyCollision::CalculateSphereBounds(w, middle, reach); },
                          [&](const WorldTriangle& t) {
                              if (Dot(t.n, centre) - t.nv0 >= kFrontTolerance) SweepSphere(t, c, d, r, touch);
                              return true;
                          });
    if (!(touch.s <= 1.0)) return 0;
    WriteAhead(touch, contact, nullptr, sphere);
    return 1;
}

unsigned long Kco_ODE_BodyCollision::SweepBoxAhead(dGeomID box, const double corners[8][3], const double* p,
                                                   const double* r, const double* half, dContactGeom* contact,
                                                   unsigned long skip, unsigned long max, unsigned long count,
                                                   dGeomID collisionGeom) {
    double motion[8][3], d[3], farthest = 0.0;
    if (!StepMotion(box, world, p, d)) return count;
    D3DXVECTOR3 lo{float(corners[0][0]), float(corners[0][1]), float(corners[0][2])};
    D3DXVECTOR3 hi = lo;
    for (int c = 0; c < 8; ++c) {
        StepMotion(box, world, corners[c], motion[c]);
        farthest = std::fmax(farthest, Dot3(motion[c], motion[c]));
        const D3DXVECTOR3 now{float(corners[c][0]), float(corners[c][1]), float(corners[c][2])};
        const D3DXVECTOR3 then{float(corners[c][0] + motion[c][0]), float(corners[c][1] + motion[c][1]),
                               float(corners[c][2] + motion[c][2])};
        D3DXVec3Minimize(&lo, &lo, &now), D3DXVec3Minimize(&lo, &lo, &then);
        D3DXVec3Maximize(&hi, &hi, &now), D3DXVec3Maximize(&hi, &hi, &then);
    }
    const double smallest = 2.0 * std::fmin(half[0], std::fmin(half[1], half[2]));
    if (!(std::sqrt(farthest) > kSweepShare * smallest)) return count;
    const D3DXVECTOR3 middle = (lo + hi) * 0.5f;
    const D3DXVECTOR3 extent = (hi - lo) * 0.5f;
    const D3DXVECTOR3 centre{float(p[0]), float(p[1]), float(p[2])};
    Touch touches[9];
    const float around = std::fmax(extent.x, std::fmax(extent.y, extent.z));
    ForEachListedTriangle([&](const D3DXMATRIX& w, bool) { Kco_ODE_BodyCollision::CalculateSphereBounds(w, middle, around); },
                          [&](const WorldTriangle& t) {
                              if (Dot(t.n, centre) - t.nv0 >= kFrontTolerance)
                                  SweepBox(t, corners, motion, p, r, half, d, touches);
                              return true;
                          });
    // Every corner that would pass through the mesh within the step is held at its touch
    // (one held corner lets the box turn about it and through), earliest first.
    std::sort(touches, touches + 9, [](const Touch& a, const Touch& b) { return a.s < b.s; });
    for (const Touch& touch : touches) {
        if (!(touch.s <= 1.0) || count + 1 >= max) break;
        bool pushed = false;  // a corner in contact already
        for (unsigned long j = 0; j < count && !pushed; ++j) {
            const auto* earlier =
                reinterpret_cast<const dContactGeom*>(reinterpret_cast<const char*>(contact) + j * skip);
            pushed = earlier->pos[0] == touch.point[0] && earlier->pos[1] == touch.point[1] &&
                     earlier->pos[2] == touch.point[2];
        }
        if (pushed) continue;
        WriteAhead(touch, reinterpret_cast<dContactGeom*>(reinterpret_cast<char*>(contact) + count * skip), box,
                   collisionGeom);
        ++count;
    }
    return count;
}

// ---- triangle and edge tests ----

bool Kco_ODE_BodyCollision::SphereTriangleCollision(D3DXVECTOR3& target, D3DXVECTOR3& origin, D3DXVECTOR3& e1,
                                                    D3DXVECTOR3& e2, D3DXVECTOR3& v0) {
    return RayMeetsTriangle(target, origin, e1, e2, v0);
}

bool Kco_ODE_BodyCollision::SphereEdgeCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& centre,
                                                D3DXVECTOR3& push, float radius) {
    return EdgePush(a, b, centre, push, radius);
}

bool Kco_ODE_BodyCollision::GetIfPlaneContainsPoint(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3 c,
                                                    D3DXVECTOR3& p) {
    return BehindPlane(a, b, c, p);
}

float Kco_ODE_BodyCollision::GetPointEdgeDistance(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& p,
                                                  D3DXVECTOR3& out) {
    const D3DXVECTOR3 away = p - ClosestOnSegment(a, b, p);
    const float distance = Length(away);
    out = Normalised(away) * distance;
    return distance;
}

// ---- query boxes ----

void Kco_ODE_BodyCollision::CalculateSphereBounds(D3DXMATRIX w, D3DXVECTOR3 centre, float extent) {
    const D3DXVECTOR3 reach(extent, extent, extent);
    boundsMin = centre - reach;
    boundsMax = centre + reach;
    if (IsIdentity(w)) return;  // all sixteen values: the bounds are local already
    D3DXMATRIX inverse;
    D3DXMatrixInverse(&inverse, nullptr, &w);
    const D3DXVECTOR3 lo = boundsMin, hi = boundsMax;
    const float big = std::numeric_limits<float>::max();
    boundsMin = D3DXVECTOR3(big, big, big);
    boundsMax = D3DXVECTOR3(-big, -big, -big);
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 v((corner & 1) ? hi.x : lo.x, (corner & 2) ? hi.y : lo.y, (corner & 4) ? hi.z : lo.z);
        const D3DXVECTOR3 local = Transformed(v, inverse);
        D3DXVec3Minimize(&boundsMin, &boundsMin, &local);
        D3DXVec3Maximize(&boundsMax, &boundsMax, &local);
    }
}

void Kco_ODE_BodyCollision::CalculateBoxBounds(D3DXMATRIX w, D3DXMATRIX box, const double* sides) {
    D3DXMATRIX inverse;
    D3DXMatrixInverse(&inverse, nullptr, &w);
    const D3DXMATRIX m = box * inverse;
    const D3DXVECTOR3 half(float(sides[0] * 0.5), float(sides[1] * 0.5), float(sides[2] * 0.5));
    const float big = std::numeric_limits<float>::max();
    boundsMin = D3DXVECTOR3(big, big, big);
    boundsMax = D3DXVECTOR3(-big, -big, -big);
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 v((corner & 1) ? half.x : -half.x, (corner & 2) ? half.y : -half.y,
                            (corner & 4) ? half.z : -half.z);
        const D3DXVECTOR3 local = Transformed(v, m);
        D3DXVec3Minimize(&boundsMin, &boundsMin, &local);
        D3DXVec3Maximize(&boundsMax, &boundsMax, &local);
    }
}

// ---- the thin box of a triangle ----

void Kco_ODE_BodyCollision::CreateBoxFromPoly(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& c, double position[3],
                                              double rotation[12], double sides[3], D3DXVECTOR3& n) {
    const D3DXVECTOR3 e1 = b - a, e2 = c - a;
    const D3DXVECTOR3 u = Normalised(e1);
    const float t = Dot(e2, u);
    const float base = Length(e1);
    sides[0] = base;
    sides[1] = double(0.01f);
    // Height from the foot of c on the base edge, or from the nearer base vertex when the
    // foot falls outside the edge (an obtuse triangle).
    D3DXVECTOR3 v;
    if (t < 0.0f)
        v = c - a;
    else if (t > base)
        v = c - b;
    else
        v = c - (a + u * t);
    sides[2] = Length(v);
    const D3DXVECTOR3 centre = a + e1 * 0.5f + v * 0.5f;
    position[0] = centre.x, position[1] = centre.y, position[2] = centre.z;
    const D3DXVECTOR3 across = Normalised(Cross(n, u));
    const D3DXMATRIX axes(u.x, u.y, u.z, 0.0f, n.x, n.y, n.z, 0.0f, across.x, across.y, across.z, 0.0f, 0.0f, 0.0f,
                          0.0f, 1.0f);
    GetODERotationMatrix(axes, rotation);
}

// ---- box against box ----

// The separating-axis test of two oriented boxes with one contact: box 1's three face
// normals (codes 1-3), box 2's (4-6), then the nine edge cross products (7-15). Touching
// boxes (a separation of exactly 0) collide; no tolerance widens or narrows any axis.
int Kco_ODE_BodyCollision::dBoxBox(const double* p1, const double* R1, const double* side1, const double* p2,
                                   const double* R2, const double* side2, double* normal, double* depth, int* code,
                                   int, dContactGeom* contact, int) {
    const double A[3] = {side1[0] * 0.5, side1[1] * 0.5, side1[2] * 0.5};
    const double B[3] = {side2[0] * 0.5, side2[1] * 0.5, side2[2] * 0.5};
    const double d[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
    // pp: p2 - p1 in box 1's frame; Rr[i][j]: box 2's axis j in box 1's frame.
    double pp[3], Rr[3][3], Q[3][3];
    for (int i = 0; i < 3; ++i) {
        pp[i] = Column(R1, 0, i) * d[0] + Column(R1, 1, i) * d[1] + Column(R1, 2, i) * d[2];
        for (int j = 0; j < 3; ++j) {
            Rr[i][j] = Column(R1, 0, i) * Column(R2, 0, j) + Column(R1, 1, i) * Column(R2, 1, j) +
                       Column(R1, 2, i) * Column(R2, 2, j);
            Q[i][j] = std::fabs(Rr[i][j]);
        }
    }

    double best = -std::numeric_limits<double>::infinity();
    double axisInBox1[3] = {0.0, 0.0, 0.0};  // for edge axes, in box 1's frame
    const double* faceAxis = nullptr;        // for face axes: the rotation holding it
    int faceColumn = 0;
    bool invert = false;
    int bestCode = 0;

    for (int i = 0; i < 3; ++i) {  // box 1's faces
        const double s2 = std::fabs(pp[i]) - (A[i] + B[0] * Q[i][0] + B[1] * Q[i][1] + B[2] * Q[i][2]);
        if (s2 > 0.0) return 0;
        if (s2 > best) best = s2, faceAxis = R1, faceColumn = i, invert = pp[i] < 0.0, bestCode = 1 + i;
    }
    for (int j = 0; j < 3; ++j) {  // box 2's faces
        const double projection = Column(R2, 0, j) * d[0] + Column(R2, 1, j) * d[1] + Column(R2, 2, j) * d[2];
        const double s2 = std::fabs(projection) - (A[0] * Q[0][j] + A[1] * Q[1][j] + A[2] * Q[2][j] + B[j]);
        if (s2 > 0.0) return 0;
        if (s2 > best) best = s2, faceAxis = R2, faceColumn = j, invert = projection < 0.0, bestCode = 4 + j;
    }
    for (int i = 0; i < 3; ++i) {  // edge i of box 1 across edge j of box 2
        for (int j = 0; j < 3; ++j) {
            // e_i x (box 2's axis j), in box 1's frame.
            const double b[3] = {Rr[0][j], Rr[1][j], Rr[2][j]};
            const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
            double axis[3] = {0.0, 0.0, 0.0};
            axis[i1] = -b[i2];
            axis[i2] = b[i1];
            const double projection = pp[0] * axis[0] + pp[1] * axis[1] + pp[2] * axis[2];
            // Box 1 reaches A[k] |axis_k|; box 2 reaches B[m] |axis . b_m| = B[m] |R[i][l]|
            // over the two axes m other than j, l being the third.
            const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            const double extents = A[i1] * Q[i2][j] + A[i2] * Q[i1][j] + B[j1] * Q[i][j2] + B[j2] * Q[i][j1];
            double s2 = std::fabs(projection) - extents;
            if (s2 > 0.0) return 0;
            const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
            if (length == 0.0) continue;
            s2 /= length;
            if (s2 > best) {
                best = s2;
                faceAxis = nullptr;
                for (int k = 0; k < 3; ++k) axisInBox1[k] = axis[k] / length;
                invert = projection < 0.0;
                bestCode = 7 + 3 * i + j;
            }
        }
    }
    if (bestCode == 0) return 0;

    if (faceAxis) {
        for (int k = 0; k < 3; ++k) normal[k] = Column(faceAxis, k, faceColumn);
    } else {
        for (int k = 0; k < 3; ++k)
            normal[k] = Column(R1, k, 0) * axisInBox1[0] + Column(R1, k, 1) * axisInBox1[1] +
                        Column(R1, k, 2) * axisInBox1[2];
    }
    if (invert)
        for (int k = 0; k < 3; ++k) normal[k] = -normal[k];
    *depth = -best;
    *code = bestCode;

    double at[3];
    if (bestCode <= 3) {
        BoxVertex(p2, R2, B, normal, -1.0, at);
    } else if (bestCode <= 6) {
        BoxVertex(p1, R1, A, normal, 1.0, at);
    } else {
        double pa[3], pb[3], ua[3], ub[3], alpha = 0.0, beta = 0.0;
        BoxVertex(p1, R1, A, normal, 1.0, pa);
        BoxVertex(p2, R2, B, normal, -1.0, pb);
        const int i = (bestCode - 7) / 3, j = (bestCode - 7) % 3;
        for (int k = 0; k < 3; ++k) ua[k] = Column(R1, k, i), ub[k] = Column(R2, k, j);
        Kco_ODE_BodyCollision::lineClosestApproach(pa, ua, pb, ub, &alpha, &beta);
        for (int k = 0; k < 3; ++k) at[k] = ((pa[k] + ua[k] * alpha) + (pb[k] + ub[k] * beta)) * 0.5;
    }
    for (int k = 0; k < 3; ++k) contact->pos[k] = at[k], contact->normal[k] = normal[k];
    contact->pos[3] = contact->normal[3] = 0.0;
    contact->depth = -best;
    return 1;
}

void Kco_ODE_BodyCollision::lineClosestApproach(const double* pa, const double* ua, const double* pb,
                                                const double* ub, double* alpha, double* beta) {
    const double p[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    const double uaub = ua[0] * ub[0] + ua[1] * ub[1] + ua[2] * ub[2];
    const double q1 = ua[0] * p[0] + ua[1] * p[1] + ua[2] * p[2];
    const double q2 = -(ub[0] * p[0] + ub[1] * p[1] + ub[2] * p[2]);
    const double d = 1.0 - uaub * uaub;
    if (d > 0.0) {
        *alpha = (q1 + uaub * q2) / d;
        *beta = (uaub * q1 + q2) / d;
    } else {
        *alpha = 0.0;
        *beta = 0.0;
    }
}
