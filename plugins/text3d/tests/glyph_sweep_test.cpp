// Every printable Windows-1252 character, alone at the finest, the default and the coarsest
// deviation the 3D text channel uses, and side by side with another, must build closed
// solids: in the five faces the project uses (TrueType) and in faces with cubic (CFF)
// outlines.
//
// The pair sweep takes a seeded sample of the pairs of each face; TEXT3D_ALL_PAIRS=1 runs
// every pair of every face (minutes).
#include "mesh_checks.h"
#include "text3d/d3dx_text.h"

#include <gdi/font_files.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

using namespace text3d_test;

bool Printable1252(int code) {
    if (code < 0x20 || code == 0x7F) return false;
    // Bytes the code page leaves undefined.
    return code != 0x81 && code != 0x8D && code != 0x8F && code != 0x90 && code != 0x9D;
}

std::vector<int> PrintableCodes() {
    std::vector<int> codes;
    for (int code = 0x20; code <= 0xFF; ++code)
        if (Printable1252(code)) codes.push_back(code);
    return codes;
}

struct Face {
    const char* family;
    LONG weight;
};

class GlyphSweep : public testing::TestWithParam<Face> {
protected:
    void SetUp() override {
        font = MakeFont(GetParam().family, GetParam().weight);
        LOGFONTA description{};
        GetObjectA(font, sizeof description, &description);
        // fontconfig would quietly stand another face in for a missing one.
        std::string found = gdi::ResolveFontFile(description).family;
        ASSERT_EQ(found, GetParam().family) << "face not installed (scripts/install-deps.sh installs it)";
        dc = CreateCompatibleDC(nullptr);
        SelectObject(dc, font);
    }
    void TearDown() override {
        SelectObject(dc, nullptr);
        DeleteDC(dc);
        DeleteObject(font);
    }

    // Builds the text and checks each character's solid; empty when all is well. The first
    // vertex of every character after the first is known from `vertexCounts` (each earlier
    // character built alone at the origin, which is where the first one stands).
    std::string BuildAndCheck(const std::string& text, float deviation, const std::vector<size_t>& firstVertex,
                              size_t* vertexCount = nullptr, size_t* faceCount = nullptr) {
        ID3DXMesh* mesh = nullptr;
        HRESULT hr = D3DXCreateText(device, dc, text.c_str(), deviation, 0.15f, &mesh, nullptr, nullptr);
        if (hr != D3D_OK) return "result " + std::to_string(hr);
        MeshData data = ReadMesh(mesh);
        mesh->Release();
        if (vertexCount) *vertexCount = data.vertices.size();
        if (faceCount) *faceCount = data.indices.size() / 3;
        std::vector<MeshData> characters = SplitCharacters(data, firstVertex);
        if (characters.empty()) return "a triangle joins two characters";
        for (size_t k = 0; k < characters.size(); ++k) {
            std::string problem = CheckClosedSolid(characters[k]);
            if (!problem.empty()) return "character " + std::to_string(k) + ": " + problem;
        }
        return {};
    }

    IDirect3DDevice8* device = text3d_test::TestDevice();
    HDC dc = nullptr;
    HFONT font = nullptr;
};

std::string Describe(const std::string& text, float deviation) {
    std::string out = "text";
    char hex[8];
    for (unsigned char c : text) std::snprintf(hex, sizeof hex, " %02X", c), out += hex;
    return out + " deviation " + std::to_string(deviation);
}

TEST_P(GlyphSweep, EveryPrintableCharacterIsAClosedSolid) {
    int failures = 0, built = 0;
    for (float deviation : {0.001f, 0.005f, 0.021f}) {
        for (int code : PrintableCodes()) {
            if (failures >= 10) break;
            std::string text(1, char(code));
            size_t faces = 0;
            std::string problem = BuildAndCheck(text, deviation, {0}, nullptr, &faces);
            if (!problem.empty()) ADD_FAILURE() << Describe(text, deviation) << ": " << problem, ++failures;
            built += faces > 0;
        }
    }
    EXPECT_GT(built, 3 * 180) << "most characters have geometry";
}

TEST_P(GlyphSweep, PairsSideBySideAreClosedSolids) {
    const float deviation = 0.005f;
    const std::vector<int> codes = PrintableCodes();
    // Vertices of each character alone: where the second character of a pair starts.
    std::array<size_t, 256> alone{};
    for (int code : codes) {
        std::string problem = BuildAndCheck(std::string(1, char(code)), deviation, {0}, &alone[code]);
        ASSERT_EQ(problem, "") << Describe(std::string(1, char(code)), deviation);
    }
    std::vector<std::pair<int, int>> pairs;
    for (int first : codes)
        for (int second : codes) pairs.emplace_back(first, second);
    const char* all = std::getenv("TEXT3D_ALL_PAIRS");
    if (!(all && std::atoi(all) != 0)) {
        // A fixed sample per face; a different face samples different pairs.
        std::string family = GetParam().family;
        std::mt19937 random(uint32_t(std::hash<std::string>{}(family) + GetParam().weight));
        std::shuffle(pairs.begin(), pairs.end(), random);
        pairs.resize(600);
    }
    int failures = 0;
    for (auto [first, second] : pairs) {
        std::string text{char(first), char(second)};
        size_t total = 0;
        std::string problem = BuildAndCheck(text, deviation, {0, alone[first]}, &total);
        if (problem.empty() && (total > alone[first]) != (alone[second] > 0)) problem = "second character lost";
        if (!problem.empty()) {
            ADD_FAILURE() << Describe(text, deviation) << ": " << problem;
            if (++failures >= 10) break;
        }
    }
    RecordProperty("pairs", int(pairs.size()));
}

// Far finer than the channel's own range: thousands of face triangles a glyph, so the
// flat-triangle repair finds its neighbours through the edge map rather than a scan.
TEST_P(GlyphSweep, VeryFineCurvesAreClosedSolids) {
    size_t largest = 0;
    for (char c : std::string("@&SOQg8")) {
        std::string text(1, c);
        size_t faces = 0;
        std::string problem = BuildAndCheck(text, 1e-6f, {0}, nullptr, &faces);
        EXPECT_EQ(problem, "") << Describe(text, 1e-6f);
        largest = std::max(largest, faces);
    }
    EXPECT_GT(largest, 3u * 1024u) << "no glyph reached the mapped repair"; RecordProperty("largest", int(largest));
}

INSTANTIATE_TEST_SUITE_P(Faces, GlyphSweep,
                         testing::Values(Face{"DejaVu Sans", FW_NORMAL}, Face{"DejaVu Serif", FW_NORMAL},
                                         Face{"Liberation Sans", FW_NORMAL}, Face{"Liberation Serif", FW_NORMAL},
                                         Face{"Liberation Mono", FW_NORMAL},
                                         // Cubic outlines; Pagella's "A" has cubics with a handle
                                         // on their end point.
                                         Face{"TeX Gyre Termes", FW_NORMAL}, Face{"TeX Gyre Heros", FW_NORMAL},
                                         Face{"TeX Gyre Pagella", FW_NORMAL}, Face{"TeX Gyre Pagella", FW_BOLD},
                                         Face{"Cantarell", FW_NORMAL}, Face{"Cantarell", FW_BOLD}),
                         [](const testing::TestParamInfo<Face>& info) {
                             std::string name = info.param.family;
                             std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
                             return name + (info.param.weight == FW_BOLD ? "Bold" : "");
                         });

}  // namespace
