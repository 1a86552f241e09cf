// What belongs to the FreeType stand-in itself: fontconfig resolution, its handle checks and
// deletion rules, saturated metrics at extreme heights and the cubic-to-quadratic conversion.
#include "font_descriptions.h"
#include "gdi/cubic_to_quadratic.h"
#include "gdi/font_files.h"
#include "gdi/wingdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace gdi_test;

TEST(GdiFontFiles, WindowsNamesWeightsAndFallback) {
    gdi::FontFile arial = gdi::ResolveFontFile(Font("Arial"));
    EXPECT_EQ(arial.family, "Liberation Sans");
    gdi::FontFile boldItalic = gdi::ResolveFontFile(Font("Arial", 0, FW_BOLD, true));
    EXPECT_NE(boldItalic.path.find("BoldItalic"), std::string::npos) << boldItalic.path;
    gdi::FontFile serif = gdi::ResolveFontFile(Font("DejaVu Serif", 0, FW_BOLD));
    EXPECT_NE(serif.path.find("DejaVuSerif-Bold"), std::string::npos) << serif.path;
    gdi::FontFile unknown = gdi::ResolveFontFile(Font("No Such Face Anywhere"));
    EXPECT_FALSE(unknown.path.empty());
    EXPECT_EQ(gdi::Cp1252ToUnicode(0x80), U'\u20AC');
    EXPECT_EQ(gdi::Cp1252ToUnicode(0xE9), U'\u00E9');
}

TEST(GdiContexts, HandlesAndSelection) {
    HDC dc = CreateCompatibleDC(nullptr);
    OUTLINETEXTMETRICA otm{};
    GLYPHMETRICS gm{};
    EXPECT_EQ(GetOutlineTextMetricsA(dc, sizeof otm, &otm), 0u) << "no font selected";
    EXPECT_EQ(GetGlyphOutlineA(dc, 'A', GGO_NATIVE, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
    EXPECT_EQ(SelectObject(dc, dc), nullptr);
    EXPECT_FALSE(DeleteObject(dc));

    // A font deleted while selected stays usable in that context until it is replaced.
    HFONT a = CreateFontA(-100, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 4, 2, "Liberation Serif");
    HFONT b = CreateFontA(-100, 0, 0, 0, 700, 0, 0, 0, 1, 0, 0, 4, 2, "Liberation Serif");
    EXPECT_EQ(SelectObject(dc, a), nullptr) << "a new context has no font";
    EXPECT_TRUE(DeleteObject(a));
    EXPECT_EQ(GetOutlineTextMetricsA(dc, sizeof otm, &otm), sizeof otm);
    EXPECT_EQ(SelectObject(dc, b), nullptr) << "the deleted font went with its last selection";
    EXPECT_FALSE(DeleteObject(a));
    EXPECT_EQ(otm.otmTextMetrics.tmWeight, FW_NORMAL);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(b));

    EXPECT_FALSE(IsDBCSLeadByteEx(GetTextCodePage(nullptr), 0x81));
    EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x81));
}

// Heights at both ends of LONG's range: the metrics saturate instead of wrapping round.
TEST(GdiContexts, ExtremeHeightsGiveSaturatedMetrics) {
    for (LONG height : {LONG(INT32_MIN), LONG(INT32_MIN + 1), LONG(INT32_MAX)}) {
        LOGFONTA lf = Font("Liberation Sans", height);
        HFONT font = CreateFontIndirectA(&lf);
        ASSERT_NE(font, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        SelectObject(dc, font);
        OUTLINETEXTMETRICA otm{};
        ASSERT_EQ(GetOutlineTextMetricsA(dc, sizeof otm, &otm), sizeof otm);
        const TEXTMETRICA& tm = otm.otmTextMetrics;
        EXPECT_GT(tm.tmAscent, 0) << height;
        EXPECT_GE(tm.tmHeight, tm.tmAscent) << height << ": the height wrapped round";
        EXPECT_GE(tm.tmInternalLeading, 0) << height;
        DeleteDC(dc);
        DeleteObject(font);
    }
}

}  // namespace

namespace {

TEST(GdiCubicOutlines, QuadraticPiecesStayWithinTheTolerance) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> coordinate(-2048, 2048);
    for (int round = 0; round < 200; ++round) {
        gdi::OutlinePoint p[4];
        for (auto& q : p) q = {coordinate(random), coordinate(random)};
        std::vector<gdi::QuadraticPiece> pieces = gdi::CubicToQuadratics(p[0], p[1], p[2], p[3]);
        ASSERT_FALSE(pieces.empty());
        EXPECT_EQ(pieces.back().end.x, p[3].x);
        EXPECT_EQ(pieces.back().end.y, p[3].y);
        // Each piece against the cubic over the same parameter span, sampled.
        const double n = double(pieces.size());
        gdi::OutlinePoint start = p[0];
        for (size_t i = 0; i < pieces.size(); ++i) {
            for (int k = 0; k <= 16; ++k) {
                double s = k / 16.0, u = 1 - s, t = (double(i) + s) / n, v = 1 - t;
                double qx = u * u * start.x + 2 * u * s * pieces[i].control.x + s * s * pieces[i].end.x;
                double qy = u * u * start.y + 2 * u * s * pieces[i].control.y + s * s * pieces[i].end.y;
                double cx = v * v * v * p[0].x + 3 * v * v * t * p[1].x + 3 * v * t * t * p[2].x + t * t * t * p[3].x;
                double cy = v * v * v * p[0].y + 3 * v * v * t * p[1].y + 3 * v * t * t * p[2].y + t * t * t * p[3].y;
                ASSERT_LE(std::hypot(qx - cx, qy - cy), gdi::kCubicTolerance + 1e-9) << "round " << round;
            }
            start = pieces[i].end;
        }
    }
}

}  // namespace

namespace {

// Cubics with a handle on its end point (common in CFF serifs): the curve leaves its start
// along the other handle, and no quadratic piece may start backwards or end overshooting,
// which would make the outline run back over itself.
TEST(GdiCubicOutlines, HandlesOnTheirEndPointsGivePiecesThatRunForward) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-1000, 1000);
    auto cubic = [](const gdi::OutlinePoint* p, double t) {
        double v = 1 - t;
        return gdi::OutlinePoint{v * v * v * p[0].x + 3 * v * v * t * p[1].x + 3 * v * t * t * p[2].x + t * t * t * p[3].x,
                                 v * v * v * p[0].y + 3 * v * v * t * p[1].y + 3 * v * t * t * p[2].y + t * t * t * p[3].y};
    };
    for (int round = 0; round < 300; ++round) {
        gdi::OutlinePoint p[4];
        for (auto& q : p) q = {coordinate(random), coordinate(random)};
        if (round % 3 != 1) p[1] = p[0];
        if (round % 3 != 0) p[2] = p[3];
        std::vector<gdi::QuadraticPiece> pieces = gdi::CubicToQuadratics(p[0], p[1], p[2], p[3]);
        const double n = double(pieces.size());
        gdi::OutlinePoint start = p[0];
        for (size_t i = 0; i < pieces.size(); ++i) {
            const gdi::OutlinePoint control = pieces[i].control, end = pieces[i].end;
            double t0 = double(i) / n, t1 = double(i + 1) / n, step = (t1 - t0) * 1e-4;
            // Which way the cubic runs just after the start and just before the end.
            gdi::OutlinePoint after = cubic(p, t0 + step), before = cubic(p, t1 - step);
            EXPECT_GT((control.x - start.x) * (after.x - start.x) + (control.y - start.y) * (after.y - start.y), 0)
                << "round " << round << " piece " << i << " starts backwards";
            EXPECT_GT((end.x - control.x) * (end.x - before.x) + (end.y - control.y) * (end.y - before.y), 0)
                << "round " << round << " piece " << i << " overshoots its end";
            // Every point of the piece within the tolerance of the cubic's own span.
            for (int k = 1; k < 16; ++k) {
                double s = k / 16.0, u = 1 - s;
                double qx = u * u * start.x + 2 * u * s * control.x + s * s * end.x;
                double qy = u * u * start.y + 2 * u * s * control.y + s * s * end.y;
                double nearest = 1e300;
                gdi::OutlinePoint a = start;
                for (int j = 1; j <= 400; ++j) {  // distance to the cubic as a fine polyline
                    gdi::OutlinePoint b = cubic(p, t0 + (t1 - t0) * j / 400.0);
                    double dx = b.x - a.x, dy = b.y - a.y, length = dx * dx + dy * dy;
                    double f = length > 0 ? std::clamp(((qx - a.x) * dx + (qy - a.y) * dy) / length, 0.0, 1.0) : 0;
                    nearest = std::min(nearest, std::hypot(qx - a.x - f * dx, qy - a.y - f * dy));
                    a = b;
                }
                ASSERT_LE(nearest, gdi::kCubicTolerance + 0.05) << "round " << round << " piece " << i;
            }
            start = end;
        }
    }
}

}  // namespace

// The stand-in refuses a code beyond its single-byte page. (The system's GDI under Wine
// reads 0x141 as some other character instead.)
TEST(GdiStandInOutline, CodeBeyondTheSingleBytePageFails) {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontA(0, 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 4, 2, "DejaVu Sans");
    SelectObject(dc, font);
    GLYPHMETRICS gm{};
    EXPECT_EQ(GetGlyphOutlineA(dc, 0x141, GGO_NATIVE, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
    DeleteDC(dc);
    DeleteObject(font);
}
