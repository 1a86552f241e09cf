// D3DXCreateText over the 95 printable ASCII characters at deviation 0.005, against the
// part no text mesh builder can skip: the same glyphs' FreeType outline decomposition,
// flattened to the same deviation, and their GLU tessellation (front face only, no walls,
// no back face, no mesh).
#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <GL/glu.h>

#include <array>
#include <ctime>
#include <cstring>
#include <string>
#include <vector>

#include "gdi/font_files.h"
#include "text3d/d3dx_text.h"

namespace {

constexpr float kDeviation = 0.005f;

std::string PrintableAscii() {
    std::string text;
    for (char c = 0x20; c < 0x7F; ++c) text += c;
    return text;
}

// ---- the baseline: FreeType decomposition and GLU tessellation alone

struct Outline {
    std::vector<std::vector<std::array<double, 3>>> contours;
    double deviationSquared = 0;
    double x = 0, y = 0;

    void Flatten(double ax, double ay, double qx, double qy, double bx, double by, int depth) {
        double mx = ((ax + qx) / 2 + (qx + bx) / 2) / 2, my = ((ay + qy) / 2 + (qy + by) / 2) / 2;
        double dx = mx - qx, dy = my - qy;
        if (dx * dx + dy * dy > deviationSquared && depth < 24) {
            Flatten(ax, ay, (ax + qx) / 2, (ay + qy) / 2, mx, my, depth + 1);
            Flatten(mx, my, (qx + bx) / 2, (qy + by) / 2, bx, by, depth + 1);
        } else {
            contours.back().push_back({qx, qy, 0});
        }
    }
    static int MoveTo(const FT_Vector* to, void* self) {
        auto* o = static_cast<Outline*>(self);
        o->contours.emplace_back();
        o->contours.back().push_back({double(to->x), double(to->y), 0});
        o->x = double(to->x), o->y = double(to->y);
        return 0;
    }
    static int LineTo(const FT_Vector* to, void* self) {
        auto* o = static_cast<Outline*>(self);
        o->contours.back().push_back({double(to->x), double(to->y), 0});
        o->x = double(to->x), o->y = double(to->y);
        return 0;
    }
    static int ConicTo(const FT_Vector* control, const FT_Vector* to, void* self) {
        auto* o = static_cast<Outline*>(self);
        o->Flatten(o->x, o->y, double(control->x), double(control->y), double(to->x), double(to->y), 0);
        return LineTo(to, self);
    }
    static int CubicTo(const FT_Vector*, const FT_Vector*, const FT_Vector* to, void* self) {
        return LineTo(to, self);  // the TrueType faces measured here have none
    }
};

struct Triangles {
    std::vector<void*> vertices;
    std::vector<std::array<double, 3>> combined;
    GLenum type = 0;
    size_t count = 0;
    static void GLAPIENTRY Begin(GLenum type, void* self) { static_cast<Triangles*>(self)->type = type; }
    static void GLAPIENTRY Vertex(void* data, void* self) { static_cast<Triangles*>(self)->vertices.push_back(data); }
    static void GLAPIENTRY End(void* self) {
        auto* t = static_cast<Triangles*>(self);
        t->count += t->vertices.size() >= 3 ? t->vertices.size() - 2 : 0;
        t->vertices.clear();
    }
    static void GLAPIENTRY Combine(GLdouble c[3], void*[4], GLfloat[4], void** out, void* self) {
        auto* t = static_cast<Triangles*>(self);
        t->combined.push_back({c[0], c[1], c[2]});
        *out = t->combined.back().data();
    }
};

class Baseline {
public:
    explicit Baseline(const std::string& text) : text_(text) {
        LOGFONTA font{};
        std::strcpy(font.lfFaceName, "Arial");
        font.lfWeight = FW_NORMAL;
        FT_Init_FreeType(&library_);
        FT_New_Face(library_, gdi::ResolveFontFile(font).path.c_str(), 0, &face_);
        tess_ = gluNewTess();
        gluTessProperty(tess_, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
        gluTessNormal(tess_, 0, 0, 1);
        gluTessCallback(tess_, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(&Triangles::Begin));
        gluTessCallback(tess_, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(&Triangles::Vertex));
        gluTessCallback(tess_, GLU_TESS_END_DATA, reinterpret_cast<_GLUfuncptr>(&Triangles::End));
        gluTessCallback(tess_, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(&Triangles::Combine));
    }
    ~Baseline() {
        gluDeleteTess(tess_);
        if (face_) FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    bool Ready() const { return face_ != nullptr; }

    // Triangles of the text's front faces.
    size_t Run() {
        const double deviation = kDeviation * face_->units_per_EM;
        Triangles triangles;
        const FT_Outline_Funcs funcs{&Outline::MoveTo, &Outline::LineTo, &Outline::ConicTo, &Outline::CubicTo, 0, 0};
        for (unsigned char c : text_) {
            if (FT_Load_Glyph(face_, FT_Get_Char_Index(face_, c), FT_LOAD_NO_SCALE) != 0) continue;
            Outline outline;
            outline.deviationSquared = deviation * deviation;
            FT_Outline_Decompose(&face_->glyph->outline, &funcs, &outline);
            if (outline.contours.empty()) continue;
            gluTessBeginPolygon(tess_, &triangles);
            for (auto& contour : outline.contours) {
                gluTessBeginContour(tess_);
                for (auto& p : contour) gluTessVertex(tess_, p.data(), p.data());
                gluTessEndContour(tess_);
            }
            gluTessEndPolygon(tess_);
            triangles.combined.clear();
        }
        return triangles.count;
    }

private:
    std::string text_;
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    GLUtesselator* tess_ = nullptr;
};

void BM_CreateTextVsOutlineAndTessellation(benchmark::State& state) {
    const std::string text = PrintableAscii();
    Baseline baseline(text);
    if (!baseline.Ready()) {
        state.SkipWithError("no face for Arial");
        return;
    }
    IDirect3DDevice8 device;
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontA(0, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                             VARIABLE_PITCH, "Arial");
    HGDIOBJ previous = SelectObject(dc, font);

    // Thread CPU time: the machines these run on are shared, and wall time would count
    // whatever else ran in between.
    auto cpuSeconds = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    };
    double builderSeconds = 0, baselineSeconds = 0;
    DWORD faces = 0;
    size_t frontTriangles = 0;
    bool builderFirst = true;
    for (auto _ : state) {
        // Whichever runs second finds the font data in the cache, so the order alternates.
        for (int turn = 0; turn < 2; ++turn) {
            const double t0 = cpuSeconds();
            if ((turn == 0) == builderFirst) {
                ID3DXMesh* mesh = nullptr;
                if (D3DXCreateText(&device, dc, text.c_str(), kDeviation, 0.15f, &mesh, nullptr, nullptr) != D3D_OK) {
                    state.SkipWithError("D3DXCreateText failed");
                    break;
                }
                faces = mesh->GetNumFaces();
                mesh->Release();
                builderSeconds += cpuSeconds() - t0;
            } else {
                frontTriangles = baseline.Run();
                baselineSeconds += cpuSeconds() - t0;
            }
        }
        builderFirst = !builderFirst;
        benchmark::DoNotOptimize(faces);
        benchmark::DoNotOptimize(frontTriangles);
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(font);
    const double n = double(state.iterations());
    state.counters["create_text_us"] = builderSeconds / n * 1e6;
    state.counters["outline_and_tess_us"] = baselineSeconds / n * 1e6;
    state.counters["ratio_create_text_to_outline_and_tess"] = builderSeconds / baselineSeconds;
    state.counters["mesh_faces"] = double(faces);
    state.counters["front_triangles_baseline"] = double(frontTriangles);
}
BENCHMARK(BM_CreateTextVsOutlineAndTessellation)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
