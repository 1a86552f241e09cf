// The text outline mesh builder.
//
// Index: outline records to contours (ParseNativeOutline), contour orientation, side walls,
// faces through the GLU tessellator, and the text loop that places glyphs and fills the mesh.
//
// Glyph outlines are outside input: every record is bounds-checked before it is read, the
// curve flattening has a depth limit, and sizes are capped, so an odd outline fails its
// glyph instead of reading astray or running away.
#include "text3d/outline_mesh.h"

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <numbers>
#include <unordered_map>

namespace text3d {
namespace {

// A native outline larger than this is refused as damaged rather than allocated.
constexpr DWORD kMaxGlyphBytes = 16u << 20;
// Halving a quadratic segment quarters its midpoint distance: with 16.16 coordinates (at
// most 2^15 design units from the origin) and a deviation of at least one design unit,
// eight levels always suffice. The limit only stops damaged input.
constexpr int kMaxFlattenDepth = 16;
constexpr double kFinestDeviation = 1.0 / 16;  // design units
constexpr double kZeroTurningAngle = 0.00001;
constexpr DWORD kMaxVertices = 0xFFFF;  // fewer than 65536, for 16-bit indices

void Debug(const char* line) { OutputDebugStringA(line); }

// The callback pointer type gluTessCallback takes; GLU headers name it differently.
template <typename Function>
struct ThirdParameter;
template <typename R, typename A, typename B, typename C>
struct ThirdParameter<R (*)(A, B, C)> {
    using type = C;
};
using TessCallback = ThirdParameter<decltype(&gluTessCallback)>::type;

// ---------------------------------------------------------------------------------------
// Outline records to contours

double FixedValue(const uint8_t* p) {
    FIXED f;
    std::memcpy(&f, p, sizeof f);
    return double(f.value) + double(f.fract) / 65536.0;
}

class ContourReader {
public:
    // Reads every contour, placed at (originX, originY); on return `out` holds exactly the
    // contours read. One reader serves a whole text, keeping its scratch storage.
    bool Read(std::span<const uint8_t> data, double scale, double deviation, std::vector<OutlineContour>& out,
              double originX = 0, double originY = 0) {
        scale_ = scale;
        originX_ = originX;
        originY_ = originY;
        // As for the whole text: no deviation means one design unit. A finer one than a
        // sixteenth of a unit only multiplies points (outline points are whole units): a
        // deviation near 0 would split every curve to the depth limit.
        if (!(deviation > 0)) deviation = scale;
        deviation = std::max(deviation, scale * kFinestDeviation);
        deviationSquared_ = deviation * deviation;
        out_ = &out;
        used_ = 0;
        bool ok = ReadAll(data);
        out.erase(out.begin() + std::ptrdiff_t(used_), out.end());
        return ok;
    }

private:
    bool ReadAll(std::span<const uint8_t> data) {
        size_t at = 0;
        while (at < data.size()) {
            TTPOLYGONHEADER header;
            if (data.size() - at < sizeof header) return false;
            std::memcpy(&header, data.data() + at, sizeof header);
            if (header.dwType != TT_POLYGON_TYPE) return false;
            if (header.cb < sizeof header || header.cb > data.size() - at) return false;
            if (!ReadContour(data.subspan(at, header.cb))) return false;
            at += header.cb;
        }
        return true;
    }

    struct Edge {
        bool curved;
        uint32_t run;
    };

    bool ReadContour(std::span<const uint8_t> contour) {
        xs_.clear();
        ys_.clear();
        into_.clear();
        const uint8_t* start = contour.data() + offsetof(TTPOLYGONHEADER, pfxStart);
        double sx = FixedValue(start) * scale_, sy = FixedValue(start + 4) * scale_;
        Append(sx, sy, Edge{false, 0});
        size_t at = sizeof(TTPOLYGONHEADER);
        while (at < contour.size()) {
            if (contour.size() - at < 4) return false;
            WORD type, count;
            std::memcpy(&type, contour.data() + at, 2);
            std::memcpy(&count, contour.data() + at + 2, 2);
            at += 4;
            if ((contour.size() - at) / 8 < count) return false;
            const uint8_t* p = contour.data() + at;
            at += size_t(count) * 8;
            auto px = [&](int i) { return FixedValue(p + 8 * i) * scale_; };
            auto py = [&](int i) { return FixedValue(p + 8 * i + 4) * scale_; };
            if (type == TT_PRIM_LINE) {
                for (int i = 0; i < count; ++i) Append(px(i), py(i), Edge{false, nextRun_++});
            } else if (type == TT_PRIM_QSPLINE) {
                if (count == 0) continue;
                Edge edge{true, nextRun_++};
                double ax = xs_.back(), ay = ys_.back();
                for (int i = 0; i + 1 < count; ++i) {
                    double qx = px(i), qy = py(i);
                    double bx = px(i + 1), by = py(i + 1);
                    if (i + 2 < count) bx = (qx + bx) / 2, by = (qy + by) / 2;
                    Flatten(ax, ay, qx, qy, bx, by, edge, 0);
                    ax = bx, ay = by;
                }
                Append(px(count - 1), py(count - 1), edge);
            } else {
                return false;
            }
        }
        Close(sx, sy);
        return true;
    }

    // Appends the control point of every piece that lies within the deviation of its curve.
    void Flatten(double ax, double ay, double qx, double qy, double bx, double by, Edge edge, int depth) {
        double aqx = (ax + qx) / 2, aqy = (ay + qy) / 2;
        double qbx = (qx + bx) / 2, qby = (qy + by) / 2;
        double mx = (aqx + qbx) / 2, my = (aqy + qby) / 2;
        double dx = mx - qx, dy = my - qy;
        if (dx * dx + dy * dy > deviationSquared_ && depth < kMaxFlattenDepth) {
            Flatten(ax, ay, aqx, aqy, mx, my, edge, depth + 1);
            Flatten(mx, my, qbx, qby, bx, by, edge, depth + 1);
        } else {
            Append(qx, qy, edge);
        }
    }

    void Append(double x, double y, Edge edge) {
        xs_.push_back(x);
        ys_.push_back(y);
        into_.push_back(edge);
    }

    // Closes the contour and stores it, placed, in mesh precision without repeated points.
    // Placing comes first: rounding the glyph at the origin and shifting it in float would
    // round every point a second time and could fold tiny triangles over.
    void Close(double sx, double sy) {
        auto fx = [this](double v) { return float(v + originX_); };
        auto fy = [this](double v) { return float(v + originY_); };
        size_t n = xs_.size();
        Edge closing{false, nextRun_++};
        if (n > 1 && fx(xs_[n - 1]) == fx(sx) && fy(ys_[n - 1]) == fy(sy)) {
            closing = into_[n - 1];  // the last run ends on the start
            --n;
        }
        into_[0] = closing;
        // The caller's contours are reused, storage and all: glyph after glyph allocates
        // nothing once the vectors have grown.
        if (used_ == out_->size()) out_->emplace_back();
        OutlineContour& contour = (*out_)[used_];
        contour.points.clear();
        contour.curved.clear();
        contour.run.clear();
        std::vector<Edge>& into = kept_;
        into.clear();
        for (size_t i = 0; i < n; ++i) {
            ContourPoint p{fx(xs_[i]), fy(ys_[i])};
            if (!contour.points.empty() && p.x == contour.points.back().x && p.y == contour.points.back().y)
                continue;  // a zero-length edge: the next edge starts where it did
            contour.points.push_back(p);
            into.push_back(into_[i]);
        }
        while (contour.points.size() > 1 && contour.points.back().x == contour.points.front().x &&
               contour.points.back().y == contour.points.front().y) {
            into[0] = into.back();
            contour.points.pop_back();
            into.pop_back();
        }
        size_t m = contour.points.size();
        if (m < 3) return;
        contour.curved.resize(m);
        contour.run.resize(m);
        for (size_t k = 0; k < m; ++k) {  // edge k leaves point k, so it enters point k + 1
            const Edge& e = into[(k + 1) % m];
            contour.curved[k] = e.curved;
            contour.run[k] = e.run;
        }
        ++used_;
    }

    double scale_ = 1;
    double originX_ = 0, originY_ = 0;
    double deviationSquared_ = 0;
    std::vector<OutlineContour>* out_ = nullptr;
    size_t used_ = 0;
    std::vector<double> xs_, ys_;
    std::vector<Edge> into_, kept_;
    uint32_t nextRun_ = 1;
};

// ---------------------------------------------------------------------------------------
// Glyph geometry

struct Vertex {
    float x, y, z, nx, ny, nz;
};
static_assert(sizeof(Vertex) == 24);

struct Direction {
    double x, y;
};

Direction Unit(double x, double y) {
    double length = std::sqrt(x * x + y * y);
    if (!(length > 0)) return {0, 0};
    return {x / length, y / length};
}

// The value as the mesh stores it (float), kept in a double. The round trip goes through a
// volatile store because GCC 12 at -O2 drops a plain double(float(v)) in the loop over the
// face points, and the sliver repair must judge the triangles the mesh will really hold.
double ToMeshPrecision(double v) {
    volatile float stored = float(v);
    return double(stored);
}

class GlyphBuilder {
public:
    void Reset(GLUtesselator* tess, float extrusion) {
        tess_ = tess;
        depth_ = -extrusion;
    }

    // Appends the glyph's vertices (contours already placed) and triangles (indices into the
    // glyph's own vertices). False when the tessellator reports an error.
    bool Build(const std::vector<OutlineContour>& contours, std::vector<Vertex>& vertices,
               std::vector<uint32_t>& indices) {
        vertices_ = &vertices;
        indices_ = &indices;
        base_ = vertices.size();
        if (contours.empty()) return true;

        // The turning angle no longer picks the walls' side (below), but a contour whose turns
        // cancel out is still reported.
        for (const OutlineContour& c : contours) IsCounterClockwise(c);
        if (!Tessellate(contours)) return false;
        if (BoundaryFollowsContours(contours)) {
            // Walls face out of the filled shape, which lies on the left of the face outline:
            // each contour's side comes from the faces it bounds, not from its own turning
            // (holes run against their outline) nor from another contour's (two separate
            // shapes may run either way under the non-zero rule).
            for (size_t c = 0; c < contours.size(); ++c) Walls(contours[c], wallsFaceRight_[c] != 0);
        } else {
            // Contours that overlap or touch (an accent joined onto its letter) would wall
            // in the inside of the glyph and meet the faces off their edges: the walls follow
            // the faces' outline instead, which has the filled side on its left.
            for (const OutlineContour& loop : BoundaryLoops(contours)) Walls(loop, true);
        }
        EmitFaces();
        return true;
    }

private:
    void AddVertex(float x, float y, float z, float nx, float ny, float nz) {
        vertices_->push_back(Vertex{x, y, z, nx, ny, nz});
    }
    uint32_t Local() const { return uint32_t(vertices_->size() - base_); }

    // Top and bottom vertex at one contour point; returns the top's index.
    uint32_t Pair(const ContourPoint& p, Direction n) {
        uint32_t top = Local();
        AddVertex(p.x, p.y, 0.0f, float(n.x), float(n.y), 0.0f);
        AddVertex(p.x, p.y, depth_, float(n.x), float(n.y), 0.0f);
        return top;
    }

    // `faceRight`: each edge's wall faces to the right of the edge's direction, as it does
    // for outlines that run counter-clockwise; otherwise to the left.
    void Walls(const OutlineContour& c, bool faceRight) {
        size_t n = c.points.size();
        dirs_.resize(n);
        normals_.resize(n);
        for (size_t k = 0; k < n; ++k) {
            const ContourPoint& a = c.points[k];
            const ContourPoint& b = c.points[(k + 1) % n];
            Direction d = Unit(double(b.x) - a.x, double(b.y) - a.y);
            dirs_[k] = d;
            normals_[k] = faceRight ? Direction{d.y, -d.x} : Direction{-d.y, d.x};
        }
        // Normals where a run meets the next, at point k: the end of edge k - 1 and the
        // start of edge k.
        const double cos45 = std::cos(std::numbers::pi / 4), cos90 = 0.0;
        startNormal_.assign(normals_.begin(), normals_.end());
        endNormal_.assign(normals_.begin(), normals_.end());
        smooth_.assign(n, 0);
        for (size_t k = 0; k < n; ++k) {
            size_t prev = (k + n - 1) % n;
            bool inRun = k != 0 && c.curved[prev] && c.curved[k] && c.run[prev] == c.run[k];
            Direction sum = Unit(normals_[prev].x + normals_[k].x, normals_[prev].y + normals_[k].y);
            if (inRun) {
                smooth_[k] = 1;
                // A curve folding back on itself has no mean normal; it keeps the edge's own.
                startNormal_[k] = (sum.x == 0 && sum.y == 0) ? normals_[k] : sum;
                continue;
            }
            double turnCos = dirs_[prev].x * dirs_[k].x + dirs_[prev].y * dirs_[k].y;
            if (c.curved[prev] && c.curved[k]) {
                if (turnCos > cos90) endNormal_[prev] = startNormal_[k] = sum;
            } else if (!c.curved[prev] && c.curved[k]) {
                if (turnCos > cos45) startNormal_[k] = normals_[prev];
            } else if (c.curved[prev] && !c.curved[k]) {
                if (turnCos > cos45) endNormal_[prev] = normals_[k];
            }
        }
        // Wall triangles wound so that their face points along the vertex normals.
        uint32_t shared = 0;
        for (size_t k = 0; k < n; ++k) {
            size_t next = (k + 1) % n;
            uint32_t a = smooth_[k] ? shared : Pair(c.points[k], startNormal_[k]);
            uint32_t b = (next != 0 && smooth_[next]) ? Pair(c.points[next], startNormal_[next])
                                                      : Pair(c.points[next], endNormal_[k]);
            shared = b;
            uint32_t ta = a, ba = a + 1, tb = b, bb = b + 1;
            if (faceRight) {
                Triangle(ta, ba, tb);
                Triangle(tb, ba, bb);
            } else {
                Triangle(ta, tb, ba);
                Triangle(tb, bb, ba);
            }
        }
    }

    void Triangle(uint32_t a, uint32_t b, uint32_t c) {
        indices_->push_back(a);
        indices_->push_back(b);
        indices_->push_back(c);
    }

    // ---- faces through the tessellator

    static void GLAPIENTRY OnBegin(GLenum type, void* self) {
        auto* b = static_cast<GlyphBuilder*>(self);
        b->primitive_ = type;
        b->primitiveVertices_.clear();
    }
    static void GLAPIENTRY OnVertex(void* data, void* self) {
        static_cast<GlyphBuilder*>(self)->primitiveVertices_.push_back(uint32_t(reinterpret_cast<uintptr_t>(data)));
    }
    static void GLAPIENTRY OnEnd(void* self) {
        auto* b = static_cast<GlyphBuilder*>(self);
        const std::vector<uint32_t>& v = b->primitiveVertices_;
        auto emit = [b](uint32_t x, uint32_t y, uint32_t z) { b->faceTriangles_.insert(b->faceTriangles_.end(), {x, y, z}); };
        switch (b->primitive_) {
        case GL_TRIANGLES:
            for (size_t i = 0; i + 2 < v.size(); i += 3) emit(v[i], v[i + 1], v[i + 2]);
            break;
        case GL_TRIANGLE_FAN:
            for (size_t i = 1; i + 1 < v.size(); ++i) emit(v[0], v[i], v[i + 1]);
            break;
        case GL_TRIANGLE_STRIP:
            for (size_t i = 0; i + 2 < v.size(); ++i) {
                if (i % 2 == 0) emit(v[i], v[i + 1], v[i + 2]);
                else emit(v[i + 1], v[i], v[i + 2]);
            }
            break;
        default: break;
        }
    }
    static void GLAPIENTRY OnCombine(GLdouble coords[3], void*[4], GLfloat[4], void** out, void* self) {
        auto* b = static_cast<GlyphBuilder*>(self);
        b->facePoints_.push_back({coords[0], coords[1], 0.0});
        *out = reinterpret_cast<void*>(uintptr_t(b->facePoints_.size() - 1));
    }
    static void GLAPIENTRY OnError(GLenum, void* self) { static_cast<GlyphBuilder*>(self)->tessFailed_ = true; }

    bool Tessellate(const std::vector<OutlineContour>& contours) {
        facePoints_.clear();
        faceTriangles_.clear();
        tessFailed_ = false;
        for (const OutlineContour& c : contours)
            for (const ContourPoint& p : c.points) facePoints_.push_back({double(p.x), double(p.y), 0.0});
        // Combined vertices are appended to facePoints_ while the tessellator runs, so it is
        // handed coordinates that stay put.
        coords_.assign(facePoints_.begin(), facePoints_.end());

        gluTessCallback(tess_, GLU_TESS_BEGIN_DATA, reinterpret_cast<TessCallback>(&OnBegin));
        gluTessCallback(tess_, GLU_TESS_VERTEX_DATA, reinterpret_cast<TessCallback>(&OnVertex));
        gluTessCallback(tess_, GLU_TESS_END_DATA, reinterpret_cast<TessCallback>(&OnEnd));
        gluTessCallback(tess_, GLU_TESS_COMBINE_DATA, reinterpret_cast<TessCallback>(&OnCombine));
        gluTessCallback(tess_, GLU_TESS_ERROR_DATA, reinterpret_cast<TessCallback>(&OnError));
        gluTessBeginPolygon(tess_, this);
        size_t index = 0;
        for (const OutlineContour& c : contours) {
            gluTessBeginContour(tess_);
            for (size_t k = 0; k < c.points.size(); ++k, ++index)
                gluTessVertex(tess_, coords_[index].data(), reinterpret_cast<void*>(uintptr_t(index)));
            gluTessEndContour(tess_);
        }
        gluTessEndPolygon(tess_);
        if (tessFailed_) return false;
        for (auto& p : facePoints_) p = {ToMeshPrecision(p[0]), ToMeshPrecision(p[1]), 0.0};
        RemoveFlatTriangles();
        return true;
    }

    // Edges of the front face that no other front triangle shares, filled side on the left.
    void FindBoundary() {
        // Triangle edges bucketed by their first vertex (a counting sort): a vertex has a
        // handful of edges, so looking one up is a short scan.
        const std::vector<uint32_t>& t = faceTriangles_;
        const size_t vertexCount = facePoints_.size();
        edgeStart_.assign(vertexCount + 1, 0);
        for (uint32_t v : t) ++edgeStart_[v + 1];
        for (size_t v = 0; v < vertexCount; ++v) edgeStart_[v + 1] += edgeStart_[v];
        edgeEnd_.resize(t.size());
        fill_.assign(edgeStart_.begin(), edgeStart_.end() - 1);
        for (size_t i = 0; i + 2 < t.size(); i += 3)
            for (int e = 0; e < 3; ++e) edgeEnd_[fill_[t[i + e]]++] = t[i + (e + 1) % 3];
        boundary_.clear();
        for (size_t i = 0; i + 2 < t.size(); i += 3)
            for (int e = 0; e < 3; ++e) {
                uint32_t u = t[i + e], v = t[i + (e + 1) % 3];
                if (!HasEdge(v, u)) boundary_.emplace_back(u, v);
            }
    }
    bool HasEdge(uint32_t u, uint32_t v) const {
        if (u + 1 >= edgeStart_.size()) return false;
        for (uint32_t k = edgeStart_[u]; k < edgeStart_[u + 1]; ++k)
            if (edgeEnd_[k] == v) return true;
        return false;
    }

    // Whether the face outline is exactly the contours' edges, each contour bounding the
    // faces on one side all along. wallsFaceRight_ then says, per contour, whether the faces
    // lie on its left (a front triangle runs along its edges), so its walls face right.
    bool BoundaryFollowsContours(const std::vector<OutlineContour>& contours) {
        FindBoundary();
        size_t edges = 0;
        for (const OutlineContour& c : contours) edges += c.points.size();
        if (edges != boundary_.size() || facePoints_.size() != edges) return false;
        wallsFaceRight_.assign(contours.size(), 0);
        uint32_t offset = 0;
        for (size_t c = 0; c < contours.size(); ++c) {
            uint32_t n = uint32_t(contours[c].points.size());
            bool facesLeft = HasEdge(offset, offset + 1);  // n is at least 3
            for (uint32_t k = 0; k < n; ++k) {
                uint32_t u = offset + k, v = offset + (k + 1) % n;
                bool forward = HasEdge(u, v);
                if (forward == HasEdge(v, u) || forward != facesLeft) return false;
            }
            wallsFaceRight_[c] = facesLeft;
            offset += n;
        }
        return true;
    }

    // The face outline as closed loops. An outline edge that is a contour edge keeps its
    // curve and run; edges through new (crossing) vertices are straight.
    std::vector<OutlineContour> BoundaryLoops(const std::vector<OutlineContour>& contours) {
        struct Place {
            uint32_t contour, k, n, offset;
        };
        std::vector<Place> place;
        uint32_t offset = 0;
        for (uint32_t c = 0; c < contours.size(); ++c) {
            uint32_t n = uint32_t(contours[c].points.size());
            for (uint32_t k = 0; k < n; ++k) place.push_back({c, k, n, offset});
            offset += n;
        }
        auto edgeKind = [&](uint32_t u, uint32_t v, uint8_t& curved, uint32_t& run) {
            curved = 0;
            run = 0;
            if (u >= place.size() || v >= place.size()) return;
            const Place &pu = place[u], &pv = place[v];
            if (pu.contour != pv.contour) return;
            const OutlineContour& c = contours[pu.contour];
            if ((pu.k + 1) % pu.n == pv.k) curved = c.curved[pu.k], run = c.run[pu.k];
            else if ((pv.k + 1) % pv.n == pu.k) curved = c.curved[pv.k], run = c.run[pv.k];
        };
        std::unordered_multimap<uint32_t, uint32_t> outgoing;
        for (auto [u, v] : boundary_) outgoing.emplace(u, v);
        std::vector<OutlineContour> loops;
        while (!outgoing.empty()) {
            auto first = outgoing.begin();
            uint32_t start = first->first, at = start;
            std::vector<uint32_t> loop;
            while (true) {
                auto next = outgoing.find(at);
                if (next == outgoing.end()) break;
                loop.push_back(at);
                at = next->second;
                outgoing.erase(next);
                if (at == start) break;
            }
            OutlineContour contour;
            for (size_t i = 0; i < loop.size(); ++i) {
                uint32_t u = loop[i], v = loop[(i + 1) % loop.size()];
                ContourPoint p{float(facePoints_[u][0]), float(facePoints_[u][1])};
                ContourPoint q{float(facePoints_[v][0]), float(facePoints_[v][1])};
                if (p.x == q.x && p.y == q.y) continue;
                uint8_t curved;
                uint32_t run;
                edgeKind(u, v, curved, run);
                contour.points.push_back(p);
                contour.curved.push_back(curved);
                contour.run.push_back(run);
            }
            if (contour.points.size() >= 2) loops.push_back(std::move(contour));
        }
        return loops;
    }

    void EmitFaces() {
        // Front face at z = 0 in the tessellator's order, back face reversed.
        uint32_t front = Local();
        for (const auto& p : facePoints_) AddVertex(float(p[0]), float(p[1]), 0.0f, 0, 0, 1);
        uint32_t back = Local();
        for (const auto& p : facePoints_) AddVertex(float(p[0]), float(p[1]), depth_, 0, 0, -1);
        for (size_t i = 0; i + 2 < faceTriangles_.size(); i += 3)
            Triangle(front + faceTriangles_[i], front + faceTriangles_[i + 1], front + faceTriangles_[i + 2]);
        for (size_t i = 0; i + 2 < faceTriangles_.size(); i += 3)
            Triangle(back + faceTriangles_[i], back + faceTriangles_[i + 2], back + faceTriangles_[i + 1]);
    }

    double Cross(uint32_t a, uint32_t b, uint32_t c) const {
        const auto &p = facePoints_[a], &q = facePoints_[b], &r = facePoints_[c];
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
    }

    // The tessellator closes monotone pieces with zero-area triangles where vertices line
    // up, which leave a vertex in the middle of another triangle's edge; and a thin triangle
    // at a crossing vertex can fold over (turn clockwise) once its corners are rounded to
    // float. Such a sliver (a, b, c) with b between c and a is turned, together with the
    // triangle (a, c, d) across its long edge, into (a, b, d) and (b, c, d): the faces'
    // outline stays as it was, with no gap, fold or sliver. One whose corners coincide
    // covers nothing and is dropped, and so is a sliver the turn cannot mend that lies on the
    // outline (its long edge, or both short ones, with no triangle across): the outline then
    // runs along the edges of its neighbours instead.
    void RemoveFlatTriangles() {
        std::vector<uint32_t>& t = faceTriangles_;
        const size_t count = t.size() / 3;
        bool any = false;
        for (size_t i = 0; i < count && !any; ++i) any = !(Cross(t[3 * i], t[3 * i + 1], t[3 * i + 2]) > 0);
        if (!any) return;
        // The triangle across an edge, by its directed edge. A glyph has a few hundred
        // triangles and a scan finds it fastest; a very fine deviation gives tens of
        // thousands, many of them flat once rounded, and those go through a map.
        const uint32_t kDropped = UINT32_MAX;
        const bool mapped = count > kScannedTriangles;
        edgeOwner_.clear();
        auto edgeKey = [](uint32_t u, uint32_t v) { return uint64_t(u) << 32 | v; };
        auto index = [&](size_t j, bool add) {
            if (!mapped || t[3 * j] == kDropped) return;
            for (int e = 0; e < 3; ++e) {
                uint64_t key = edgeKey(t[3 * j + e], t[3 * j + (e + 1) % 3]);
                if (add) {
                    edgeOwner_.emplace(key, j);
                    continue;
                }
                auto [first, last] = edgeOwner_.equal_range(key);
                for (auto it = first; it != last; ++it)
                    if (it->second == j) {
                        edgeOwner_.erase(it);
                        break;
                    }
            }
        };
        for (size_t j = 0; j < count; ++j) index(j, true);
        // Damaged outlines may share a directed edge: the lowest triangle answers.
        auto findEdge = [&](uint32_t u, uint32_t v) -> size_t {
            if (!mapped) {
                for (size_t j = 0; j < count; ++j)
                    for (int e = 0; e < 3; ++e)
                        if (t[3 * j + e] == u && t[3 * j + (e + 1) % 3] == v) return j;
                return SIZE_MAX;
            }
            auto [first, last] = edgeOwner_.equal_range(edgeKey(u, v));
            size_t owner = SIZE_MAX;
            for (auto it = first; it != last; ++it) owner = std::min(owner, it->second);
            return owner;
        };
        auto same = [&](uint32_t a, uint32_t b) { return facePoints_[a] == facePoints_[b]; };
        // Whether the corner at m is obtuse: of a sliver's corners, m lies between a and b.
        auto between = [&](uint32_t m, uint32_t a, uint32_t b) {
            const auto &p = facePoints_[m], &q = facePoints_[a], &r = facePoints_[b];
            return (p[0] - q[0]) * (p[0] - r[0]) + (p[1] - q[1]) * (p[1] - r[1]) < 0;
        };
        bool dropped = false;
        for (int pass = 0; pass < 8; ++pass) {
            bool changed = false;
            for (size_t i = 0; i < count; ++i) {
                uint32_t v[3] = {t[3 * i], t[3 * i + 1], t[3 * i + 2]};
                if (v[0] == kDropped || Cross(v[0], v[1], v[2]) > 0) continue;
                if (same(v[0], v[1]) || same(v[1], v[2]) || same(v[0], v[2])) {
                    index(i, false);
                    t[3 * i] = t[3 * i + 1] = t[3 * i + 2] = kDropped;
                    dropped = changed = true;
                    continue;
                }
                int middle = between(v[1], v[0], v[2]) ? 1 : between(v[2], v[0], v[1]) ? 2 : 0;
                uint32_t a = v[(middle + 2) % 3], b = v[middle], c = v[(middle + 1) % 3];
                size_t j = findEdge(a, c);
                if (j == SIZE_MAX) continue;
                uint32_t d = t[3 * j] ^ t[3 * j + 1] ^ t[3 * j + 2] ^ a ^ c;
                if (!(Cross(a, c, d) > 0 && Cross(a, b, d) > 0 && Cross(b, c, d) > 0)) continue;
                index(i, false);
                index(j, false);
                t[3 * i] = a, t[3 * i + 1] = b, t[3 * i + 2] = d;
                t[3 * j] = b, t[3 * j + 1] = c, t[3 * j + 2] = d;
                index(i, true);
                index(j, true);
                changed = true;
            }
            if (!changed) break;
        }
        for (size_t i = 0; i < count; ++i) {
            uint32_t v[3] = {t[3 * i], t[3 * i + 1], t[3 * i + 2]};
            if (v[0] == kDropped || Cross(v[0], v[1], v[2]) > 0) continue;
            int middle = between(v[1], v[0], v[2]) ? 1 : between(v[2], v[0], v[1]) ? 2 : 0;
            uint32_t a = v[(middle + 2) % 3], b = v[middle], c = v[(middle + 1) % 3];
            bool longEdgeOutside = findEdge(a, c) == SIZE_MAX;
            bool shortEdgesOutside = findEdge(b, a) == SIZE_MAX && findEdge(c, b) == SIZE_MAX;
            if (longEdgeOutside || shortEdgesOutside) {
                index(i, false);
                t[3 * i] = t[3 * i + 1] = t[3 * i + 2] = kDropped;
                dropped = true;
            }
        }
        if (dropped) std::erase(t, kDropped);
    }

    GLUtesselator* tess_ = nullptr;
    static constexpr size_t kScannedTriangles = 1024;  // beyond it, edges go through the map
    std::unordered_multimap<uint64_t, size_t> edgeOwner_;  // directed edge to triangles
    float depth_ = 0;
    std::vector<Vertex>* vertices_ = nullptr;
    std::vector<uint32_t>* indices_ = nullptr;
    size_t base_ = 0;

    std::vector<Direction> dirs_, normals_, startNormal_, endNormal_;
    std::vector<uint8_t> smooth_;

    GLenum primitive_ = 0;
    std::vector<uint32_t> primitiveVertices_;
    std::vector<std::array<double, 3>> facePoints_, coords_;
    std::vector<uint32_t> faceTriangles_;
    std::vector<uint32_t> edgeStart_, edgeEnd_, fill_;
    std::vector<std::pair<uint32_t, uint32_t>> boundary_;
    std::vector<uint8_t> wallsFaceRight_;
    bool tessFailed_ = false;
};

// What one text build works in, kept per thread from build to build: once the vectors have
// grown, building a text allocates little beyond its mesh and the tessellator's own.
struct BuildScratch {
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices, glyphIndices;
    std::vector<uint8_t> glyphBuffer;
    std::vector<OutlineContour> contours;
    ContourReader reader;
    GlyphBuilder builder;
};

struct TessDeleter {
    void operator()(GLUtesselator* t) const { gluDeleteTess(t); }
};

}  // namespace

bool ParseNativeOutline(std::span<const uint8_t> data, double scale, double deviation,
                        std::vector<OutlineContour>& contours) {
    ContourReader reader;
    return reader.Read(data, scale, deviation, contours);
}

bool IsCounterClockwise(const OutlineContour& contour) {
    size_t n = contour.points.size();
    double total = 0;
    double previous = 0;
    for (size_t k = 0; k <= n; ++k) {
        const ContourPoint& a = contour.points[k % n];
        const ContourPoint& b = contour.points[(k + 1) % n];
        double angle = std::atan2(double(b.y) - a.y, double(b.x) - a.x);
        if (k > 0) {
            double turn = angle - previous;
            if (turn > std::numbers::pi) turn -= 2 * std::numbers::pi;
            if (turn < -std::numbers::pi) turn += 2 * std::numbers::pi;
            total += turn;
        }
        previous = angle;
    }
    if (std::fabs(total) < kZeroTurningAngle) {
        Debug("D3DXUseFontOutlines:LoopOrientation : Total loop angle is zero, assuming CW orientation\n");
        return false;
    }
    return total > 0;
}

HRESULT BuildTextMesh(GlyphOutlineSource& source, IDirect3DDevice8* device, const char* text,
                      float deviation, float extrusion, double scale, ID3DXMesh** mesh,
                      ID3DXBuffer** adjacency, GLYPHMETRICSFLOAT* glyphMetrics) {
    *mesh = nullptr;
    if (adjacency) *adjacency = nullptr;
    if (deviation == 0) deviation = float(scale);
    if (deviation > 0.035f) deviation = 0.035f;

    std::unique_ptr<GLUtesselator, TessDeleter> tess(gluNewTess());
    if (!tess) {
        Debug("D3DXCreateText: CreateOFContext failed\n");
        return E_OUTOFMEMORY;
    }
    gluTessProperty(tess.get(), GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessNormal(tess.get(), 0, 0, 1);

    try {
        static thread_local BuildScratch scratch;
        std::vector<Vertex>& vertices = scratch.vertices;
        std::vector<uint32_t>& indices = scratch.indices;
        std::vector<uint32_t>& glyphIndices = scratch.glyphIndices;
        std::vector<uint8_t>& glyphBuffer = scratch.glyphBuffer;
        std::vector<OutlineContour>& contours = scratch.contours;
        ContourReader& reader = scratch.reader;
        GlyphBuilder& builder = scratch.builder;
        vertices.clear();
        indices.clear();
        // An outline far larger than fonts have is not kept for the next text.
        if (glyphBuffer.capacity() > (1u << 20)) std::vector<uint8_t>().swap(glyphBuffer);
        builder.Reset(tess.get(), extrusion);
        double penX = 0, penY = 0;
        size_t character = 0;
        auto bytes = reinterpret_cast<const unsigned char*>(text);
        for (size_t i = 0; bytes[i] != 0; ++i, ++character) {
            UINT code = bytes[i];
            if (source.IsLeadByte(bytes[i]) && bytes[i + 1] != 0) code = code * 256 + bytes[++i];

            GLYPHMETRICS gm{};
            DWORD size = source.GlyphOutline(code, &gm, 0, nullptr);
            if (size == GDI_ERROR) {
                Debug("D3DXCreateText: GetGlyphOutline failed\n");
                return E_OUTOFMEMORY;
            }
            if (size > glyphBuffer.size()) {
                bool grown = size <= kMaxGlyphBytes;
                if (grown) {
                    try {
                        glyphBuffer.resize(size);
                    } catch (const std::bad_alloc&) {
                        grown = false;
                    }
                }
                if (!grown) {
                    Debug("D3DXCreateText: Alloc of glyphBuf failed\n");
                    return E_OUTOFMEMORY;
                }
            }
            DWORD written = source.GlyphOutline(code, &gm, size, size ? glyphBuffer.data() : nullptr);
            if (written == GDI_ERROR || written > size) {
                Debug("D3DXCreateText: GetGlyphOutline failed\n");
                return E_FAIL;
            }

            if (!reader.Read(std::span<const uint8_t>(glyphBuffer.data(), written), scale, deviation, contours,
                             penX, penY)) {
                Debug("D3DXCreateText: MakeLinesFromTTPolygon failed\n");
                return E_FAIL;
            }
            size_t firstVertex = vertices.size();
            glyphIndices.clear();
            if (!builder.Build(contours, vertices, glyphIndices) ||
                vertices.size() > kMaxVertices) {
                // Past 65535 vertices the 16-bit indices would wrap onto other characters.
                Debug("D3DXCreateText: MakeDisplayListFromGlyph failed\n");
                return E_FAIL;
            }
            for (uint32_t index : glyphIndices) indices.push_back(uint32_t(firstVertex) + index);

            if (glyphMetrics) {
                GLYPHMETRICSFLOAT& m = glyphMetrics[character];
                m.gmfBlackBoxX = float(gm.gmBlackBoxX * scale);
                m.gmfBlackBoxY = float(gm.gmBlackBoxY * scale);
                m.gmfptGlyphOrigin.x = float(gm.gmptGlyphOrigin.x * scale);
                m.gmfptGlyphOrigin.y = float(gm.gmptGlyphOrigin.y * scale);
                m.gmfCellIncX = float(gm.gmCellIncX * scale);
                m.gmfCellIncY = float(gm.gmCellIncY * scale);
            }
            penX += gm.gmCellIncX * scale;
            penY += gm.gmCellIncY * scale;
        }

        DWORD faces = DWORD(indices.size() / 3);
        HRESULT hr = D3DXCreateMeshFVF(faces, DWORD(vertices.size()), D3DXMESH_MANAGED,
                                       D3DFVF_XYZ | D3DFVF_NORMAL, device, mesh);
        if (hr != D3D_OK) return hr;
        BYTE* data = nullptr;
        if ((*mesh)->LockVertexBuffer(0, &data) == D3D_OK) {
            if (!vertices.empty()) std::memcpy(data, vertices.data(), vertices.size() * sizeof(Vertex));
            (*mesh)->UnlockVertexBuffer();
        }
        if ((*mesh)->LockIndexBuffer(0, &data) == D3D_OK) {
            for (size_t i = 0; i < indices.size(); ++i) {
                auto index = uint16_t(indices[i]);
                std::memcpy(data + 2 * i, &index, 2);
            }
            (*mesh)->UnlockIndexBuffer();
        }
        if (adjacency) {
            hr = D3DXCreateBuffer(faces * 3 * sizeof(DWORD), adjacency);
            if (hr == D3D_OK && faces > 0)
                hr = (*mesh)->GenerateAdjacency(0.0f, static_cast<DWORD*>((*adjacency)->GetBufferPointer()));
            if (hr != D3D_OK) {
                if (*adjacency) (*adjacency)->Release(), *adjacency = nullptr;
                (*mesh)->Release();
                *mesh = nullptr;
                return hr;
            }
        }
        return D3D_OK;
    } catch (const std::bad_alloc&) {
        if (*mesh) (*mesh)->Release(), *mesh = nullptr;
        return E_OUTOFMEMORY;
    }
}

}  // namespace text3d
