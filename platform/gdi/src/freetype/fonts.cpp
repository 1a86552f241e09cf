// Fonts, memory device contexts and glyph outlines of the GDI stand-in.
//
// A font keeps its LOGFONTA and the FreeType face it resolved to. Outlines come at the em
// height |lfHeight| (both signs; 0 gives kDefaultEmHeight): TrueType ones grid-fitted by
// the font's instructions at that many pixels, others in font units scaled by em height /
// units per em. A font whose height equals its em square therefore yields outlines in
// design units. Handles are checked against the set
// of live objects, so a stale or foreign handle is refused instead of followed.
#include "gdi/cubic_to_quadratic.h"
#include "gdi/font_files.h"
#include "gdi/wingdi.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BBOX_H
#include FT_FONT_FORMATS_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr int kDefaultEmHeight = 16;  // pixels, for height 0

struct FreeTypeFaces {
    FT_Library library = nullptr;
    std::map<std::pair<std::string, int>, FT_Face> faces;

    FreeTypeFaces() {
        if (FT_Init_FreeType(&library) != 0) library = nullptr;
    }
    ~FreeTypeFaces() {
        for (auto& entry : faces)
            if (entry.second) FT_Done_Face(entry.second);
        if (library) FT_Done_FreeType(library);
    }

    // Null when the file cannot be read or holds no scalable outlines.
    FT_Face Open(const gdi::FontFile& file) {
        if (!library || file.path.empty()) return nullptr;
        auto key = std::make_pair(file.path, file.faceIndex);
        auto found = faces.find(key);
        if (found != faces.end()) return found->second;
        FT_Face face = nullptr;
        if (FT_New_Face(library, file.path.c_str(), file.faceIndex, &face) != 0) face = nullptr;
        if (face && (!FT_IS_SCALABLE(face) || face->units_per_EM == 0)) {
            FT_Done_Face(face);
            face = nullptr;
        }
        faces.emplace(key, face);
        return face;
    }
};

FreeTypeFaces& Faces() {
    static FreeTypeFaces faces;
    return faces;
}

}  // namespace

struct GdiObject {
    enum class Kind { Font, Context } kind = Kind::Font;
    // Font
    LOGFONTA logFont{};
    FT_Face face = nullptr;
    bool deleted = false;  // DeleteObject ran while the font was still selected
    int selections = 0;
    // The last native outline asked for: callers ask for the size and then the data.
    bool outlineCached = false;
    UINT outlineCode = 0;
    MAT2 outlineTransform{};
    GLYPHMETRICS outlineMetrics{};
    std::vector<uint8_t> outlineBytes;
    // Context
    GdiObject* selectedFont = nullptr;
};

namespace {

std::unordered_set<GdiObject*>& LiveObjects() {
    static std::unordered_set<GdiObject*> live;
    return live;
}

GdiObject* Live(HGDIOBJ object, GdiObject::Kind kind) {
    if (!object || !LiveObjects().count(object) || object->kind != kind) return nullptr;
    if (kind == GdiObject::Kind::Font && object->deleted) return nullptr;
    return object;
}

void Destroy(GdiObject* object) {
    LiveObjects().erase(object);
    delete object;
}

void Deselect(GdiObject* font) {
    if (!font) return;
    --font->selections;
    if (font->deleted && font->selections == 0) Destroy(font);
}

double EmHeight(const LOGFONTA& font) {
    if (font.lfHeight == 0) return kDefaultEmHeight;
    return std::fabs(double(font.lfHeight));
}

// Font units to the selected size.
double UnitScale(const GdiObject& font) {
    return EmHeight(font.logFont) / double(font.face->units_per_EM);
}

FT_Face FontFace(HDC dc) {
    GdiObject* context = Live(dc, GdiObject::Kind::Context);
    if (!context || !context->selectedFont) return nullptr;
    return context->selectedFont->face;
}

LONG RoundToLong(double value) {
    if (!(value > -2147483648.0)) return INT32_MIN;
    if (!(value < 2147483647.0)) return INT32_MAX;
    return LONG(std::lround(value));
}

FIXED ToFixed(double value) {
    double scaled = std::round(value * 65536.0);
    scaled = std::clamp(scaled, -2147483648.0, 2147483647.0);
    auto bits = uint32_t(int32_t(scaled));
    return FIXED{WORD(bits & 0xFFFFu), SHORT(int16_t(uint16_t(bits >> 16)))};
}

double FromFixed(FIXED f) { return double(f.value) + double(f.fract) / 65536.0; }

struct Point2 {
    double x, y;
};

// Writes native contour records: TTPOLYGONHEADER, then LINE and QSPLINE runs.
class NativeOutlineWriter {
public:
    NativeOutlineWriter(double scale, const MAT2& m, std::vector<uint8_t>& bytes) : scale_(scale), bytes_(bytes) {
        bytes_.clear();
        m11_ = FromFixed(m.eM11);
        m12_ = FromFixed(m.eM12);
        m21_ = FromFixed(m.eM21);
        m22_ = FromFixed(m.eM22);
    }

    void BeginContour(Point2 start) {
        contourStart_ = bytes_.size();
        bytes_.resize(bytes_.size() + sizeof(TTPOLYGONHEADER));
        TTPOLYGONHEADER header{0, TT_POLYGON_TYPE, Transform(start)};
        std::memcpy(bytes_.data() + contourStart_, &header, sizeof header);
    }
    void Run(WORD type, const std::vector<Point2>& points) {
        // A run holds at most 65535 points; only line runs can be that long.
        for (size_t first = 0; first < points.size(); first += 0xFFFF) {
            size_t count = std::min<size_t>(0xFFFF, points.size() - first);
            WORD header[2] = {type, WORD(count)};
            Append(header, sizeof header);
            for (size_t i = first; i < first + count; ++i) {
                POINTFX p = Transform(points[i]);
                Append(&p, sizeof p);
            }
        }
    }
    void EndContour() {
        DWORD cb = DWORD(bytes_.size() - contourStart_);
        std::memcpy(bytes_.data() + contourStart_, &cb, sizeof cb);
    }
private:
    void Append(const void* data, size_t size) {
        auto p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    POINTFX Transform(Point2 p) const {
        double x = p.x * scale_, y = p.y * scale_;
        return POINTFX{ToFixed(x * m11_ + y * m21_), ToFixed(x * m12_ + y * m22_)};
    }

    double scale_;
    double m11_, m12_, m21_, m22_;
    size_t contourStart_ = 0;
    std::vector<uint8_t>& bytes_;
};

Point2 Mid(Point2 a, Point2 b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// Where the line leaving a along `leave` meets the line arriving at b along `arrive`, when
// that lies ahead of a and before b (and not far beyond the chord, as it would for nearly
// parallel tangents); otherwise the chord's mid-point, which makes the quadratic straight.
gdi::OutlinePoint TangentMeet(gdi::OutlinePoint a, gdi::OutlinePoint leave, gdi::OutlinePoint b,
                              gdi::OutlinePoint arrive) {
    gdi::OutlinePoint mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
    double wx = b.x - a.x, wy = b.y - a.y;
    double det = leave.x * arrive.y - leave.y * arrive.x;
    if (det == 0) return mid;
    double s = (wx * arrive.y - wy * arrive.x) / det, r = (leave.x * wy - leave.y * wx) / det;
    double chord = std::hypot(wx, wy);
    if (!(s > 0 && r > 0) || s * std::hypot(leave.x, leave.y) > chord || r * std::hypot(arrive.x, arrive.y) > chord)
        return mid;
    return {a.x + s * leave.x, a.y + s * leave.y};
}

}  // namespace

std::vector<gdi::QuadraticPiece> gdi::CubicToQuadratics(OutlinePoint p0, OutlinePoint c1, OutlinePoint c2,
                                                        OutlinePoint p3) {
    double ex = p3.x - 3 * c2.x + 3 * c1.x - p0.x, ey = p3.y - 3 * c2.y + 3 * c1.y - p0.y;
    double error = std::sqrt(ex * ex + ey * ey) * std::sqrt(3.0) / 36.0;
    int pieces = 1;
    while (pieces < 64 && error / (double(pieces) * pieces * pieces) > kCubicTolerance) ++pieces;
    auto at = [&](double t) {
        double u = 1 - t;
        return OutlinePoint{u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x,
                            u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y};
    };
    auto derivative = [&](double t) {
        double u = 1 - t;
        return OutlinePoint{3 * (u * u * (c1.x - p0.x) + 2 * u * t * (c2.x - c1.x) + t * t * (p3.x - c2.x)),
                            3 * (u * u * (c1.y - p0.y) + 2 * u * t * (c2.y - c1.y) + t * t * (p3.y - c2.y))};
    };
    // The way the curve runs at t. Where the derivative vanishes (a handle lying on its end
    // point) the curve still leaves along its second derivative and arrives against it; a
    // cubic that is a straight line with both handles on its ends runs along its third.
    const double span = std::hypot(p3.x - p0.x, p3.y - p0.y) + std::hypot(c1.x - p0.x, c1.y - p0.y) +
                        std::hypot(c2.x - p3.x, c2.y - p3.y);
    const double vanishing = 1e-12 * (span + 1);
    auto heading = [&](double t, bool arriving) {
        OutlinePoint d = derivative(t);
        if (std::hypot(d.x, d.y) > vanishing) return d;
        double u = 1 - t, sign = arriving ? -1 : 1;
        OutlinePoint second{sign * (u * (c2.x - 2 * c1.x + p0.x) + t * (p3.x - 2 * c2.x + c1.x)),
                            sign * (u * (c2.y - 2 * c1.y + p0.y) + t * (p3.y - 2 * c2.y + c1.y))};
        if (std::hypot(second.x, second.y) > vanishing) return second;
        return OutlinePoint{ex, ey};
    };
    std::vector<QuadraticPiece> out;
    for (int i = 0; i < pieces; ++i) {
        double t0 = double(i) / pieces, t1 = double(i + 1) / pieces, h = (t1 - t0) / 3;
        OutlinePoint a = at(t0), b = i + 1 == pieces ? p3 : at(t1), da = derivative(t0), db = derivative(t1);
        // The piece's own cubic controls; the quadratic takes their tangent-weighted mean.
        OutlinePoint q1{a.x + da.x * h, a.y + da.y * h}, q2{b.x - db.x * h, b.y - db.y * h};
        OutlinePoint control{(3 * (q1.x + q2.x) - (a.x + b.x)) / 4, (3 * (q1.y + q2.y) - (a.y + b.y)) / 4};
        // Next to a handle on its end point the mean can land behind the piece's start (or
        // past its end), and the outline would run back over itself there. Such a piece
        // takes the point where its end tangents meet, or is straight when they do not meet
        // ahead of both ends.
        OutlinePoint leave = heading(t0, false), arrive = heading(t1, true);
        auto ahead = [](OutlinePoint from, OutlinePoint to, OutlinePoint way) {
            return (to.x - from.x) * way.x + (to.y - from.y) * way.y > 0;
        };
        if (!ahead(a, control, leave) || !ahead(control, b, arrive)) control = TangentMeet(a, leave, b, arrive);
        out.push_back({control, b});
    }
    return out;
}

namespace {

// The FreeType outline as native records. A final line back to the start is left out, as
// the reader closes every contour itself.
void WriteContour(NativeOutlineWriter& writer, const FT_Outline& outline, int first, int last) {
    int count = last - first + 1;
    if (count < 2) return;
    auto point = [&](int i) { return Point2{double(outline.points[i].x), double(outline.points[i].y)}; };
    auto tag = [&](int i) { return FT_CURVE_TAG(outline.tags[i]); };

    int startIndex = -1;
    for (int i = first; i <= last; ++i)
        if (tag(i) == FT_CURVE_TAG_ON) {
            startIndex = i;
            break;
        }
    Point2 start;
    // Walk order: every point after the start, then the start itself as the closing target.
    static std::vector<std::pair<Point2, int>> walk;
    walk.clear();
    if (startIndex < 0) {
        // All points are quadratic controls: start on the implied mid-point of the last and
        // the first.
        start = Mid(point(last), point(first));
        for (int i = first; i <= last; ++i) walk.emplace_back(point(i), tag(i));
    } else {
        start = point(startIndex);
        for (int k = 1; k < count; ++k) {
            int i = first + (startIndex - first + k) % count;
            walk.emplace_back(point(i), tag(i));
        }
    }
    walk.emplace_back(start, FT_CURVE_TAG_ON);

    writer.BeginContour(start);
    static std::vector<Point2> line, controls;
    line.clear();
    controls.clear();
    Point2 current = start;
    for (size_t k = 0; k < walk.size(); ++k) {
        auto [p, t] = walk[k];
        bool closing = k + 1 == walk.size();
        if (t == FT_CURVE_TAG_ON) {
            if (!controls.empty()) {
                controls.push_back(p);
                writer.Run(TT_PRIM_QSPLINE, controls);
                controls.clear();
            } else if (!closing) {
                line.push_back(p);
            }
            current = p;
        } else if (t == FT_CURVE_TAG_CONIC) {
            if (!line.empty()) writer.Run(TT_PRIM_LINE, line), line.clear();
            controls.push_back(p);
        } else {  // cubic: two controls, then an on point (the start when the walk ends)
            if (!line.empty()) writer.Run(TT_PRIM_LINE, line), line.clear();
            if (k + 1 >= walk.size()) break;
            Point2 c2 = walk[k + 1].first;
            Point2 end = k + 2 < walk.size() ? walk[k + 2].first : start;
            for (const gdi::QuadraticPiece& q : gdi::CubicToQuadratics({current.x, current.y}, {p.x, p.y},
                                                                       {c2.x, c2.y}, {end.x, end.y}))
                writer.Run(TT_PRIM_QSPLINE, {{q.control.x, q.control.y}, {q.end.x, q.end.y}});
            current = end;
            k += 2;
        }
    }
    if (!line.empty()) writer.Run(TT_PRIM_LINE, line);
    writer.EndContour();
}

void FillGlyphMetrics(GLYPHMETRICS& gm, FT_GlyphSlot slot, double scale) {
    FT_BBox box{};
    bool hasOutline = slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->outline.n_points > 0;
    if (hasOutline) FT_Outline_Get_BBox(&slot->outline, &box);
    if (hasOutline) {
        LONG left = LONG(std::floor(box.xMin * scale)), right = LONG(std::ceil(box.xMax * scale));
        LONG bottom = LONG(std::floor(box.yMin * scale)), top = LONG(std::ceil(box.yMax * scale));
        gm.gmBlackBoxX = UINT(std::max<LONG>(1, right - left));
        gm.gmBlackBoxY = UINT(std::max<LONG>(1, top - bottom));
        gm.gmptGlyphOrigin = POINT{left, top};
    } else {
        // An empty glyph reports a one-unit box at the origin.
        gm.gmBlackBoxX = 1;
        gm.gmBlackBoxY = 1;
        gm.gmptGlyphOrigin = POINT{0, 0};
    }
    gm.gmCellIncX = SHORT(std::clamp<LONG>(RoundToLong(slot->metrics.horiAdvance * scale), -32768, 32767));
    gm.gmCellIncY = 0;
}

// TrueType outlines are grid-fitted by the font's own instructions at the em height in
// pixels, as GDI fits native outlines unless asked for unhinted ones; `scale` then turns
// FreeType's 26.6 pixels into the size's units. At the 3D text's height (the em square)
// one pixel is one design unit, and the instructions can still move points by a unit or
// two (DejaVu aligns heights to its control values) or leave them on fractions of a unit
// (points interpolated between moved ones). FreeType's default interpreter moves points
// only vertically, as Wine's GDI (the same FreeType) does. Other outlines (CFF) and heights
// beyond FreeType's largest size load unhinted in font units.
bool LoadGlyph(FT_Face face, FT_UInt glyph, const LOGFONTA& logFont, double& scale) {
    constexpr double kLargestHintedHeight = 0xFFFE;
    const double em = EmHeight(logFont);
    const char* format = FT_Get_Font_Format(face);
    const bool trueType = format && std::strcmp(format, "TrueType") == 0;
    if (trueType && em <= kLargestHintedHeight) {
        const auto ppem = FT_UInt(em);
        // Setting a size runs the font's control program again; skip it when unchanged.
        const bool sized = face->size && face->size->metrics.x_ppem == ppem && face->size->metrics.y_ppem == ppem;
        if ((sized || FT_Set_Pixel_Sizes(face, ppem, ppem) == 0) &&
            FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0 &&
            face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            scale = 1.0 / 64.0;
            return true;
        }
    }
    scale = em / double(face->units_per_EM);
    return FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE) == 0;
}

DebugOutputSink g_debugSink = nullptr;
void* g_debugContext = nullptr;

}  // namespace

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                  DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                  DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, const char* faceName) {
    LOGFONTA font{};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfEscapement = escapement;
    font.lfOrientation = orientation;
    font.lfWeight = weight;
    font.lfItalic = BYTE(italic);
    font.lfUnderline = BYTE(underline);
    font.lfStrikeOut = BYTE(strikeOut);
    font.lfCharSet = BYTE(charSet);
    font.lfOutPrecision = BYTE(outPrecision);
    font.lfClipPrecision = BYTE(clipPrecision);
    font.lfQuality = BYTE(quality);
    font.lfPitchAndFamily = BYTE(pitchAndFamily);
    if (faceName) std::strncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirectA(&font);
}

HFONT CreateFontIndirectA(const LOGFONTA* logFont) {
    if (!logFont) return nullptr;
    auto* font = new (std::nothrow) GdiObject;
    if (!font) return nullptr;
    font->logFont = *logFont;
    font->logFont.lfFaceName[LF_FACESIZE - 1] = '\0';  // a full name without its NUL is cut
    font->face = Faces().Open(gdi::ResolveFontFile(font->logFont));
    LiveObjects().insert(font);
    return font;
}

HDC CreateCompatibleDC(HDC reference) {
    if (reference && !Live(reference, GdiObject::Kind::Context)) return nullptr;
    auto* dc = new (std::nothrow) GdiObject;
    if (!dc) return nullptr;
    dc->kind = GdiObject::Kind::Context;
    LiveObjects().insert(dc);
    return dc;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    GdiObject* context = Live(dc, GdiObject::Kind::Context);
    GdiObject* font = Live(object, GdiObject::Kind::Font);
    if (!context || !font) return nullptr;
    GdiObject* previous = context->selectedFont;
    ++font->selections;
    context->selectedFont = font;
    // A font deleted while selected goes when the last context lets it go; its handle
    // is then no longer worth returning.
    bool previousGoes = previous && previous->deleted && previous->selections == 1;
    Deselect(previous);
    return previousGoes ? nullptr : previous;
}

BOOL DeleteObject(HGDIOBJ object) {
    GdiObject* font = Live(object, GdiObject::Kind::Font);
    if (!font) return 0;
    if (font->selections > 0) {
        font->deleted = true;
    } else {
        Destroy(font);
    }
    return 1;
}

BOOL DeleteDC(HDC dc) {
    GdiObject* context = Live(dc, GdiObject::Kind::Context);
    if (!context) return 0;
    Deselect(context->selectedFont);
    Destroy(context);
    return 1;
}

HGDIOBJ GetCurrentObject(HDC dc, UINT type) {
    GdiObject* context = Live(dc, GdiObject::Kind::Context);
    if (!context || type != OBJ_FONT) return nullptr;
    return context->selectedFont;
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
    // A font deleted while still selected can still be asked about through its context.
    if (!object || !LiveObjects().count(object) || object->kind != GdiObject::Kind::Font) return 0;
    if (!out) return int(sizeof(LOGFONTA));
    if (size <= 0) return 0;
    int n = std::min(size, int(sizeof(LOGFONTA)));
    std::memcpy(out, &object->logFont, size_t(n));
    return n;
}

UINT GetOutlineTextMetricsA(HDC dc, UINT size, OUTLINETEXTMETRICA* metrics) {
    FT_Face face = FontFace(dc);
    if (!face) return 0;
    if (!metrics || size == 0) return UINT(sizeof(OUTLINETEXTMETRICA));
    GdiObject& font = *Live(dc, GdiObject::Kind::Context)->selectedFont;
    double s = UnitScale(font);
    OUTLINETEXTMETRICA m{};
    m.otmSize = sizeof m;
    TEXTMETRICA& tm = m.otmTextMetrics;
    tm.tmAscent = RoundToLong(face->ascender * s);
    tm.tmDescent = RoundToLong(-face->descender * s);
    // Sums of rounded metrics in double, then clamped: a height near the end of LONG's range
    // (INT_MIN is as valid a request as any) must not overflow.
    tm.tmHeight = RoundToLong(double(tm.tmAscent) + double(tm.tmDescent));
    tm.tmInternalLeading =
        std::max<LONG>(0, RoundToLong(double(tm.tmHeight) - double(RoundToLong(face->units_per_EM * s))));
    tm.tmExternalLeading =
        std::max<LONG>(0, RoundToLong(double(RoundToLong(face->height * s)) - double(tm.tmHeight)));
    tm.tmMaxCharWidth = RoundToLong(face->max_advance_width * s);
    tm.tmAveCharWidth = tm.tmMaxCharWidth / 2;
    tm.tmWeight = font.logFont.lfWeight ? font.logFont.lfWeight : FW_NORMAL;
    tm.tmItalic = (face->style_flags & FT_STYLE_FLAG_ITALIC) ? 1 : 0;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmCharSet = ANSI_CHARSET;
    m.otmEMSquare = face->units_per_EM;
    m.otmAscent = tm.tmAscent;
    m.otmDescent = -tm.tmDescent;
    m.otmLineGap = UINT(tm.tmExternalLeading);
    m.otmrcFontBox = RECT{RoundToLong(face->bbox.xMin * s), RoundToLong(face->bbox.yMax * s),
                          RoundToLong(face->bbox.xMax * s), RoundToLong(face->bbox.yMin * s)};
    m.otmsUnderscoreSize = int(RoundToLong(face->underline_thickness * s));
    m.otmsUnderscorePosition = int(RoundToLong(face->underline_position * s));
    std::memcpy(metrics, &m, std::min<size_t>(size, sizeof m));
    return std::min<UINT>(size, UINT(sizeof m));
}

DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size,
                       void* buffer, const MAT2* transform) {
    FT_Face face = FontFace(dc);
    if (!face || !metrics || !transform) return GDI_ERROR;
    if (format != GGO_NATIVE && format != GGO_METRICS) return GDI_ERROR;
    // A single-byte code page has no codes above 255.
    if (code > 0xFF) return GDI_ERROR;
    GdiObject& font = *Live(dc, GdiObject::Kind::Context)->selectedFont;
    const bool cached = font.outlineCached && font.outlineCode == code &&
                        std::memcmp(&font.outlineTransform, transform, sizeof(MAT2)) == 0;
    if (!cached) {
        font.outlineCached = false;
        FT_UInt glyph = FT_Get_Char_Index(face, FT_ULong(gdi::Cp1252ToUnicode(BYTE(code))));
        double scale = 0;
        if (!LoadGlyph(face, glyph, font.logFont, scale)) return GDI_ERROR;
        FT_GlyphSlot slot = face->glyph;
        FillGlyphMetrics(font.outlineMetrics, slot, scale);
        NativeOutlineWriter writer(scale, *transform, font.outlineBytes);
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            const FT_Outline& outline = slot->outline;
            int first = 0;
            for (int c = 0; c < outline.n_contours; ++c) {
                int last = outline.contours[c];
                if (last < first || last >= outline.n_points) break;
                WriteContour(writer, outline, first, last);
                first = last + 1;
            }
        }
        font.outlineCached = true;
        font.outlineCode = code;
        font.outlineTransform = *transform;
    }
    *metrics = font.outlineMetrics;
    if (format == GGO_METRICS) return 0;
    const std::vector<uint8_t>& bytes = font.outlineBytes;
    if (!buffer || size == 0) return DWORD(bytes.size());
    if (size < bytes.size()) return GDI_ERROR;
    std::memcpy(buffer, bytes.data(), bytes.size());
    return DWORD(bytes.size());
}

UINT GetTextCodePage(HDC) { return 1252; }

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte) {
    switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return 0;
    }
}

void OutputDebugStringA(const char* text) {
    if (!text) return;
    if (std::getenv("VANTREL_DEBUG_OUTPUT")) std::fputs(text, stderr);
    if (g_debugSink) g_debugSink(text, g_debugContext);
}

void SetDebugOutputSink(DebugOutputSink sink, void* context) {
    g_debugSink = sink;
    g_debugContext = context;
}
