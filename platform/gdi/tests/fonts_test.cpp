// The font services as the 3D text uses them, on whichever GDI the build has: the FreeType
// stand-in on Linux, the real GDI on Windows.
#include "font_descriptions.h"
#include "gdi/wingdi.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace gdi_test;

struct Contour {
    int lines = 0, qsplines = 0;
    bool integral = true;  // every coordinate a whole number
};

// Walks native records the way a reader must: false when a record runs out of bounds.
bool ReadContours(const std::vector<uint8_t>& data, std::vector<Contour>& out) {
    size_t at = 0;
    auto whole = [](const POINTFX& p) { return p.x.fract == 0 && p.y.fract == 0; };
    while (at < data.size()) {
        TTPOLYGONHEADER header;
        if (data.size() - at < sizeof header) return false;
        std::memcpy(&header, &data[at], sizeof header);
        if (header.dwType != TT_POLYGON_TYPE || header.cb < sizeof header || header.cb > data.size() - at)
            return false;
        Contour c;
        c.integral = whole(header.pfxStart);
        for (size_t p = at + sizeof header; p < at + header.cb;) {
            WORD head[2];
            std::memcpy(head, &data[p], 4);
            if (head[0] == TT_PRIM_LINE) ++c.lines;
            else if (head[0] == TT_PRIM_QSPLINE) ++c.qsplines;
            else return false;
            for (WORD i = 0; i < head[1]; ++i) {
                POINTFX pt;
                std::memcpy(&pt, &data[p + 4 + 8 * i], 8);
                c.integral = c.integral && whole(pt);
            }
            p += 4 + 8 * size_t(head[1]);
            if (p > at + header.cb) return false;
        }
        out.push_back(c);
        at += header.cb;
    }
    return true;
}

TEST(GdiGlyphOutline, LetterOInDesignUnits) {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT probe = CreateFontA(0, 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 4, 2, "DejaVu Sans");
    SelectObject(dc, probe);
    OUTLINETEXTMETRICA otm{};
    // The size needed covers the record and, on the system's GDI, the names after it.
    ASSERT_GE(GetOutlineTextMetricsA(dc, 0, nullptr), sizeof otm);
    ASSERT_EQ(GetOutlineTextMetricsA(dc, sizeof otm, &otm), sizeof otm);
    EXPECT_EQ(otm.otmEMSquare, 2048u);

    // A negative height is the em height: outlines then come in design units.
    LOGFONTA em = Font("DejaVu Sans", -LONG(otm.otmEMSquare));
    HFONT design = CreateFontIndirectA(&em);
    EXPECT_EQ(SelectObject(dc, design), probe);
    GLYPHMETRICS gm{};
    DWORD size = GetGlyphOutlineA(dc, 'O', GGO_NATIVE, &gm, 0, nullptr, &kIdentity);
    ASSERT_NE(size, GDI_ERROR);
    std::vector<uint8_t> data(size);
    EXPECT_EQ(GetGlyphOutlineA(dc, 'O', GGO_NATIVE, &gm, size - 1, data.data(), &kIdentity), GDI_ERROR);
    ASSERT_EQ(GetGlyphOutlineA(dc, 'O', GGO_NATIVE, &gm, size, data.data(), &kIdentity), size);
    std::vector<Contour> contours;
    ASSERT_TRUE(ReadContours(data, contours));
    ASSERT_EQ(contours.size(), 2u);
    for (const Contour& c : contours) {
        EXPECT_GT(c.qsplines, 0);
        EXPECT_TRUE(c.integral);
    }
    SHORT designAdvance = gm.gmCellIncX;

    // Half the em height halves the advance.
    LOGFONTA half = Font("DejaVu Sans", -LONG(otm.otmEMSquare / 2));
    HFONT halfFont = CreateFontIndirectA(&half);
    SelectObject(dc, halfFont);
    ASSERT_NE(GetGlyphOutlineA(dc, 'O', GGO_METRICS, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
    EXPECT_EQ(gm.gmCellIncX, designAdvance / 2);

    // A space has metrics but no contours.
    EXPECT_EQ(GetGlyphOutlineA(dc, ' ', GGO_NATIVE, &gm, 0, nullptr, &kIdentity), 0u);
    EXPECT_GT(gm.gmCellIncX, 0);
    EXPECT_EQ(GetGlyphOutlineA(dc, 'O', GGO_NATIVE, &gm, 0, nullptr, nullptr), GDI_ERROR);

    EXPECT_EQ(SelectObject(dc, probe), halfFont);
    EXPECT_TRUE(DeleteObject(design));
    EXPECT_TRUE(DeleteObject(halfFont));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(probe));
}

// Native outlines are grid-fitted by the font's instructions, at the em height too, where a
// pixel is a design unit: DejaVu Sans (2.37) moves its bullet's (0x95) ends down a unit
// from the design's 762 and its bottom two (465 to 463), and interpolates the curve controls
// between them, leaving them on fractions of a unit (886 becomes 885 + 27/64).
TEST(GdiGlyphOutline, EmHeightOutlinesAreGridFittedByTheFontsInstructions) {
    LOGFONTA em = Font("DejaVu Sans", -2048);
    HFONT font = CreateFontIndirectA(&em);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font);
    GLYPHMETRICS gm{};
    const DWORD size = GetGlyphOutlineA(dc, 0x95, GGO_NATIVE, &gm, 0, nullptr, &kIdentity);
    ASSERT_NE(size, GDI_ERROR);
    std::vector<uint8_t> data(size);
    ASSERT_EQ(GetGlyphOutlineA(dc, 0x95, GGO_NATIVE, &gm, size, data.data(), &kIdentity), size);
    EXPECT_EQ(gm.gmBlackBoxY, 594u) << "the box of the fitted outline, 463 to 1057";
    EXPECT_EQ(gm.gmptGlyphOrigin.y, 1057);

    // One contour of four QSPLINE runs, the first from the left end over two controls.
    ASSERT_GE(size, sizeof(TTPOLYGONHEADER) + 4 + 3 * sizeof(POINTFX));
    TTPOLYGONHEADER header;
    std::memcpy(&header, data.data(), sizeof header);
    WORD run[2];
    std::memcpy(run, data.data() + sizeof header, sizeof run);
    ASSERT_EQ(run[0], TT_PRIM_QSPLINE);
    POINTFX control;
    std::memcpy(&control, data.data() + sizeof header + 4, sizeof control);
    auto value = [](FIXED f) { return f.value + f.fract / 65536.0; };
    EXPECT_EQ(value(header.pfxStart.x), 307.0);
    EXPECT_EQ(value(header.pfxStart.y), 761.0);
    EXPECT_EQ(value(control.x), 307.0);
    // 885 + 27/64, as the rasterizer's 26.6 holds it (Wine's GDI widens the fraction by
    // under 1/100 unit).
    EXPECT_NEAR(value(control.y), 885.0 + 27.0 / 64.0, 0.01);
    DeleteDC(dc);
    DeleteObject(font);
}

// The description comes back as given, and text bytes are read in Windows-1252: the euro
// sign (0x80) and the e acute (0xE9) are their own glyphs, not the default character.
TEST(GdiGlyphOutline, DescriptionsAndTheCodePage) {
    LOGFONTA given = Font("Liberation Serif", -2048, FW_BOLD, true);
    HFONT font = CreateFontIndirectA(&given);
    ASSERT_NE(font, nullptr);
    LOGFONTA back{};
    ASSERT_EQ(GetObjectA(font, sizeof back, &back), int(sizeof back));
    EXPECT_STREQ(back.lfFaceName, "Liberation Serif");
    EXPECT_EQ(back.lfHeight, -2048);
    EXPECT_EQ(back.lfWeight, FW_BOLD);
    EXPECT_EQ(back.lfItalic, 1);

    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(GetTextCodePage(dc), 1252u);
    EXPECT_FALSE(IsDBCSLeadByteEx(1252, 0x81));
    EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x81));
    EXPECT_FALSE(IsDBCSLeadByteEx(932, 0xA0));

    auto outline = [&](UINT code) {
        GLYPHMETRICS gm{};
        std::vector<uint8_t> data(GetGlyphOutlineA(dc, code, GGO_NATIVE, &gm, 0, nullptr, &kIdentity));
        if (!data.empty()) GetGlyphOutlineA(dc, code, GGO_NATIVE, &gm, DWORD(data.size()), data.data(), &kIdentity);
        return data;
    };
    std::vector<uint8_t> notdef = outline(0x81);  // undefined in the page: the default glyph
    for (UINT code : {0x80u, 0xE9u, 0x9Fu}) {
        std::vector<uint8_t> data = outline(code);
        std::vector<Contour> contours;
        EXPECT_TRUE(ReadContours(data, contours)) << code;
        EXPECT_FALSE(contours.empty()) << code;
        EXPECT_NE(data, notdef) << code;
    }
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(font));
}

}  // namespace
