// Every printable Windows-1252 character of five installed faces, at the finest, the
// default and the coarsest deviation the 3D text channel uses, must build a closed solid.
#include "mesh_checks.h"
#include "text3d/d3dx_text.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace text3d_test;

bool Printable1252(int code) {
    if (code < 0x20 || code == 0x7F) return false;
    // Bytes the code page leaves undefined.
    return code != 0x81 && code != 0x8D && code != 0x8F && code != 0x90 && code != 0x9D;
}

class GlyphSweep : public testing::TestWithParam<const char*> {};

TEST_P(GlyphSweep, EveryPrintableCharacterIsAClosedSolid) {
    IDirect3DDevice8 device;
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = MakeFont(GetParam());
    SelectObject(dc, font);
    int failures = 0, built = 0;
    for (float deviation : {0.001f, 0.005f, 0.021f}) {
        for (int code = 0x20; code <= 0xFF && failures < 10; ++code) {
            if (!Printable1252(code)) continue;
            char text[2] = {char(code), 0};
            ID3DXMesh* mesh = nullptr;
            HRESULT hr = D3DXCreateText(&device, dc, text, deviation, 0.15f, &mesh, nullptr, nullptr);
            if (hr != D3D_OK) {
                ADD_FAILURE() << "code 0x" << std::hex << code << " deviation " << deviation << ": result " << hr;
                ++failures;
                continue;
            }
            std::string problem = CheckClosedSolid(ReadMesh(mesh));
            if (!problem.empty()) {
                ADD_FAILURE() << "code 0x" << std::hex << code << " deviation " << deviation << ": " << problem;
                ++failures;
            }
            built += mesh->GetNumFaces() > 0;
            mesh->Release();
        }
    }
    EXPECT_GT(built, 3 * 180) << "most characters have geometry";
    SelectObject(dc, nullptr);
    DeleteDC(dc);
    DeleteObject(font);
}

INSTANTIATE_TEST_SUITE_P(Faces, GlyphSweep,
                         testing::Values("DejaVu Sans", "DejaVu Serif", "Liberation Sans",
                                         "Liberation Serif", "Liberation Mono"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             std::erase(name, ' ');
                             return name;
                         });

}  // namespace
